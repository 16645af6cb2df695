#include "tester/HttpGetDirect.h"

#include "platform/FileDescriptor.h"
#include "tester/SocketIo.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

HttpUrl SplitHttpUrl(const std::string& url) {
    HttpUrl parts;
    const std::string rest = url.size() > 7 ? url.substr(7) : std::string();
    const size_t slash = rest.find('/');
    parts.host = rest.substr(0, slash);
    if (slash != std::string::npos)
        parts.path = rest.substr(slash);
    const size_t colon = parts.host.find(':');
    parts.hostName = parts.host.substr(0, colon);
    if (colon != std::string::npos)
        parts.port = parts.host.substr(colon + 1);
    return parts;
}

namespace {

// The first IPv4 address of the host, names resolved by the system; false when there is none.
bool Resolve(const HttpUrl& url, sockaddr_in& address) {
    if (url.hostName.empty() || url.port.empty() || url.port.find_first_not_of("0123456789") != std::string::npos ||
        url.port.size() > 5)
        return false;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(url.hostName.c_str(), url.port.c_str(), &hints, &found) != 0 || !found)
        return false;
    std::memcpy(&address, found->ai_addr, sizeof address);
    freeaddrinfo(found);
    return true;
}

} // namespace

std::string HttpGetDirect(const std::string& url, int timeoutSeconds, std::stop_token stop) {
    if (url.empty())
        return {};
    const HttpUrl parts = SplitHttpUrl(url);
    sockaddr_in address{};
    if (!Resolve(parts, address))
        return {};
    const platform::FileDescriptor socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP));
    if (!socket.Valid())
        return {};
    // Shutting the socket down ends the connect's and every receive's wait; the callback is gone before
    // the socket closes.
    const std::stop_callback shut(stop, [&socket] { shutdown(socket.Get(), SHUT_RDWR); });
    const auto stopped = [&stop] { return stop.stop_requested(); };
    const int fd = socket.Get();
    const std::chrono::milliseconds limit = std::chrono::seconds(timeoutSeconds);
    std::string reply;
    if (!stopped() && socketio::ConnectWithin(fd, address, limit) && !stopped()) {
        const std::string request =
            "GET " + parts.path + " HTTP/1.0\r\nAccept: */*\r\nHost: " + parts.host + "\r\n\r\n";
        if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) >= 0) {
            const auto deadline = socketio::Clock::now() + socketio::ExchangeLimitFactor * limit;
            socketio::ReceiveReply(fd, reply, 200, limit, deadline, stopped);
        }
    }
    return reply;
}
