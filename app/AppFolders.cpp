#include "app/AppFolders.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace AppFolders {
namespace {

std::string WithSlash(std::string path) {
    if (path.empty() || path.back() != '/')
        path += '/';
    return path;
}

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

std::string DataFolder() {
    if (std::string dir = Env("ORV_DATA_DIR"); !dir.empty())
        return WithSlash(dir);
    if (std::string xdg = Env("XDG_DATA_HOME"); !xdg.empty())
        return WithSlash(xdg) + "ORV/";
    return WithSlash(Env("HOME")) + ".local/share/ORV/";
}

std::string ProgramFolder() {
    if (std::string dir = Env("ORV_PROGRAM_DIR"); !dir.empty())
        return WithSlash(dir);
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return "./";
    return WithSlash(exe.parent_path().string());
}

bool CreateFolders(const std::string& path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    return !error && std::filesystem::is_directory(path, error);
}

} // namespace AppFolders
