#include "ui/QtMessageBox.h"

#include <QMessageBox>

namespace platform {

MessageBox::Answer QtMessageBox::Show(const std::string& text, Buttons buttons) {
    QMessageBox::StandardButtons choices = QMessageBox::Ok;
    if (buttons == YesNo)
        choices = QMessageBox::Yes | QMessageBox::No;
    else if (buttons == OkCancel)
        choices = QMessageBox::Ok | QMessageBox::Cancel;
    const QString body = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("ORV"), body, choices, m_parent);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return AnswerYes;
    case QMessageBox::No:
        return AnswerNo;
    case QMessageBox::Cancel:
        return AnswerCancel;
    default:
        return buttons == OkCancel ? AnswerCancel : (buttons == YesNo ? AnswerNo : AnswerOk);
    }
}

} // namespace platform
