#include "ui/QtFileDialog.h"

#include <QFileDialog>

namespace platform {

std::string QtFileDialog::QtFilter(const std::string& filter) {
    std::string result;
    size_t start = 0;
    bool isName = true;
    while (start < filter.size()) {
        const size_t bar = filter.find('|', start);
        const std::string part = filter.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
        if (part.empty())
            break;
        if (isName) {
            if (!result.empty())
                result += ";;";
            result += part;
        }
        isName = !isName;
        if (bar == std::string::npos)
            break;
        start = bar + 1;
    }
    return result;
}

std::optional<std::string> QtFileDialog::OpenFile(const std::string& title, const std::string& filter,
                                                  const std::string& startFolder) {
    const QString path =
        QFileDialog::getOpenFileName(m_parent, QString::fromStdString(title), QString::fromLocal8Bit(startFolder),
                                     QString::fromStdString(QtFilter(filter)));
    if (path.isEmpty())
        return std::nullopt;
    return path.toLocal8Bit().toStdString();
}

std::optional<std::string> QtFileDialog::ChooseFolder(const std::string& title, const std::string& startFolder) {
    const QString path =
        QFileDialog::getExistingDirectory(m_parent, QString::fromStdString(title), QString::fromLocal8Bit(startFolder));
    if (path.isEmpty())
        return std::nullopt;
    return path.toLocal8Bit().toStdString();
}

} // namespace platform
