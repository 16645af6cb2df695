#pragma once

#include "proxy/ProxyKind.h"
#include "tester/SocketIo.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// Opens a SOCKS4a or SOCKS5 tunnel to host:port over a socket connected to the proxy, as a browser
// does before it sends its request through such a proxy. The proxy resolves names; a dotted address
// is sent as an address. SOCKS5 offers "no authentication", and username/password (RFC 1929) when
// credentials are given; SOCKS4 sends the user name as its user id.
class SocksTunnel {
public:
    enum class Outcome {
        Open,        // the tunnel is there: the next bytes are the target's
        Refused,     // the proxy said no, closed, or answered what no SOCKS server of that version says
        AuthRefused, // the proxy turned the user name and password down, or wanted some we do not have
        Silent,      // no answer within the limits, or stopped
    };

    struct Limits {
        std::chrono::milliseconds wait;
        socketio::Clock::time_point deadline;
        std::function<bool()> stopped;
    };

    SocksTunnel(ProxyKind kind, const ProxyCredentials* credentials) : m_kind(kind), m_credentials(credentials) {}

    // fd is a connected non-blocking socket.
    Outcome Open(int fd, std::string_view host, uint16_t port, const Limits& limits) const;

    // The bytes of each step, and the reading of each answer, apart so that they can be fed anything.
    static std::string Socks4Request(std::string_view host, uint16_t port, std::string_view userId);
    static std::string Socks5Greeting(bool withPassword);
    static std::string Socks5PasswordRequest(const ProxyCredentials& credentials);
    static std::string Socks5ConnectRequest(std::string_view host, uint16_t port);
    // The 8 bytes of a SOCKS4 answer.
    static Outcome Socks4Reply(std::string_view reply);
    // The 2 bytes of the method choice: Open for no authentication, AuthRefused for a method that
    // needs credentials we lack, Refused for a method we did not offer; the password step is due
    // when password is set on return.
    static Outcome Socks5MethodReply(std::string_view reply, bool offeredPassword, bool& password);
    static Outcome Socks5PasswordReply(std::string_view reply);
    // The whole length of a connect answer from its first five bytes; nothing for an answer that
    // refuses, is no SOCKS5 or names an address type there is none of.
    static std::optional<size_t> Socks5ConnectReplyLength(std::string_view head);

private:
    Outcome OpenSocks4(int fd, std::string_view host, uint16_t port, const Limits& limits) const;
    Outcome OpenSocks5(int fd, std::string_view host, uint16_t port, const Limits& limits) const;

    ProxyKind m_kind;
    const ProxyCredentials* m_credentials;
};
