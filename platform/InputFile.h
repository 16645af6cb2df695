#pragma once

#include "platform/FileDescriptor.h"

#include <cerrno>
#include <cstdint>
#include <limits>
#include <string>

namespace platform {

// The one way the program opens a file that comes from outside it: the settings, the saved list, the
// databases, a list the user loads. Only a regular file is read. Nothing here ever waits: a FIFO
// without a writer would hold an open for good, so a FIFO, a device, a socket or a folder is refused
// before any of it is read, and so is a file larger than its reader allows.
class InputFile {
public:
    // Error() of a file that exists but is no regular file (a folder gives EISDIR).
    static constexpr int NotRegularFile = -1;
    static constexpr uint64_t NoLimit = std::numeric_limits<uint64_t>::max();
    // The most a small file (settings, certificates, a desktop's configuration) may hold.
    static constexpr uint64_t SmallFileLimit = uint64_t{16} << 20;

    // limit: the most bytes the reader takes; a larger file is refused with EFBIG.
    InputFile(const std::string& path, uint64_t limit);

    bool IsOpen() const { return m_fd.Valid(); }
    // 0 while all is well; the errno of the call that failed (ENOENT for a missing file), NotRegularFile,
    // or EFBIG for a file above the limit.
    int Error() const { return m_error; }
    bool Missing() const { return m_error == ENOENT || m_error == ENOTDIR; }
    // Error() in words, for messages.
    std::string Reason() const;
    int Fd() const { return m_fd.Get(); }
    // The size when opened; the file may still grow or shrink while it is read.
    uint64_t Size() const { return m_size; }
    // Hands the descriptor over to the caller.
    int Release() { return m_fd.Release(); }

    // Appends up to count more bytes; fewer when the file ends first. False, with Error() set, when a
    // read fails.
    bool Read(std::string& bytes, uint64_t count);
    // Appends the rest of the file; false when a read fails or the file grew beyond the limit.
    bool ReadRest(std::string& bytes);

private:
    FileDescriptor m_fd;
    int m_error = 0;
    uint64_t m_size = 0;
    uint64_t m_limit;
    uint64_t m_consumed = 0;
};

// The system's text for an errno value, or for InputFile::NotRegularFile.
std::string ErrorText(int error);

} // namespace platform
