#include "ui/QtMessageBox.h"

#include <QMessageBox>

namespace platform {

// Quillet's boxes (installer/QuilletMessageBox.cpp) make the same choices of icon, buttons and answers.
MessageBox::Answer QtMessageBox::Show(const std::string& text, Buttons buttons) {
    QMessageBox::StandardButtons choices = QMessageBox::Ok;
    if (buttons == YesNo)
        choices = QMessageBox::Yes | QMessageBox::No;
    else if (buttons == OkCancel)
        choices = QMessageBox::Ok | QMessageBox::Cancel;
    const QMessageBox::Icon icon = buttons == OkInformation ? QMessageBox::Information : QMessageBox::NoIcon;
    const QString body = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    QMessageBox box(icon, QStringLiteral("ORV"), body, choices, m_parent);
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

} // namespace platform
