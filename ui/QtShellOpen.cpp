#include "ui/QtShellOpen.h"

#include <QDesktopServices>
#include <QUrl>

namespace platform {

bool QtShellOpen::Open(const std::string& fileOrUrl) {
    const QString target = QString::fromLocal8Bit(fileOrUrl.data(), static_cast<qsizetype>(fileOrUrl.size()));
    const bool isUrl = target.contains(QStringLiteral("://"));
    return QDesktopServices::openUrl(isUrl ? QUrl(target) : QUrl::fromLocalFile(target));
}

} // namespace platform
