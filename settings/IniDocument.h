#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The text of an INI file, read and edited the way the desktop's profile services do it:
// section and key names match without regard to case, blanks around keys and values are dropped,
// a value in double quotes loses them, lines starting with ';' are comments. An edit changes only
// its own line, so other sections, keys and comments come back as they were; the text is written
// with CR LF line ends.
class IniDocument {
public:
    IniDocument() = default;
    explicit IniDocument(std::string_view text);

    // The value of the first matching key of the first matching section; nothing when missing.
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;
    // Replaces the key's value, or appends the key to its section, or appends the section at the end.
    // Returns false and changes nothing for a name that the file could not hold (empty, a line break,
    // '=' in a key, ']' in a section). Line breaks in the value become blanks: they would start new lines.
    bool Set(std::string_view section, std::string_view key, std::string_view value);

    std::string Text() const;

private:
    // A section's header line and the line after its body.
    struct Range {
        size_t m_header;
        size_t m_end;
    };
    std::optional<Range> FindSection(std::string_view section) const;
    std::optional<size_t> FindKey(const Range& range, std::string_view key) const;

    std::vector<std::string> m_lines;
};
