#include "settings/IniDocument.h"

#include "platform/TextLines.h"

#include <algorithm>
#include <utility>

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

// The name of a "[section]" line (text up to ']', blanks dropped); nothing for other lines.
std::optional<std::string_view> SectionName(std::string_view line) {
    line = TrimBlanks(line);
    if (line.empty() || line.front() != '[')
        return std::nullopt;
    line.remove_prefix(1);
    return TrimBlanks(line.substr(0, line.find(']')));
}

struct KeyLine {
    std::string_view m_key;
    std::string_view m_value;
};

// "key = value"; nothing for comments, section lines and lines without '='.
std::optional<KeyLine> ParseKeyLine(std::string_view line) {
    line = TrimBlanks(line);
    const size_t equals = line.find('=');
    if (line.empty() || line.front() == ';' || line.front() == '[' || equals == std::string_view::npos)
        return std::nullopt;
    std::string_view value = TrimBlanks(line.substr(equals + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return KeyLine{TrimBlanks(line.substr(0, equals)), value};
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

} // namespace

IniDocument::IniDocument(std::string_view text) {
    for (std::string_view line : SplitLines(text))
        m_lines.emplace_back(line);
}

std::optional<IniDocument::Range> IniDocument::FindSection(std::string_view section) const {
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const auto name = SectionName(m_lines[i]);
        if (!name || !SameName(*name, section))
            continue;
        size_t end = i + 1;
        while (end < m_lines.size() && !SectionName(m_lines[end]))
            ++end;
        return Range{i, end};
    }
    return std::nullopt;
}

std::optional<size_t> IniDocument::FindKey(const Range& range, std::string_view key) const {
    for (size_t i = range.m_header + 1; i < range.m_end; ++i) {
        const auto line = ParseKeyLine(m_lines[i]);
        if (line && SameName(line->m_key, key))
            return i;
    }
    return std::nullopt;
}

std::optional<std::string> IniDocument::Get(std::string_view section, std::string_view key) const {
    const auto range = FindSection(TrimBlanks(section));
    if (!range)
        return std::nullopt;
    const auto at = FindKey(*range, TrimBlanks(key));
    if (!at)
        return std::nullopt;
    return std::string(ParseKeyLine(m_lines[*at])->m_value);
}

bool IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
    section = TrimBlanks(section);
    key = TrimBlanks(key);
    if (section.empty() || key.empty() || HasLineBreak(section) || HasLineBreak(key) ||
        section.find(']') != std::string_view::npos || key.find('=') != std::string_view::npos || key.front() == ';' ||
        key.front() == '[')
        return false;
    std::string flat(value);
    std::replace_if(
        flat.begin(), flat.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');

    const auto range = FindSection(section);
    if (!range) {
        if (!m_lines.empty() && !TrimBlanks(m_lines.back()).empty())
            m_lines.emplace_back();
        // Appended piecewise: GCC 12 at -O3 warns falsely (-Wrestrict) on "literal" + std::string&&.
        std::string header = "[";
        header.append(section).append("]");
        m_lines.push_back(std::move(header));
        m_lines.push_back(std::string(key) + "=" + flat);
        return true;
    }
    if (const auto at = FindKey(*range, key)) {
        // Keep the key as the file spells it.
        m_lines[*at] = std::string(ParseKeyLine(m_lines[*at])->m_key) + "=" + flat;
        return true;
    }
    // After the section's last non-blank line, so that a blank line before the next section stays.
    size_t insertAt = range->m_end;
    while (insertAt > range->m_header + 1 && TrimBlanks(m_lines[insertAt - 1]).empty())
        --insertAt;
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(insertAt), std::string(key) + "=" + flat);
    return true;
}

std::string IniDocument::Text() const {
    std::string text;
    for (const std::string& line : m_lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}
