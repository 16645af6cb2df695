#pragma once

#include <string>

// Where the program keeps its files. Both folders end with '/'.
namespace AppFolders {

// $ORV_DATA_DIR, else $XDG_DATA_HOME/ORV/, else ~/.local/share/ORV/.
std::string DataFolder();
// $ORV_PROGRAM_DIR, else the folder of the running executable.
std::string ProgramFolder();
// The user's documents folder as XDG_DOCUMENTS_DIR in $XDG_CONFIG_HOME/user-dirs.dirs (else
// ~/.config/user-dirs.dirs) names it; the home folder when none is named or it is no folder.
std::string DocumentsFolder();
// Creates every missing folder on the path; false when that failed (the caller carries on).
bool CreateFolders(const std::string& path);

} // namespace AppFolders
