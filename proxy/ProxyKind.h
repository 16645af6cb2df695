#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// How a proxy is spoken to. The numbers are stored in the saved list: never renumber them.
// Detect is a record whose kind the next test finds out (HTTP, then SOCKS5, then SOCKS4).
enum class ProxyKind : int32_t {
    Http = 0,
    Socks4 = 1, // with 4a: the proxy resolves names
    Socks5 = 2,
    Detect = 3,
};

constexpr int32_t ProxyKindCount = 4;

// "http", "socks4", "socks5", "detect": the word of exports and the command line.
std::string_view ProxyKindName(ProxyKind kind);
// The kind a word names (ProxyKindName's words); nothing for any other word.
std::optional<ProxyKind> ProxyKindFromName(std::string_view name);
// The kind a URL scheme names: http, socks4, socks4a, socks5 or socks5h, in any case.
std::optional<ProxyKind> ProxyKindFromScheme(std::string_view scheme);
// "socks5://" and "socks4://" for those kinds, nothing for HTTP and Detect.
std::string_view ProxyKindPrefix(ProxyKind kind);

// A user name and password given with a proxy: HTTP Basic, SOCKS5's username/password, SOCKS4's
// user id (the user name alone).
struct ProxyCredentials {
    // SOCKS5 keeps each in one length byte.
    static constexpr size_t MaxLength = 255;

    std::string m_user;
    std::string m_password;

    // Whether both fit the protocols: at most MaxLength bytes, no CR, LF or NUL (which would end a
    // header line or a SOCKS4 user id early).
    static bool IsAcceptable(std::string_view text);
    bool operator==(const ProxyCredentials&) const = default;
};
