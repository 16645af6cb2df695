#pragma once

#include "platform/FileDialog.h"

class QWidget;

namespace platform {

// The desktop's file-open dialog, folder chooser and item choice through Qt.
class QtFileDialog : public FileDialog {
public:
    explicit QtFileDialog(QWidget* parent = nullptr) : m_parent(parent) {}
    void SetParent(QWidget* parent) { m_parent = parent; }

    // filter: "Name (*.ext)|*.ext|...||" pairs, as the program writes them.
    std::optional<std::string> OpenFile(const std::string& title, const std::string& filter,
                                        const std::string& startFolder) override;
    std::optional<std::string> ChooseFolder(const std::string& title, const std::string& startFolder) override;
    std::optional<size_t> ChooseItem(const std::string& title, const std::string& label,
                                     const std::vector<std::string>& items, size_t preselected) override;

    // "A (*.txt)|*.txt|B (*.*)|*.*||" -> "A (*.txt);;B (*.*)".
    static std::string QtFilter(const std::string& filter);

private:
    QWidget* m_parent;
};

} // namespace platform
