#include "ui/QtFileDialog.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QStringList>

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

std::optional<size_t> QtFileDialog::ChooseItem(const std::string& title, const std::string& label,
                                               const std::vector<std::string>& items, size_t preselected) {
    QStringList choices;
    for (const std::string& item : items)
        choices << QString::fromStdString(item);
    bool ok = false;
    const QString chosen = QInputDialog::getItem(m_parent, QString::fromStdString(title), QString::fromStdString(label),
                                                 choices, static_cast<int>(preselected), false, &ok);
    const qsizetype index = choices.indexOf(chosen);
    if (!ok || index < 0)
        return std::nullopt;
    return static_cast<size_t>(index);
}

} // namespace platform
