#include "settings/AutostartEntry.h"

#include "platform/AtomicFile.h"
#include "settings/OrvMenuEntry.h"

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace {

constexpr std::string_view MainGroup = "[Desktop Entry]";
constexpr std::string_view EnabledKey = "X-GNOME-Autostart-enabled";

// The key of a "Key=value" line with the blanks before '=' dropped; empty for any other line.
std::string_view KeyOf(std::string_view line) {
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos || line.starts_with('#'))
        return {};
    std::string_view key = line.substr(0, equals);
    while (key.ends_with(' ') || key.ends_with('\t'))
        key.remove_suffix(1);
    return key;
}

std::string_view ValueOf(std::string_view line) {
    line.remove_prefix(line.find('=') + 1);
    line.remove_prefix(std::min(line.find_first_not_of(" \t"), line.size()));
    return line;
}

// A path as the program word of an Exec value: quoted where the desktop's rules ask, '%' doubled, and then
// escaped once more as every string value is.
std::string ExecWord(std::string_view path) {
    const bool quote = path.find_first_of(" \t\r\n\"'\\><~|&;$*?#()`") != std::string_view::npos;
    std::string word = quote ? "\"" : "";
    for (char c : path) {
        if (c == '%' || (quote && std::string_view("\"`$\\").find(c) != std::string_view::npos))
            word += c == '%' ? '%' : '\\';
        word += c;
    }
    if (quote)
        word += '"';
    std::string value;
    for (char c : word) {
        const size_t special = std::string_view("\\\n\t\r").find(c);
        value += special == std::string_view::npos ? std::string(1, c) : std::string("\\") + "\\ntr"[special];
    }
    return value;
}

} // namespace

AutostartEntry::AutostartEntry(std::string programFolder, const std::string& configFolder)
    : m_programFolder(std::move(programFolder)), m_path(configFolder + "autostart/" + FileName) {}

bool AutostartEntry::Exists() const {
    std::error_code error;
    // A link counts as the entry too: removing it removes the link, not what it points at.
    return std::filesystem::exists(std::filesystem::symlink_status(m_path, error));
}

bool AutostartEntry::Write(std::string& reason) const {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(m_path).parent_path(), error);
    int failure = error.value();
    if (failure == 0 && ReplaceFileAtomically(m_path, Text(), &failure))
        return true;
    reason = platform::ErrorText(failure);
    return false;
}

bool AutostartEntry::Remove(std::string& reason) const {
    if (::unlink(m_path.c_str()) == 0 || errno == ENOENT)
        return true;
    reason = platform::ErrorText(errno);
    return false;
}

std::string AutostartEntry::Text() const {
    const std::string running = m_programFolder + "orv";
    try {
        if (const std::optional<std::string> menu = ReadWholeFile(m_programFolder + OrvMenuFolder + FileName))
            return FromMenuEntry(*menu, running, false);
    } catch (const std::system_error&) {
        // An unreadable menu entry is as good as none: the built-in copy has the same keys.
    }
    // Not installed, as in a build tree: no menu entry, and no orv on the PATH either.
    return FromMenuEntry(OrvMenuEntry, running, true);
}

std::string AutostartEntry::FromMenuEntry(std::string_view menuEntry, const std::string& runningProgram, bool byPath) {
    std::string text;
    bool inMain = false;
    bool execWritten = false;
    const auto exec = [&](std::string_view program) {
        text.append("Exec=").append(program).append(" ").append(HiddenOption).append("\n");
        execWritten = true;
    };
    const auto endMain = [&] {
        if (inMain && !execWritten)
            exec(ExecWord(runningProgram));
        if (inMain)
            text.append(EnabledKey).append("=true\n");
        inMain = false;
    };
    while (!menuEntry.empty()) {
        const size_t end = std::min(menuEntry.find('\n'), menuEntry.size());
        const std::string_view line = menuEntry.substr(0, end);
        menuEntry.remove_prefix(std::min(end + 1, menuEntry.size()));
        if (line.starts_with('[')) {
            endMain();
            inMain = line == MainGroup;
        } else if (inMain && KeyOf(line) == EnabledKey) {
            continue; // ours comes at the group's end
        } else if (inMain && KeyOf(line) == "Exec") {
            const std::string_view value = ValueOf(line);
            // A menu entry that names its program by path names where it was installed: the running copy's.
            const bool absolute = value.starts_with('/') || value.starts_with("\"/");
            exec(byPath || absolute ? ExecWord(runningProgram) : value.substr(0, value.find_first_of(" \t")));
            continue;
        }
        text.append(line).append("\n");
    }
    endMain();
    return text;
}
