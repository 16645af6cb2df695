#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

struct sockaddr_in;

// The waits and the receive loop shared by the two HTTP exchanges. Waits use poll, not select:
// a run with a hundred workers and the window's own sockets easily holds descriptors above
// FD_SETSIZE, where select writes outside its set.
namespace socketio {

using Clock = std::chrono::steady_clock;

// Enough for a search engine's home page or a judge's page; a proxy that sends more is not one.
constexpr size_t MaxReplyBytes = 1 << 20;
// A whole exchange after the connection may take this many times the per-wait limit, so that a
// proxy that drips a byte within every limit, or sends for ever, cannot hold a worker for ever.
constexpr int ExchangeLimitFactor = 4;

// Waits for events on fd: >0 when they came (or an error or hang-up did), 0 at the time limit,
// <0 when poll failed.
int WaitFor(int fd, short events, std::chrono::milliseconds limit);

// Connects a non-blocking socket: true once connected. A refused connection fails at once.
bool ConnectWithin(int fd, const sockaddr_in& address, std::chrono::milliseconds limit);

// Appends what the peer sends to reply, each chunk of at most chunkSize - 1 bytes up to its first
// zero byte, until the peer closes, an error, silence of limit, the deadline, MaxReplyBytes or
// stopped() says so.
void ReceiveReply(int fd, std::string& reply, size_t chunkSize, std::chrono::milliseconds limit,
                  Clock::time_point deadline, const std::function<bool()>& stopped);

// Reads an answer's head into head, up to and with its empty line and not a byte beyond it (what
// follows belongs to whoever uses the connection next). False when the peer closed, fell silent for
// limit, passed the deadline or sent 8 KiB without an empty line first, or stopped() says so.
bool ReceiveHead(int fd, std::string& head, std::chrono::milliseconds limit, Clock::time_point deadline,
                 const std::function<bool()>& stopped);

} // namespace socketio
