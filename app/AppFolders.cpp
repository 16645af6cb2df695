#include "app/AppFolders.h"

#include "platform/ConfigFolder.h"
#include "platform/InputFile.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string_view>
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

// The value of XDG_DOCUMENTS_DIR="$HOME/yyy" or ="/yyy" on one line of user-dirs.dirs, the only two forms
// the file may hold; yyy is escaped as inside a shell's double quotes.
std::optional<std::string> DocumentsEntry(std::string_view line, const std::string& home) {
    constexpr std::string_view Key = "XDG_DOCUMENTS_DIR=";
    line.remove_prefix(std::min(line.find_first_not_of(" \t"), line.size()));
    if (!line.starts_with(Key))
        return std::nullopt;
    line.remove_prefix(Key.size());
    if (line.starts_with('"')) {
        line.remove_prefix(1);
        line = line.substr(0, line.rfind('"'));
    }
    std::string path;
    if (line.starts_with("$HOME")) {
        line.remove_prefix(5);
        path = home.substr(0, home.size() - 1);
    } else if (!line.starts_with('/')) {
        return std::nullopt;
    }
    for (size_t i = 0; i < line.size(); ++i)
        path += line[i] == '\\' && i + 1 < line.size() ? line[++i] : line[i];
    return path;
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

std::string DocumentsFolder() {
    const std::string home = WithSlash(Env("HOME"));
    platform::InputFile file(platform::ConfigFolder() + "user-dirs.dirs", platform::InputFile::SmallFileLimit);
    std::string text;
    if (file.IsOpen())
        file.ReadRest(text);
    std::optional<std::string> documents;
    // As the shell that sources the file would: the last assignment wins.
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (std::optional<std::string> entry = DocumentsEntry(line, home))
            documents = std::move(entry);
    std::error_code error;
    if (!documents || !std::filesystem::is_directory(*documents, error))
        return home;
    return WithSlash(*documents);
}

bool CreateFolders(const std::string& path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    return !error && std::filesystem::is_directory(path, error);
}

} // namespace AppFolders
