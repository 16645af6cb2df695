#include "platform/InputFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace platform {

namespace {

int Refusal(const struct stat& info, uint64_t limit) {
    if (S_ISDIR(info.st_mode))
        return EISDIR;
    if (!S_ISREG(info.st_mode))
        return InputFile::NotRegularFile;
    return static_cast<uint64_t>(info.st_size) > limit ? EFBIG : 0;
}

} // namespace

InputFile::InputFile(const std::string& path, uint64_t limit) : m_limit(limit) {
    // A device is refused before it is opened: opening some has effects of its own.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        m_error = errno;
        return;
    }
    if ((m_error = Refusal(info, limit)) != 0)
        return;
    // O_NONBLOCK: what was a file a moment ago may be a FIFO by now, and opening that would wait for a
    // writer. It changes nothing for the regular file that fstat then confirms.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd.Valid() || ::fstat(fd.Get(), &info) != 0) {
        m_error = errno;
        return;
    }
    if ((m_error = Refusal(info, limit)) != 0)
        return;
    m_size = static_cast<uint64_t>(info.st_size);
    m_fd = std::move(fd);
}

std::string InputFile::Reason() const {
    if (m_error == EFBIG && m_limit != NoLimit && m_limit >= (1u << 20))
        return "File too large (over " + std::to_string(m_limit >> 20) + " MiB)";
    return ErrorText(m_error);
}

bool InputFile::Read(std::string& bytes, uint64_t count) {
    if (!IsOpen())
        return false;
    constexpr uint64_t Step = 65536;
    const size_t start = bytes.size();
    // Room for what the file held when opened, and one byte to see its end without growing.
    const uint64_t expected = m_size - std::min(m_size, m_consumed) + 1;
    uint64_t filled = 0;
    bytes.resize(start + std::min(count, expected));
    while (filled < count) {
        if (start + filled == bytes.size())
            bytes.resize(start + filled + std::min(count - filled, Step));
        const ssize_t n = ::read(m_fd.Get(), bytes.data() + start + filled, bytes.size() - start - filled);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            m_error = errno;
            bytes.resize(start);
            return false;
        }
        if (n == 0)
            break;
        filled += static_cast<uint64_t>(n);
    }
    bytes.resize(start + filled);
    m_consumed += filled;
    return true;
}

bool InputFile::ReadRest(std::string& bytes) {
    const size_t start = bytes.size();
    // One byte beyond the limit tells a file that grew past it from one that ends there.
    const uint64_t allowed = m_limit - std::min(m_limit, m_consumed);
    if (!Read(bytes, allowed == NoLimit ? allowed : allowed + 1))
        return false;
    if (bytes.size() - start <= allowed)
        return true;
    m_error = EFBIG;
    bytes.resize(start);
    return false;
}

std::string ErrorText(int error) {
    if (error == InputFile::NotRegularFile)
        return "Not a regular file";
    char buffer[256];
    return strerror_r(error, buffer, sizeof buffer);
}

} // namespace platform
