#include "widgets/MessageBoxDialog.h"

#include <QMessageBox>

namespace widgets {

using platform::MessageBox;

MessageBox::Answer ExecMessageBox(const QString& caption, const QString& text, MessageBox::Buttons buttons,
                                  QWidget* owner) {
    QMessageBox::StandardButtons choices = QMessageBox::Ok;
    if (buttons == MessageBox::YesNo)
        choices = QMessageBox::Yes | QMessageBox::No;
    else if (buttons == MessageBox::OkCancel)
        choices = QMessageBox::Ok | QMessageBox::Cancel;
    const QMessageBox::Icon icon =
        buttons == MessageBox::OkInformation ? QMessageBox::Information : QMessageBox::NoIcon;
    QMessageBox box(icon, caption, text, choices, owner);
    switch (box.exec()) {
    case QMessageBox::Ok:
        return MessageBox::AnswerOk;
    case QMessageBox::Yes:
        return MessageBox::AnswerYes;
    case QMessageBox::No:
        return MessageBox::AnswerNo;
    case QMessageBox::Cancel:
        return MessageBox::AnswerCancel;
    default:
        return MessageBox::Declined(buttons);
    }
}

} // namespace widgets
