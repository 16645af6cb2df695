#include "ui/QtMessageBox.h"

#include "platform/StreamMessageBox.h"
#include "widgets/MessageBoxDialog.h"

#include <QGuiApplication>

#include <iostream>

namespace platform {

MessageBox::Answer QtMessageBox::Show(const std::string& text, Buttons buttons) {
    // Where no one can see a window, a modal box would wait for good (a failed save at exit would
    // keep the program from ending): the text goes to standard error, as on the command line.
    const QString platform = QGuiApplication::platformName();
    if (m_textWhereUnseen && (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")))
        return StreamMessageBox(std::cerr).Show("orv: " + text, buttons);
    const QString body = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    return widgets::ExecMessageBox(QStringLiteral("ORV"), body, buttons, m_parent);
}

} // namespace platform
