#include "installer/QuilletMessageBox.h"

#include <QMessageBox>

platform::MessageBox::Answer QuilletMessageBox::Show(const std::string& text, Buttons buttons) {
    return ShowWithCaption(text, "ORV Firefox Extension", buttons);
}

// orv's boxes (ui/QtMessageBox.cpp) make the same choices of icon, buttons and answers; Quillet's texts may
// hold a path, which is UTF-8.
platform::MessageBox::Answer QuilletMessageBox::ShowWithCaption(const std::string& text, const std::string& caption,
                                                                Buttons buttons) {
    QMessageBox::StandardButtons choices = QMessageBox::Ok;
    if (buttons == YesNo)
        choices = QMessageBox::Yes | QMessageBox::No;
    else if (buttons == OkCancel)
        choices = QMessageBox::Ok | QMessageBox::Cancel;
    const QMessageBox::Icon icon = buttons == OkInformation ? QMessageBox::Information : QMessageBox::NoIcon;
    QMessageBox box(icon, QString::fromStdString(caption), QString::fromStdString(text), choices, m_owner);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return AnswerYes;
    case QMessageBox::No:
        return AnswerNo;
    case QMessageBox::Cancel:
        return AnswerCancel;
    default:
        return Declined(buttons);
    }
}
