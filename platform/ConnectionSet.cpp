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
    : ConnectionSet(capacity, limit, ReceiveBytes,
                    [handler = std::move(handler)](int, const std::string& received,
                                                   bool finished) -> std::optional<std::string> {
                        if (handler(received, finished))
                            return std::string();
                        return std::nullopt;
                    }) {}

ConnectionSet::ConnectionSet(size_t capacity, milliseconds limit, size_t receiveBytes, Responder responder)
    : m_capacity(std::max<size_t>(capacity, 1)), m_limit(limit), m_responder(std::move(responder)),
      m_buffer(std::max<size_t>(receiveBytes, 1), '\0') {}

bool ConnectionSet::Turn(int listener, std::span<pollfd> watched) {
    const auto now = Clock::now();
    m_entries.clear();
    m_entries.push_back({now >= m_acceptPausedUntil ? listener : -1, POLLIN, 0});
    for (const Connection& connection : m_held) {
        const bool sending = connection.reply && !connection.reply->empty();
        m_entries.push_back({connection.fd.Get(), static_cast<short>(sending ? POLLOUT : POLLIN), 0});
    }
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
    // A lingering connection's deadline comes early, so the oldest is not always the first due.
    for (const Connection& connection : m_held)
        until = std::min(until, connection.deadline);
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
        const short revents = m_entries[i + 1].revents;
        if (revents != 0 && (m_entries[i + 1].events & POLLOUT))
            Send(connection);
        else if (revents != 0)
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
            // One that has its answer only waits for the peer's close: it goes before one still being served.
            auto oldest = std::find_if(m_held.begin(), m_held.end(), [](const Connection& held) { return held.reply; });
            if (oldest == m_held.end())
                oldest = m_held.begin();
            Finish(*oldest);
            m_held.erase(oldest);
        }
        m_held.push_back({std::move(fd), Clock::now() + m_limit, {}, {}});
        // A request sent right after its connect is usually here already: served before any newcomer can
        // push it out.
        Receive(m_held.back());
        if (m_held.back().done)
            m_held.pop_back();
    }
    return true;
}

void ConnectionSet::Receive(Connection& connection) {
    if (connection.reply) {
        Drain(connection);
        return;
    }
    const ssize_t n = recv(connection.fd.Get(), m_buffer.data(), m_buffer.size(), MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    if (n <= 0) {
        Finish(connection);
        return;
    }
    connection.received.append(m_buffer.data(), static_cast<size_t>(n));
    connection.reply = m_responder(connection.fd.Get(), connection.received, false);
    if (!connection.reply)
        return;
    connection.received = {};
    if (connection.reply->empty())
        connection.done = true;
    else
        Send(connection);
}

// Sends what the socket takes now; the rest waits for the next turn.
void ConnectionSet::Send(Connection& connection) {
    std::string& reply = *connection.reply;
    const ssize_t n = send(connection.fd.Get(), reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    if (n <= 0) {
        connection.done = true;
        return;
    }
    reply.erase(0, static_cast<size_t>(n));
    if (reply.empty()) {
        reply.shrink_to_fit();
        shutdown(connection.fd.Get(), SHUT_WR);
        connection.deadline = std::min(connection.deadline, Clock::now() + Linger);
    }
}

void ConnectionSet::Drain(Connection& connection) {
    const ssize_t n = recv(connection.fd.Get(), m_buffer.data(), m_buffer.size(), MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
        connection.done = true;
}

// The handler hears of the end only while it has not answered.
void ConnectionSet::Finish(Connection& connection) {
    if (!connection.reply)
        m_responder(connection.fd.Get(), connection.received, true);
    connection.done = true;
}

} // namespace platform
