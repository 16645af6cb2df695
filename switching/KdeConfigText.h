#pragma once

#include <optional>
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

    // The key's value where the group holds it last (KDE reads that one), without blanks around it.
    std::optional<std::string> Value(std::string_view group, std::string_view key) const;
    // The key's whole lines in the group, without their line ends, in the file's order.
    std::vector<std::string> Lines(std::string_view group, std::string_view key) const;
    // Gives the key exactly these lines (as Lines gave them): each takes the place of one the group
    // holds, surplus ones go, missing ones are added as Set adds. False, with nothing changed, when a
    // line is not the key's or holds a line end.
    bool SetLines(std::string_view group, std::string_view key, const std::vector<std::string>& lines);

    std::string Text() const;

private:
    // Returns whether the key was found.
    bool ReplaceAll(std::string_view group, std::string_view key, std::string_view value);
    // The positions of the key's lines in the group.
    std::vector<size_t> Find(std::string_view group, std::string_view key) const;
    // Adds the line at the end of the group's first appearance, or the group at the end of the file.
    void Add(std::string_view group, std::string line);
    void Insert(size_t at, std::string line);

    // Each line with its own line end; the last one may have none.
    std::vector<std::string> m_lines;
};
