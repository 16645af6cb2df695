#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform {

// The desktop's file-open dialog, folder chooser and the choice that follows an opened file.
class FileDialog {
public:
    virtual ~FileDialog() = default;
    // A file the user chose to open; nothing when cancelled. The dialog opens in startFolder.
    virtual std::optional<std::string> OpenFile(const std::string& title, const std::string& filter,
                                                const std::string& startFolder) = 0;
    // A folder the user chose; nothing when cancelled; an empty text when the choice has no path.
    virtual std::optional<std::string> ChooseFolder(const std::string& title, const std::string& startFolder) = 0;
    // One of items, offered with preselected chosen; nothing when cancelled.
    virtual std::optional<size_t> ChooseItem(const std::string& title, const std::string& label,
                                             const std::vector<std::string>& items, size_t preselected) = 0;
};

// Answers from a script and records the titles it was shown.
class ScriptedFileDialog : public FileDialog {
public:
    std::optional<std::string> m_file;
    std::optional<std::string> m_folder;
    std::vector<std::string> m_titles;
    std::vector<std::string> m_startFolders;
    // The choice: the preselected item unless an item is scripted; cancelled when m_cancelChoice.
    std::optional<size_t> m_item;
    bool m_cancelChoice = false;
    std::vector<std::string> m_choiceLabels;

    std::optional<std::string> OpenFile(const std::string& title, const std::string&,
                                        const std::string& startFolder) override {
        m_titles.push_back(title);
        m_startFolders.push_back(startFolder);
        return m_file;
    }
    std::optional<std::string> ChooseFolder(const std::string& title, const std::string& startFolder) override {
        m_titles.push_back(title);
        m_startFolders.push_back(startFolder);
        return m_folder;
    }
    std::optional<size_t> ChooseItem(const std::string&, const std::string& label, const std::vector<std::string>&,
                                     size_t preselected) override {
        m_choiceLabels.push_back(label);
        if (m_cancelChoice)
            return std::nullopt;
        return m_item.value_or(preselected);
    }
};

} // namespace platform
