#pragma once

#include "platform/FileDescriptor.h"

#include <poll.h>

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform {

// The connections a loopback listener has accepted and is not done with, served side by side: each
// gets at most its time limit, and at most capacity are held at once (a newcomer beyond that drops the
// oldest, one that has been answered first), so that silent or flooding peers cannot keep a real
// request waiting longer than one limit.
class ConnectionSet {
public:
    using Clock = std::chrono::steady_clock;
    // Called with what a connection has sent so far each time more arrives, and once with finished
    // true: it closed or failed, ran out of time or was dropped for a newer one. True when done with it.
    using Handler = std::function<bool(const std::string& received, bool finished)>;

    // A handler that answers: called as Handler is, with the connection's descriptor (to learn the peer), and
    // returns nothing while it wants more, else the reply to send before closing (empty: close at once). The
    // reply goes out within the same time limit; a reply given when finished is not sent.
    using Responder = std::function<std::optional<std::string>(int fd, const std::string& received, bool finished)>;

    // One receive takes at most this much, as a request is expected in one piece.
    static constexpr size_t ReceiveBytes = 255;
    // After a reply, how long the peer's leftover bytes are read and dropped before the close: closing with
    // unread bytes resets the connection, and the peer may lose the reply with it.
    static constexpr std::chrono::milliseconds Linger{1000};

    ConnectionSet(size_t capacity, std::chrono::milliseconds limit, Handler handler);
    ConnectionSet(size_t capacity, std::chrono::milliseconds limit, size_t receiveBytes, Responder responder);

    // One turn of a listener's loop (listener must be non-blocking): waits until listener, a held connection or an
    // entry of watched is ready, or the earliest limit passes; serves the held connections, then accepts what waits.
    // The revents of watched tell the caller the rest. False when the wait or the listener failed for good.
    bool Turn(int listener, std::span<pollfd> watched);
    size_t Held() const { return m_held.size(); }

private:
    struct Connection {
        FileDescriptor fd;
        Clock::time_point deadline;
        std::string received;
        std::optional<std::string> reply; // once answered: what is still to send
        bool done = false;
    };

    int Timeout(Clock::time_point now) const;
    void ServeHeld();
    bool Accept(int listener);
    void Receive(Connection& connection);
    void Send(Connection& connection);
    void Drain(Connection& connection);
    void Finish(Connection& connection);

    const size_t m_capacity;
    const std::chrono::milliseconds m_limit;
    const Responder m_responder;
    std::string m_buffer;          // one receive
    std::deque<Connection> m_held; // oldest first
    std::vector<pollfd> m_entries; // the listener, the held connections, then the caller's
    Clock::time_point m_acceptPausedUntil{};
};

} // namespace platform
