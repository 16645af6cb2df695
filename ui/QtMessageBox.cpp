#include "ui/QtMessageBox.h"

#include "platform/StreamMessageBox.h"

#include <QGuiApplication>
#include <QMessageBox>

#include <iostream>

namespace platform {

// Quillet's boxes (installer/QuilletMessageBox.cpp) make the same choices of icon, buttons and answers.
MessageBox::Answer QtMessageBox::Show(const std::string& text, Buttons buttons) {
    // Where no one can see a window, a modal box would wait for good (a failed save at exit would
    // keep the program from ending): the text goes to standard error, as on the command line.
    const QString platform = QGuiApplication::platformName();
    if (m_textWhereUnseen && (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")))
        return StreamMessageBox(std::cerr).Show("orv: " + text, buttons);
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
