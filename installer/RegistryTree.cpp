#include "installer/RegistryTree.h"

#include "platform/AtomicFile.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const CannotCreateKey = "Error! Cannot create registry key!";
// A value's data never exceeds the enumeration's data buffer.
constexpr std::uintmax_t MaxValueBytes = 8192;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return text;
}

// A string value is a small regular file of text. Links, binary files (a packed extension) and large
// files are values of other types: they are neither read nor written.
std::optional<std::string> ReadStringValue(const fs::directory_entry& entry) {
    std::error_code error;
    if (!entry.is_regular_file(error) || entry.is_symlink(error) || entry.file_size(error) > MaxValueBytes || error)
        return std::nullopt;
    try {
        std::optional<std::string> text = ReadWholeFile(entry.path().string());
        if (!text || text->find('\0') != std::string::npos)
            return std::nullopt;
        return text;
    } catch (const std::system_error&) {
        return std::nullopt;
    }
}

// Directory order is arbitrary; names that differ only in case resolve the same way on every run.
std::vector<fs::directory_entry> SortedEntries(const std::string& folder) {
    std::vector<fs::directory_entry> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        entries.push_back(*it);
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
    return entries;
}

} // namespace

RegistryTree::RegistryTree(std::string root, std::string keyPath)
    : m_root(std::move(root)), m_keyPath(std::move(keyPath)) {}

std::string RegistryTree::KeyFolder() const {
    return (fs::path(m_root) / m_keyPath).string();
}

void RegistryTree::Load() {
    OnLoad();
    std::error_code error;
    if (!fs::is_directory(KeyFolder(), error)) {
        Save();
        return;
    }
    for (const fs::directory_entry& entry : SortedEntries(KeyFolder())) {
        const std::string name = Lower(entry.path().filename().string());
        if (entry.is_directory(error) && !entry.is_symlink(error))
            m_subKeys.push_back(name);
        else if (std::optional<std::string> text = ReadStringValue(entry))
            m_entries["\\" + name] = *text;
    }
}

void RegistryTree::Set(const std::string& name, const std::string& text) {
    std::string used = name;
    if (!m_entries.count(name)) {
        if (m_entries.count("\\" + name) || name.find('\\') == std::string::npos)
            used = "\\" + name;
    }
    m_entries[used] = text;
}

void RegistryTree::Save() {
    std::error_code error;
    fs::create_directories(KeyFolder(), error);
    if (error || !fs::is_directory(KeyFolder(), error))
        throw std::runtime_error(CannotCreateKey);
    for (const auto& [entry, text] : m_entries) {
        const size_t slash = entry.find('\\');
        const std::string subKey = entry.substr(0, slash);
        const std::string folder = subKey.empty() ? KeyFolder() : (fs::path(KeyFolder()) / subKey).string();
        fs::create_directories(folder, error);
        if (error || !fs::is_directory(folder, error))
            throw std::runtime_error(CannotCreateKey);
        WriteValue(folder, entry.substr(slash + 1), text);
    }
}

// A value that exists under another case keeps its file name: Firefox compares identifiers exactly, so
// renaming another extension's file would unregister it. New values are written in lower case.
void RegistryTree::WriteValue(const std::string& folder, const std::string& name, const std::string& text) const {
    const std::string lower = Lower(name);
    fs::path target = fs::path(folder) / lower;
    for (const fs::directory_entry& entry : SortedEntries(folder)) {
        if (Lower(entry.path().filename().string()) != lower)
            continue;
        if (std::optional<std::string> old = ReadStringValue(entry)) {
            if (*old == text)
                return;
            target = entry.path();
            break;
        }
    }
    if (!ReplaceFileAtomically(target.string(), text))
        throw std::runtime_error("Error! Cannot write registry value!\n\n" + target.string());
}
