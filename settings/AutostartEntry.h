#pragma once

#include "platform/ConfigFolder.h"

#include <string>
#include <string_view>

// The desktop's autostart entry of orv, $XDG_CONFIG_HOME/autostart/orv.desktop: a copy of the program's
// menu entry that starts the window hidden in the tray when the user logs in.
class AutostartEntry {
public:
    static constexpr const char* FileName = "orv.desktop";
    static constexpr const char* HiddenOption = "--hidden";

    // programFolder (ending with '/') holds the running orv; the installed menu entry is found from there.
    explicit AutostartEntry(std::string programFolder, const std::string& configFolder = platform::ConfigFolder());

    const std::string& Path() const { return m_path; }
    bool Exists() const;
    // Writes the entry, making its folders; false with the reason when the old state stays.
    bool Write(std::string& reason) const;
    // Removes the entry and nothing else; false with the reason when it stays.
    bool Remove(std::string& reason) const;
    // What Write puts into the file.
    std::string Text() const;

    // menuEntry with its Exec starting `PROGRAM --hidden` and autostart enabled. PROGRAM is the menu entry's
    // own when it names orv on the PATH and byPath is false, else the running orv's path.
    static std::string FromMenuEntry(std::string_view menuEntry, const std::string& runningProgram, bool byPath);

private:
    std::string m_programFolder;
    std::string m_path;
};
