#include "tester/SocketIo.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

namespace socketio {

using std::chrono::duration_cast;
using std::chrono::milliseconds;

int WaitFor(int fd, short events, milliseconds limit) {
    const auto end = Clock::now() + limit;
    for (;;) {
        const auto left = std::clamp<int64_t>(duration_cast<milliseconds>(end - Clock::now()).count(), 0, INT_MAX);
        pollfd entry{fd, events, 0};
        const int result = poll(&entry, 1, static_cast<int>(left));
        if (result >= 0 || errno != EINTR)
            return result;
    }
}

bool ConnectWithin(int fd, const sockaddr_in& address, milliseconds limit) {
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return true;
    if (errno != EINPROGRESS)
        return false;
    if (WaitFor(fd, POLLOUT, limit) <= 0)
        return false;
    // A refused or unreachable peer also makes the socket writable; the pending error tells.
    int error = 0;
    socklen_t size = sizeof error;
    return getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

void ReceiveReply(int fd, std::string& reply, size_t chunkSize, milliseconds limit, Clock::time_point deadline,
                  const std::function<bool()>& stopped) {
    std::vector<char> buffer(chunkSize);
    for (;;) {
        const auto left = duration_cast<milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || stopped())
            return;
        if (WaitFor(fd, POLLIN, std::min(limit, left)) == 0 || stopped())
            return;
        std::fill(buffer.begin(), buffer.end(), '\0');
        const ssize_t received = recv(fd, buffer.data(), chunkSize - 1, 0);
        if (received < 0)
            return;
        reply.append(buffer.data(), strnlen(buffer.data(), static_cast<size_t>(received)));
        if (reply.size() >= MaxReplyBytes) {
            reply.resize(MaxReplyBytes);
            return;
        }
        if (received == 0)
            return;
    }
}

bool ReceiveHead(int fd, std::string& head, milliseconds limit, Clock::time_point deadline,
                 const std::function<bool()>& stopped) {
    constexpr size_t MaxHeadBytes = 8192;
    char buffer[1024];
    while (head.size() < MaxHeadBytes) {
        const auto left = duration_cast<milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || stopped() || WaitFor(fd, POLLIN, std::min(limit, left)) == 0 || stopped())
            return false;
        // Look first, then take only what belongs to the head.
        const ssize_t seen = recv(fd, buffer, sizeof buffer, MSG_PEEK);
        if (seen <= 0)
            return false;
        const size_t kept = head.size();
        head.append(buffer, static_cast<size_t>(seen));
        const size_t end = head.find("\r\n\r\n", kept >= 3 ? kept - 3 : 0);
        const size_t take = end == std::string::npos ? static_cast<size_t>(seen) : end + 4 - kept;
        head.resize(kept + take);
        if (recv(fd, buffer, take, 0) != static_cast<ssize_t>(take))
            return false;
        if (end != std::string::npos)
            return true;
    }
    return false;
}

} // namespace socketio
