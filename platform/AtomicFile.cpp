#include "platform/AtomicFile.h"

#include "platform/FileDescriptor.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

using platform::FileDescriptor;

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

// A name no other writer uses, also when two threads of this process save the same file at once.
std::string TemporaryName(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return path + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
}

} // namespace

AtomicFile::AtomicFile(std::string path) : m_path(std::move(path)) {
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        m_temporary = TemporaryName(m_path);
        m_fd = ::open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd < 0 && errno != EEXIST)
            return;
    }
    // A file that already exists keeps its permissions.
    struct stat old {};
    if (m_fd >= 0 && ::stat(m_path.c_str(), &old) == 0)
        ::fchmod(m_fd, old.st_mode & 07777);
}

AtomicFile::~AtomicFile() {
    Discard();
}

void AtomicFile::Discard() {
    if (m_fd < 0)
        return;
    ::close(m_fd);
    m_fd = -1;
    ::unlink(m_temporary.c_str());
}

bool AtomicFile::Write(std::string_view bytes) {
    if (m_fd >= 0 && !WriteAll(m_fd, bytes))
        Discard();
    return m_fd >= 0;
}

bool AtomicFile::Commit() {
    if (m_fd < 0)
        return false;
    const bool synced = ::fsync(m_fd) == 0;
    // close reports the late write errors of some file systems.
    const bool closed = ::close(m_fd) == 0;
    m_fd = -1;
    if (!synced || !closed || ::rename(m_temporary.c_str(), m_path.c_str()) != 0) {
        ::unlink(m_temporary.c_str());
        return false;
    }
    // Make the rename itself durable; the new file is in place either way.
    FileDescriptor folder(::open(FolderOf(m_path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Get() >= 0)
        ::fsync(folder.Get());
    return true;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes) {
    AtomicFile file(path);
    return file.Write(bytes) && file.Commit();
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return std::nullopt;
        throw std::system_error(errno, std::generic_category(), path);
    }
    // Read straight into the string; the file may still grow or shrink while it is read.
    struct stat info {};
    std::string bytes(::fstat(file.Get(), &info) == 0 && info.st_size > 0 ? static_cast<size_t>(info.st_size) : 0,
                      '\0');
    size_t filled = 0;
    for (;;) {
        if (filled == bytes.size())
            bytes.resize(bytes.size() + 65536);
        const ssize_t n = ::read(file.Get(), bytes.data() + filled, bytes.size() - filled);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw std::system_error(errno, std::generic_category(), path);
        if (n == 0) {
            bytes.resize(filled);
            return bytes;
        }
        filled += static_cast<size_t>(n);
    }
}
