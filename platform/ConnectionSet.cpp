#include "platform/ConnectionSet.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace platform {

namespace {

using std::chrono::milliseconds;

// After an accept that failed for want of descriptors or memory, the listener rests this long: the
// connection still waits in the backlog, so trying again at once would only spin.
constexpr milliseconds AcceptPause{100};

// Accept errors that concern only the connection that just went away: try the next one at once.
bool ConnectionWentAway(int error) {
    return error == EINTR || error == ECONNABORTED || error == EPROTO;
}

bool OutOfResources(int error) {
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

} // namespace

ConnectionSet::ConnectionSet(size_t capacity, milliseconds limit, Handler handler)
    : m_capacity(std::max<size_t>(capacity, 1)), m_limit(limit), m_handler(std::move(handler)) {}

bool ConnectionSet::Turn(int listener, std::span<pollfd> watched) {
    const auto now = Clock::now();
    m_entries.clear();
    m_entries.push_back({now >= m_acceptPausedUntil ? listener : -1, POLLIN, 0});
    for (const Connection& connection : m_held)
        m_entries.push_back({connection.fd.Get(), POLLIN, 0});
    m_entries.insert(m_entries.end(), watched.begin(), watched.end());
    if (poll(m_entries.data(), m_entries.size(), Timeout(now)) < 0) {
        for (pollfd& entry : watched)
            entry.revents = 0;
        return errno == EINTR;
    }
    std::copy(m_entries.end() - static_cast<std::ptrdiff_t>(watched.size()), m_entries.end(), watched.begin());
    ServeHeld();
    return (m_entries.front().revents & (POLLIN | POLLERR | POLLHUP)) == 0 || Accept(listener);
}

// Until the earliest deadline, or the end of an accept pause; rounded up, so that a turn never wakes
// just before a deadline and spins.
int ConnectionSet::Timeout(Clock::time_point now) const {
    auto until = Clock::time_point::max();
    if (!m_held.empty())
        until = m_held.front().deadline;
    if (now < m_acceptPausedUntil)
        until = std::min(until, m_acceptPausedUntil);
    if (until == Clock::time_point::max())
        return -1;
    const auto left = std::chrono::ceil<milliseconds>(until - now).count();
    return static_cast<int>(std::clamp<decltype(left)>(left, 0, INT_MAX));
}

void ConnectionSet::ServeHeld() {
    const auto now = Clock::now();
    for (size_t i = 0; i < m_held.size(); ++i) {
        Connection& connection = m_held[i];
        if (m_entries[i + 1].revents != 0)
            Receive(connection);
        if (!connection.done && now >= connection.deadline)
            Finish(connection);
    }
    std::erase_if(m_held, [](const Connection& connection) { return connection.done; });
}

// Each turn accepts at most a capacity's worth, so that a flood cannot push out connections that
// have not yet been served once.
bool ConnectionSet::Accept(int listener) {
    for (size_t accepted = 0; accepted < m_capacity;) {
        FileDescriptor fd(accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!fd.Valid()) {
            const int error = errno;
            if (ConnectionWentAway(error))
                continue;
            if (OutOfResources(error))
                m_acceptPausedUntil = Clock::now() + AcceptPause;
            return error == EAGAIN || error == EWOULDBLOCK || OutOfResources(error);
        }
        ++accepted;
        if (m_held.size() >= m_capacity) {
            Finish(m_held.front());
            m_held.pop_front();
        }
        m_held.push_back({std::move(fd), Clock::now() + m_limit, {}});
        // A request sent right after its connect is usually here already: served before any newcomer can
        // push it out.
        Receive(m_held.back());
        if (m_held.back().done)
            m_held.pop_back();
    }
    return true;
}

void ConnectionSet::Receive(Connection& connection) {
    char buffer[ReceiveBytes];
    const ssize_t n = recv(connection.fd.Get(), buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    if (n <= 0) {
        Finish(connection);
        return;
    }
    connection.received.append(buffer, static_cast<size_t>(n));
    connection.done = m_handler(connection.received, false);
}

void ConnectionSet::Finish(Connection& connection) {
    m_handler(connection.received, true);
    connection.done = true;
}

} // namespace platform
