#pragma once

#include <optional>
#include <string>
#include <string_view>

// Writes for the files the user keeps (settings, saved list, export). A write never edits the file
// in place: the bytes go to a new file in the same folder, which is flushed to the disk and then
// renamed over the old one. A crash, a kill or a full disk in the middle of a save leaves either
// the old file or the new one, never a cut or empty file.
class AtomicFile {
public:
    // Starts a new version of path; nothing is visible until Commit.
    explicit AtomicFile(std::string path);
    // Without a successful Commit the new version is thrown away and the old file stays.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // False once anything has failed; later writes and the commit then fail too.
    bool Write(std::string_view bytes);
    // Flushes the new version to the disk and puts it in place of the old file. Once only.
    bool Commit();

private:
    void Discard();

    std::string m_path;
    std::string m_temporary;
    // The new version while it is being written; -1 after a failure or the commit.
    int m_fd = -1;
};

// Replaces path with bytes. Returns false (and leaves the old file as it was) when any step fails.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes);

// The whole content of path; nothing when the file does not exist.
// Throws std::system_error when it exists but cannot be read, so that a caller about to rewrite
// the file does not mistake an unreadable file for an empty one.
std::optional<std::string> ReadWholeFile(const std::string& path);
