#pragma once

#include <string>

// Where the program keeps its files. Both folders end with '/'.
namespace AppFolders {

// $ORV_DATA_DIR, else $XDG_DATA_HOME/ORV/, else ~/.local/share/ORV/.
std::string DataFolder();
// $ORV_PROGRAM_DIR, else the folder of the running executable.
std::string ProgramFolder();
// Creates every missing folder on the path; false when that failed (the caller carries on).
bool CreateFolders(const std::string& path);

} // namespace AppFolders
