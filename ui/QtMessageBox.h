#pragma once

#include "platform/MessageBox.h"

class QWidget;

namespace platform {

// Plain modal message boxes over the main window, titled with the program's name.
class QtMessageBox : public MessageBox {
public:
    // textWhereUnseen: where no one can see a window (offscreen), the text goes to standard error instead.
    explicit QtMessageBox(QWidget* parent = nullptr, bool textWhereUnseen = true)
        : m_parent(parent), m_textWhereUnseen(textWhereUnseen) {}
    void SetParent(QWidget* parent) { m_parent = parent; }

    Answer Show(const std::string& text, Buttons buttons = Ok) override;

private:
    QWidget* m_parent;
    bool m_textWhereUnseen;
};

} // namespace platform
