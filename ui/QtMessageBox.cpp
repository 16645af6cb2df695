#include "ui/QtMessageBox.h"

#include "platform/StreamMessageBox.h"

#include <QGuiApplication>
#include <QMessageBox>

#include <iostream>

namespace platform {

MessageBox::Answer QtMessageBox::Show(const std::string& text, Buttons buttons) {
    // Where no one can see a window, a modal box would wait for good (a failed save at exit would
    // keep the program from ending): the text goes to standard error, as on the command line.
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return StreamMessageBox(std::cerr).Show("orv: " + text, buttons);
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
