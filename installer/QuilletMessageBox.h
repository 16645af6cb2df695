#pragma once

#include "platform/MessageBox.h"

class QWidget;

// Quillet's boxes, owned by its dialog.
class QuilletMessageBox : public platform::MessageBox {
public:
    void SetOwner(QWidget* owner) { m_owner = owner; }

    Answer Show(const std::string& text, Buttons buttons = Ok) override;
    Answer ShowWithCaption(const std::string& text, const std::string& caption, Buttons buttons) override;

private:
    QWidget* m_owner = nullptr;
};
