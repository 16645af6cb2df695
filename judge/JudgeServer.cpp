#include "judge/JudgeServer.h"

#include "judge/JudgeRequest.h"
#include "platform/ConnectionSet.h"
#include "platform/PortNumber.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>

#include <cerrno>
#include <cstring>

namespace {

// One receive: a proxied request head usually fits in one.
constexpr size_t ReceiveBytes = 4096;

struct Peer {
    std::string address;
    uint16_t port = 0;
};

std::string AddressText(const sockaddr_storage& address) {
    char text[INET6_ADDRSTRLEN] = "";
    if (address.ss_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(address).sin_addr, text, sizeof text);
    else
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr, text, sizeof text);
    return text;
}

uint16_t PortOf(const sockaddr_storage& address) {
    return ntohs(address.ss_family == AF_INET ? reinterpret_cast<const sockaddr_in&>(address).sin_port
                                              : reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
}

// An IPv4 peer of an IPv6 listener is shown as IPv4, as the tester compares it with its own IPv4 address.
Peer PeerOf(int fd) {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return {};
    std::string text = AddressText(address);
    if (text.starts_with("::ffff:") && text.find('.') != std::string::npos)
        text.erase(0, 7);
    return {text, PortOf(address)};
}

std::string SystemError(int error) {
    char text[256] = "";
    return strerror_r(error, text, sizeof text);
}

} // namespace

std::optional<JudgeServer::Endpoint> JudgeServer::Endpoint::Parse(std::string_view text, std::string& error) {
    std::string host = "127.0.0.1";
    std::string_view port = text;
    const size_t colon = text.rfind(':');
    if (colon != std::string_view::npos) {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    Endpoint endpoint;
    auto& v4 = reinterpret_cast<sockaddr_in&>(endpoint.address);
    auto& v6 = reinterpret_cast<sockaddr_in6&>(endpoint.address);
    const bool bracketed = host.size() > 2 && host.front() == '[' && host.back() == ']';
    if (bracketed && inet_pton(AF_INET6, host.substr(1, host.size() - 2).c_str(), &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        endpoint.size = sizeof v6;
    } else if (!bracketed && inet_pton(AF_INET, host.c_str(), &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        endpoint.size = sizeof v4;
    } else {
        error = "'" + host + "' is not an IPv4 address (such as 0.0.0.0) or an IPv6 address in brackets";
        return std::nullopt;
    }
    const std::optional<uint16_t> number = ParsePortOrAny(port);
    if (!number) {
        error = "'" + std::string(port) + "' is not a port (0 to 65535)";
        return std::nullopt;
    }
    (endpoint.address.ss_family == AF_INET ? v4.sin_port : v6.sin6_port) = htons(*number);
    return endpoint;
}

std::string JudgeServer::Endpoint::Text() const {
    const std::string host = AddressText(address);
    const std::string port = std::to_string(PortOf(address));
    return address.ss_family == AF_INET6 ? "[" + host + "]:" + port : host + ":" + port;
}

bool JudgeServer::Listen(const Endpoint& where, std::string& error) {
    m_listener.Reset(socket(where.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const int fd = m_listener.Get();
    const int on = 1;
    m_listening = where;
    socklen_t size = sizeof m_listening.address;
    // A restarted server takes its port back at once, while the old connections still linger.
    if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        bind(fd, reinterpret_cast<const sockaddr*>(&where.address), where.size) != 0 || listen(fd, SOMAXCONN) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&m_listening.address), &size) != 0) {
        error = "cannot listen on " + where.Text() + ": " + SystemError(errno);
        m_listener.Reset();
        return false;
    }
    return true;
}

bool JudgeServer::Run(int wake) {
    platform::ConnectionSet connections(
        m_limits.maxConnections, m_limits.timeout, ReceiveBytes,
        [this](int fd, const std::string& received, bool finished) -> std::optional<std::string> {
            // A client that is dropped or went away hears nothing more.
            return finished ? std::nullopt : Serve(fd, received);
        });
    pollfd watched[] = {{wake, POLLIN, 0}};
    while (connections.Turn(m_listener.Get(), watched))
        if (watched[0].revents != 0)
            return true;
    return false;
}

std::optional<std::string> JudgeServer::Serve(int fd, const std::string& received) const {
    const JudgeRequest request = JudgeRequest::Parse(received, m_limits.maxHead);
    if (request.state == JudgeRequest::State::Incomplete)
        return std::nullopt;
    const Peer peer = PeerOf(fd);
    return request.Reply(peer.address, peer.port);
}
