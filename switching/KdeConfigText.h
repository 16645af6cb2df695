#pragma once

#include <string>
#include <string_view>
#include <vector>

// The text of a KDE configuration file ("[Group]" lines, "Key=Value" lines, '#' comments), edited in
// place: a changed key keeps its line, and every other byte of the file (other groups and keys,
// comments, blank lines, line ends) stays as it was. Names match as KDE matches them, with case.
class KdeConfigText {
public:
    explicit KdeConfigText(std::string_view text);

    // Sets the key wherever the group holds it (a group may appear more than once), else adds it at
    // the end of the group's first appearance, else adds the group at the end of the file.
    void Set(std::string_view group, std::string_view key, std::string_view value);
    // Sets the key only where the group already holds it.
    void Replace(std::string_view group, std::string_view key, std::string_view value);

    std::string Text() const;

private:
    // Returns whether the key was found.
    bool ReplaceAll(std::string_view group, std::string_view key, std::string_view value);
    void Insert(size_t at, std::string line);

    // Each line with its own line end; the last one may have none.
    std::vector<std::string> m_lines;
};
