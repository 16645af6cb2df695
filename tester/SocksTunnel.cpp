#include "tester/SocksTunnel.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

namespace {

constexpr char Socks4Version = 4;
constexpr char Socks5Version = 5;
constexpr unsigned char NoAuthentication = 0x00;
constexpr unsigned char UserPassword = 0x02;
constexpr unsigned char NoAcceptableMethod = 0xFF;
constexpr unsigned char AddressIPv4 = 1;
constexpr unsigned char AddressName = 3;
constexpr unsigned char AddressIPv6 = 4;

void AppendPort(std::string& bytes, uint16_t port) {
    bytes += static_cast<char>(port >> 8);
    bytes += static_cast<char>(port & 0xFF);
}

// The four bytes of a dotted address, or nothing for a name.
std::optional<std::string> AddressBytes(std::string_view host) {
    in_addr address{};
    if (inet_pton(AF_INET, std::string(host).c_str(), &address) != 1)
        return std::nullopt;
    return std::string(reinterpret_cast<const char*>(&address), 4);
}

bool SendAll(int fd, const std::string& bytes) {
    return send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

// Reads at least count bytes, and no more than most, onto the end of into. Silent when the limits ran
// out, Refused when the proxy closed or failed first.
SocksTunnel::Outcome Receive(int fd, std::string& into, size_t count, const SocksTunnel::Limits& limits,
                             size_t most = 0) {
    const size_t target = into.size() + count;
    const size_t limit = into.size() + std::max(count, most);
    while (into.size() < target) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(limits.deadline - socketio::Clock::now());
        if (left.count() <= 0 || limits.stopped() || socketio::WaitFor(fd, POLLIN, std::min(limits.wait, left)) <= 0 ||
            limits.stopped())
            return SocksTunnel::Outcome::Silent;
        char buffer[300];
        const ssize_t got = recv(fd, buffer, std::min(sizeof buffer, limit - into.size()), 0);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0)
            return SocksTunnel::Outcome::Refused;
        into.append(buffer, static_cast<size_t>(got));
    }
    return SocksTunnel::Outcome::Open;
}

} // namespace

SocksTunnel::Outcome SocksTunnel::Open(int fd, std::string_view host, uint16_t port, const Limits& limits) const {
    return m_kind == ProxyKind::Socks4 ? OpenSocks4(fd, host, port, limits) : OpenSocks5(fd, host, port, limits);
}

SocksTunnel::Outcome SocksTunnel::OpenSocks4(int fd, std::string_view host, uint16_t port, const Limits& limits) const {
    if (!SendAll(fd, Socks4Request(host, port, m_credentials ? m_credentials->m_user : std::string())))
        return Outcome::Refused;
    std::string reply;
    const Outcome read = Receive(fd, reply, 8, limits);
    return read == Outcome::Open ? Socks4Reply(reply) : read;
}

SocksTunnel::Outcome SocksTunnel::OpenSocks5(int fd, std::string_view host, uint16_t port, const Limits& limits) const {
    const bool withPassword = m_credentials != nullptr;
    if (!SendAll(fd, Socks5Greeting(withPassword)))
        return Outcome::Refused;
    std::string reply;
    if (const Outcome read = Receive(fd, reply, 2, limits); read != Outcome::Open)
        return read;
    bool password = false;
    if (const Outcome chosen = Socks5MethodReply(reply, withPassword, password); chosen != Outcome::Open)
        return chosen;
    if (password) {
        reply.clear();
        if (!SendAll(fd, Socks5PasswordRequest(*m_credentials)))
            return Outcome::Refused;
        if (const Outcome read = Receive(fd, reply, 2, limits); read != Outcome::Open)
            return read == Outcome::Refused ? Outcome::AuthRefused : read; // some servers just close
        if (const Outcome answer = Socks5PasswordReply(reply); answer != Outcome::Open)
            return answer;
    }
    reply.clear();
    if (!SendAll(fd, Socks5ConnectRequest(host, port)))
        return Outcome::Refused;
    // The usual answer, with an IPv4 address, comes whole in one read; the target says nothing before
    // it is asked, so reading that far takes none of its bytes.
    constexpr size_t Usual = 10;
    if (const Outcome read = Receive(fd, reply, 5, limits, Usual); read != Outcome::Open)
        return read;
    const std::optional<size_t> length = Socks5ConnectReplyLength(reply);
    if (!length || *length < reply.size())
        return Outcome::Refused;
    return *length == reply.size() ? Outcome::Open : Receive(fd, reply, *length - reply.size(), limits);
}

std::string SocksTunnel::Socks4Request(std::string_view host, uint16_t port, std::string_view userId) {
    std::string bytes{Socks4Version, 1};
    AppendPort(bytes, port);
    const std::optional<std::string> address = AddressBytes(host);
    // SOCKS4a: the address 0.0.0.1 says that the name follows the user id.
    bytes += address.value_or(std::string("\0\0\0\1", 4));
    bytes.append(userId).push_back('\0');
    if (!address)
        bytes.append(host).push_back('\0');
    return bytes;
}

std::string SocksTunnel::Socks5Greeting(bool withPassword) {
    if (withPassword)
        return {Socks5Version, 2, static_cast<char>(NoAuthentication), static_cast<char>(UserPassword)};
    return {Socks5Version, 1, static_cast<char>(NoAuthentication)};
}

std::string SocksTunnel::Socks5PasswordRequest(const ProxyCredentials& credentials) {
    std::string bytes{1}; // the version of the username/password exchange
    bytes += static_cast<char>(credentials.m_user.size());
    bytes += credentials.m_user;
    bytes += static_cast<char>(credentials.m_password.size());
    bytes += credentials.m_password;
    return bytes;
}

std::string SocksTunnel::Socks5ConnectRequest(std::string_view host, uint16_t port) {
    std::string bytes{Socks5Version, 1, 0};
    if (const std::optional<std::string> address = AddressBytes(host)) {
        bytes += static_cast<char>(AddressIPv4);
        bytes += *address;
    } else {
        bytes += static_cast<char>(AddressName);
        bytes += static_cast<char>(std::min<size_t>(host.size(), 255));
        bytes += host.substr(0, 255);
    }
    AppendPort(bytes, port);
    return bytes;
}

SocksTunnel::Outcome SocksTunnel::Socks4Reply(std::string_view reply) {
    // The answer's version byte is 0; 90 grants, 92 and 93 are the identd's refusals of the user id.
    if (reply.size() != 8 || reply[0] != 0)
        return Outcome::Refused;
    const auto code = static_cast<unsigned char>(reply[1]);
    if (code == 90)
        return Outcome::Open;
    return code == 92 || code == 93 ? Outcome::AuthRefused : Outcome::Refused;
}

SocksTunnel::Outcome SocksTunnel::Socks5MethodReply(std::string_view reply, bool offeredPassword, bool& password) {
    password = false;
    if (reply.size() != 2 || reply[0] != Socks5Version)
        return Outcome::Refused;
    const auto method = static_cast<unsigned char>(reply[1]);
    if (method == NoAuthentication)
        return Outcome::Open;
    if (method == UserPassword && offeredPassword) {
        password = true;
        return Outcome::Open;
    }
    // "No acceptable method" from a proxy that wants a password we do not have.
    return method == NoAcceptableMethod ? Outcome::AuthRefused : Outcome::Refused;
}

SocksTunnel::Outcome SocksTunnel::Socks5PasswordReply(std::string_view reply) {
    if (reply.size() != 2 || reply[0] != 1)
        return Outcome::Refused;
    return reply[1] == 0 ? Outcome::Open : Outcome::AuthRefused;
}

std::optional<size_t> SocksTunnel::Socks5ConnectReplyLength(std::string_view head) {
    // VER REP RSV ATYP, the bound address, two bytes of port.
    if (head.size() < 5 || head[0] != Socks5Version || head[1] != 0 || head[2] != 0)
        return std::nullopt;
    switch (static_cast<unsigned char>(head[3])) {
    case AddressIPv4:
        return 4 + 4 + 2;
    case AddressIPv6:
        return 4 + 16 + 2;
    case AddressName:
        return 4 + 1 + static_cast<size_t>(static_cast<unsigned char>(head[4])) + 2;
    default:
        return std::nullopt;
    }
}
