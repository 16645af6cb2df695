#include "switching/KdeConfigText.h"

#include <optional>

namespace {

std::string_view Trim(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The line without its line end.
std::string_view Content(std::string_view line) {
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

std::string_view LineEnd(std::string_view line) {
    return line.substr(Content(line).size());
}

bool IsGroupLine(std::string_view line) {
    const std::string_view text = Trim(Content(line));
    return !text.empty() && text.front() == '[';
}

bool IsGroup(std::string_view line, std::string_view group) {
    const std::string_view text = Trim(Content(line));
    return text.size() == group.size() + 2 && text.front() == '[' && text.back() == ']' &&
           text.substr(1, group.size()) == group;
}

// The key of a "Key=Value" line without its options ("Key[$e]"); nothing for other lines.
std::optional<std::string_view> KeyOf(std::string_view line) {
    const std::string_view text = Trim(Content(line));
    const size_t equals = text.find('=');
    if (text.empty() || text.front() == '#' || text.front() == '[' || equals == std::string_view::npos)
        return std::nullopt;
    const std::string_view key = text.substr(0, equals);
    return Trim(key.substr(0, key.find('[')));
}

} // namespace

KdeConfigText::KdeConfigText(std::string_view text) {
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const size_t length = end == std::string_view::npos ? text.size() : end + 1;
        m_lines.emplace_back(text.substr(0, length));
        text.remove_prefix(length);
    }
}

std::vector<size_t> KdeConfigText::Find(std::string_view group, std::string_view key) const {
    std::vector<size_t> found;
    bool inGroup = false;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (IsGroupLine(m_lines[i]))
            inGroup = IsGroup(m_lines[i], group);
        else if (inGroup && KeyOf(m_lines[i]) == key)
            found.push_back(i);
    }
    return found;
}

bool KdeConfigText::ReplaceAll(std::string_view group, std::string_view key, std::string_view value) {
    const std::vector<size_t> found = Find(group, key);
    for (const size_t i : found)
        m_lines[i] = std::string(key) + "=" + std::string(value) + std::string(LineEnd(m_lines[i]));
    return !found.empty();
}

void KdeConfigText::Replace(std::string_view group, std::string_view key, std::string_view value) {
    ReplaceAll(group, key, value);
}

void KdeConfigText::Set(std::string_view group, std::string_view key, std::string_view value) {
    if (!ReplaceAll(group, key, value))
        Add(group, std::string(key) + "=" + std::string(value) + "\n");
}

std::optional<std::string> KdeConfigText::Value(std::string_view group, std::string_view key) const {
    const std::vector<size_t> found = Find(group, key);
    if (found.empty())
        return std::nullopt;
    const std::string_view line = Content(m_lines[found.back()]);
    return std::string(Trim(line.substr(line.find('=') + 1)));
}

std::vector<std::string> KdeConfigText::Lines(std::string_view group, std::string_view key) const {
    std::vector<std::string> lines;
    for (const size_t i : Find(group, key))
        lines.emplace_back(Content(m_lines[i]));
    return lines;
}

bool KdeConfigText::SetLines(std::string_view group, std::string_view key, const std::vector<std::string>& lines) {
    for (const std::string& line : lines)
        if (line.find_first_of("\r\n") != std::string::npos || KeyOf(line) != key)
            return false;
    const std::vector<size_t> found = Find(group, key);
    for (size_t i = 0; i < lines.size() && i < found.size(); ++i)
        m_lines[found[i]] = lines[i] + std::string(LineEnd(m_lines[found[i]]));
    for (size_t i = found.size(); i-- > lines.size();)
        m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(found[i]));
    for (size_t i = found.size(); i < lines.size(); ++i)
        Add(group, lines[i] + "\n");
    return true;
}

void KdeConfigText::Add(std::string_view group, std::string line) {
    size_t header = 0;
    while (header < m_lines.size() && !IsGroup(m_lines[header], group))
        ++header;
    if (header == m_lines.size()) {
        // A blank line between the last group and the new one, as KDE writes its files.
        if (!m_lines.empty() && !Trim(Content(m_lines.back())).empty())
            Insert(m_lines.size(), "\n");
        // Appended piecewise: GCC 12 at -O3 warns falsely (-Wrestrict) on "literal" + std::string&&.
        std::string heading = "[";
        heading.append(group).append("]\n");
        Insert(m_lines.size(), heading);
        Insert(m_lines.size(), std::move(line));
        return;
    }
    // After the group's last non-blank line, so that the blank line before the next group stays.
    size_t end = header + 1;
    while (end < m_lines.size() && !IsGroupLine(m_lines[end]))
        ++end;
    while (end > header + 1 && Trim(Content(m_lines[end - 1])).empty())
        --end;
    Insert(end, std::move(line));
}

void KdeConfigText::Insert(size_t at, std::string line) {
    // The line before may be the file's last one, without a line end.
    if (at > 0 && m_lines[at - 1].back() != '\n')
        m_lines[at - 1] += '\n';
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
}

std::string KdeConfigText::Text() const {
    std::string text;
    for (const std::string& line : m_lines)
        text += line;
    return text;
}
