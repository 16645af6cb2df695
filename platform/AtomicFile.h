#pragma once

#include "platform/InputFile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Writes for the files the user keeps (settings, saved list, export). A write never edits the file
// in place: the bytes go to a new file in the same folder, which is flushed to the disk and then
// renamed over the old one. A crash, a kill or a full disk in the middle of a save leaves either
// the old file or the new one, never a cut or empty file. Where the file system allows, the new file
// has no name until the commit, so that a save killed on the way leaves nothing behind either.
class AtomicFile {
public:
    // Starts a new version of path; nothing is visible until Commit.
    explicit AtomicFile(std::string path);
    // Without a successful Commit the new version is thrown away and the old file stays.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Takes the group's and others' permissions from the new version: for a file that holds passwords.
    void MakePrivate();
    // False once anything has failed; later writes and the commit then fail too.
    bool Write(std::string_view bytes);
    // Flushes the new version to the disk and puts it in place of the old file. Once only.
    bool Commit();
    // The errno of the first step that failed; 0 while none has.
    int Error() const { return m_error; }

private:
    bool OpenUnnamed();
    void OpenNamed();
    // Gives an unnamed new version its temporary name, right before it is renamed into place.
    bool NameUnnamed();
    void Fail(int error);
    void Discard();

    std::string m_path;
    // The new version's name; empty while it has none.
    std::string m_temporary;
    // The new version while it is being written; -1 after a failure or the commit.
    int m_fd = -1;
    int m_error = 0;
};

// Replaces path with bytes. Returns false (and leaves the old file as it was) when any step fails;
// error, when given, then gets the errno of that step.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, int* error = nullptr);

// Removes the temporary files that saves into folder left behind when their process was killed
// between writing and renaming (NAME.tmpPID_N of a process that no longer runs). Returns how many went.
size_t RemoveAbandonedTemporaries(const std::string& folder);

// The whole content of path; nothing when the file does not exist.
// Throws std::system_error when it exists but cannot be read, is no regular file or is larger than
// limit, so that a caller about to rewrite the file does not mistake an unreadable file for an empty one.
std::optional<std::string> ReadWholeFile(const std::string& path, uint64_t limit = platform::InputFile::SmallFileLimit);
