#pragma once

#include "platform/MessageBox.h"

class QWidget;

namespace platform {

// Plain modal message boxes over the main window, titled with the program's name.
class QtMessageBox : public MessageBox {
public:
    explicit QtMessageBox(QWidget* parent = nullptr) : m_parent(parent) {}
    void SetParent(QWidget* parent) { m_parent = parent; }

    Answer Show(const std::string& text, Buttons buttons = Ok) override;

private:
    QWidget* m_parent;
};

} // namespace platform
