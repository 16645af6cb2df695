#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The user's own values of the desktop's proxy settings that a switch may change, by setting name, each
// as its text. A setting missing here had no value of the user's own: the desktop's default applied.
using ProxyValues = std::map<std::string, std::string>;

// How the desktop is to speak to the proxy it is switched to.
enum class ProxyProtocol { Http, Socks4, Socks5 };

// The proxy a switch sets.
struct ProxyTarget {
    std::string m_server; // "HOST:PORT", a record's address text
    ProxyProtocol m_protocol = ProxyProtocol::Http;
    // Both empty for a proxy without credentials; SOCKS4 has a user id only.
    std::string m_user{};
    std::string m_password{};

    bool HasCredentials() const { return !m_user.empty() || !m_password.empty(); }
};

// The desktop's system proxy, which the desktop's programs (and Firefox on its default setting) follow.
class SystemProxy {
public:
    virtual ~SystemProxy() = default;
    // Every protocol goes through the proxy, local addresses bypass it besides the user's own exceptions.
    virtual bool SetIEProxyAll(const ProxyTarget& target) = 0;
    // Direct connection: only the mode changes; the stored host and port are kept.
    virtual bool SetIEDirectAll() = 0;
    // Which desktop's settings these are ("gnome", "kde"), so that values kept for one are never put
    // into another; empty where there are none.
    virtual std::string Desktop() const = 0;
    // Every value SetIEProxyAll may change, as the desktop holds it now; nothing when it cannot be read.
    virtual std::optional<ProxyValues> ReadUserValues() = 0;
    // Puts back values that ReadUserValues gave; a setting missing from them goes back to the desktop's
    // default. False, with nothing changed, for values that are not this desktop's.
    virtual bool RestoreUserValues(const ProxyValues& values) = 0;
};

// Records each call as a line of text ("proxy HOST:PORT", "proxy socks5://HOST:PORT" for a proxy other than
// HTTP, a " with credentials" after one that has them, "direct", "read", "restore") and keeps the
// values a desktop would hold: a proxy replaces them, a restore puts the given ones back.
class RecordingSystemProxy : public SystemProxy {
public:
    std::vector<std::string> m_calls;
    bool m_result = true;
    ProxyValues m_values;

    bool SetIEProxyAll(const ProxyTarget& target) override {
        const char* scheme = target.m_protocol == ProxyProtocol::Socks4   ? "socks4://"
                             : target.m_protocol == ProxyProtocol::Socks5 ? "socks5://"
                                                                          : "";
        m_calls.push_back("proxy " + (scheme + target.m_server) + (target.HasCredentials() ? " with credentials" : ""));
        m_values = {{"server", target.m_server}};
        return m_result;
    }
    bool SetIEDirectAll() override {
        m_calls.push_back("direct");
        return m_result;
    }
    std::string Desktop() const override { return "recording"; }
    std::optional<ProxyValues> ReadUserValues() override {
        m_calls.push_back("read");
        return m_values;
    }
    bool RestoreUserValues(const ProxyValues& values) override {
        m_calls.push_back("restore");
        if (m_result)
            m_values = values;
        return m_result;
    }
};

} // namespace platform
