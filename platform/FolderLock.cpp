#include "platform/FolderLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>

namespace platform {

FolderLock::FolderLock(const std::string& folder) {
    // Read-only, so that a lock file without write permission still locks; O_NONBLOCK, so that a FIFO
    // in its place cannot hold the start-up; O_NOFOLLOW, so that a planted link locks nothing else.
    const int flags = O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    m_file.Reset(::open((folder + FileName).c_str(), flags, 0644));
    if (!m_file.Valid())
        return;
    int result = 0;
    while ((result = ::flock(m_file.Get(), LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (result == 0)
        m_state = State::Held;
    else if (errno == EWOULDBLOCK)
        m_state = State::HeldElsewhere;
    if (m_state != State::Held)
        m_file.Reset();
}

} // namespace platform
