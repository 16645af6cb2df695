#include "installer/QuilletMessageBox.h"

#include <QMessageBox>

platform::MessageBox::Answer QuilletMessageBox::Show(const std::string& text, Buttons buttons) {
    return ShowWithCaption(text, "ORV Firefox Extension", buttons);
}

platform::MessageBox::Answer QuilletMessageBox::ShowWithCaption(const std::string& text, const std::string& caption,
                                                                Buttons buttons) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::NoButton, m_owner);
    switch (buttons) {
    case YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return AnswerYes;
    case QMessageBox::No:
        return AnswerNo;
    case QMessageBox::Cancel:
        return AnswerCancel;
    default:
        return AnswerOk;
    }
}
