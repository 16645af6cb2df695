#pragma once

#include <cstdlib>
#include <string>

namespace platform {

// The user's configuration folder: $XDG_CONFIG_HOME, else ~/.config/. Ends with '/'.
inline std::string ConfigFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg == nullptr || *xdg == '\0') {
        const char* home = std::getenv("HOME");
        std::string folder = home != nullptr ? home : "";
        return folder + (folder.ends_with('/') ? "" : "/") + ".config/";
    }
    const std::string folder = xdg;
    return folder.ends_with('/') ? folder : folder + '/';
}

} // namespace platform
