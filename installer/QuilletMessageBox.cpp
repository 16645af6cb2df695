#include "installer/QuilletMessageBox.h"

#include "widgets/MessageBoxDialog.h"

#include <QString>

platform::MessageBox::Answer QuilletMessageBox::Show(const std::string& text, Buttons buttons) {
    return ShowWithCaption(text, "ORV Firefox Extension", buttons);
}

// Quillet's texts may hold a path, which is UTF-8.
platform::MessageBox::Answer QuilletMessageBox::ShowWithCaption(const std::string& text, const std::string& caption,
                                                                Buttons buttons) {
    return widgets::ExecMessageBox(QString::fromStdString(caption), QString::fromStdString(text), buttons, m_owner);
}
