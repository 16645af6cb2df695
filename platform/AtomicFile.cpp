#include "platform/AtomicFile.h"

#include "platform/FileDescriptor.h"
#include "platform/InputFile.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

using platform::FileDescriptor;

constexpr std::string_view TemporaryMark = ".tmp";

// The errno of a failed write; a write that took nothing without one counts as an I/O error.
int WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return 0;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

// A name no other writer uses, also when two threads of this process save the same file at once.
std::string TemporaryName(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return path + std::string(TemporaryMark) + std::to_string(::getpid()) + "_" + std::to_string(counter++);
}

// The process that wrote a temporary file of ours, from its name; 0 for any other name.
pid_t WriterOf(std::string_view name) {
    const size_t mark = name.rfind(TemporaryMark);
    const size_t underscore = name.rfind('_');
    if (mark == std::string_view::npos || underscore == std::string_view::npos || underscore < mark)
        return 0;
    const std::string_view pid = name.substr(mark + TemporaryMark.size(), underscore - mark - TemporaryMark.size());
    const std::string_view number = name.substr(underscore + 1);
    pid_t value = 0;
    unsigned counter = 0;
    const auto [pidEnd, pidError] = std::from_chars(pid.data(), pid.data() + pid.size(), value);
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), counter);
    const bool whole = pidError == std::errc() && pidEnd == pid.data() + pid.size() && error == std::errc() &&
                       end == number.data() + number.size();
    return whole && value > 0 ? value : 0;
}

bool IsRunning(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

} // namespace

AtomicFile::AtomicFile(std::string path) : m_path(std::move(path)) {
    if (!OpenUnnamed())
        OpenNamed();
    if (m_fd < 0)
        return;
    // A file that already exists keeps its permissions.
    struct stat old {};
    if (::stat(m_path.c_str(), &old) == 0)
        ::fchmod(m_fd, old.st_mode & 07777);
}

void AtomicFile::MakePrivate() {
    struct stat status {};
    if (m_fd >= 0 && ::fstat(m_fd, &status) == 0 && ::fchmod(m_fd, status.st_mode & 0700) != 0)
        Fail(errno);
}

AtomicFile::~AtomicFile() {
    Discard();
}

bool AtomicFile::OpenUnnamed() {
    // The name is given through /proc at the commit; without /proc the named way is the only one.
    if (::access("/proc/self/fd", X_OK) != 0)
        return false;
    m_fd = ::open(FolderOf(m_path).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    return m_fd >= 0;
}

void AtomicFile::OpenNamed() {
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        m_temporary = TemporaryName(m_path);
        m_fd = ::open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd < 0 && errno != EEXIST)
            break;
    }
    if (m_fd < 0) {
        m_error = errno;
        m_temporary.clear();
    }
}

bool AtomicFile::NameUnnamed() {
    if (!m_temporary.empty())
        return true;
    // linkat cannot replace a file: the new version gets a fresh name of its own, which the rename
    // then puts in place of the old file in one step.
    const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = TemporaryName(m_path);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            m_temporary = std::move(name);
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

void AtomicFile::Fail(int error) {
    if (m_error == 0)
        m_error = error;
    Discard();
}

void AtomicFile::Discard() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_temporary.empty())
        ::unlink(m_temporary.c_str());
    m_temporary.clear();
}

bool AtomicFile::Write(std::string_view bytes) {
    if (m_fd < 0)
        return false;
    if (const int error = WriteAll(m_fd, bytes); error != 0)
        Fail(error);
    return m_fd >= 0;
}

bool AtomicFile::Commit() {
    if (m_fd < 0)
        return false;
    if (::fsync(m_fd) != 0 || !NameUnnamed()) {
        Fail(errno);
        return false;
    }
    // close reports the late write errors of some file systems.
    const bool closed = ::close(m_fd) == 0;
    m_fd = -1;
    if (!closed || ::rename(m_temporary.c_str(), m_path.c_str()) != 0) {
        Fail(errno);
        return false;
    }
    m_temporary.clear();
    // Make the rename itself durable; the new file is in place either way.
    FileDescriptor folder(::open(FolderOf(m_path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Get() >= 0)
        ::fsync(folder.Get());
    return true;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, int* error) {
    AtomicFile file(path);
    const bool replaced = file.Write(bytes) && file.Commit();
    if (error != nullptr)
        *error = file.Error();
    return replaced;
}

size_t RemoveAbandonedTemporaries(const std::string& folder) {
    namespace fs = std::filesystem;
    size_t removed = 0;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const pid_t writer = WriterOf(it->path().filename().native());
        std::error_code kind;
        if (writer == 0 || !it->is_regular_file(kind) || it->is_symlink(kind) || IsRunning(writer))
            continue;
        removed += fs::remove(it->path(), kind) ? 1 : 0;
    }
    return removed;
}

std::optional<std::string> ReadWholeFile(const std::string& path, uint64_t limit) {
    platform::InputFile file(path, limit);
    std::string bytes;
    if (file.IsOpen() && file.ReadRest(bytes))
        return bytes;
    if (file.Missing())
        return std::nullopt;
    // A refusal that is no errno still has to be told from a missing file.
    const int error = file.Error() == platform::InputFile::NotRegularFile ? EINVAL : file.Error();
    throw std::system_error(error, std::generic_category(), path + ": " + file.Reason());
}
