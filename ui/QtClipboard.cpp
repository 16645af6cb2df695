#include "ui/QtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace platform {

bool QtClipboard::HasText() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data != nullptr && data->hasText();
}

std::optional<std::string> QtClipboard::GetText() {
    if (!HasText())
        return std::nullopt;
    return QGuiApplication::clipboard()->text().toLatin1().toStdString();
}

bool QtClipboard::SetText(const std::string& text) {
    QGuiApplication::clipboard()->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    return true;
}

} // namespace platform
