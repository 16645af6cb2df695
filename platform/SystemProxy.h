#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The user's own values of the desktop's proxy settings that a switch may change, by setting name, each
// as its text. A setting missing here had no value of the user's own: the desktop's default applied.
using ProxyValues = std::map<std::string, std::string>;

// The desktop's system proxy, which the desktop's programs (and Firefox on its default setting) follow.
class SystemProxy {
public:
    virtual ~SystemProxy() = default;
    // server is "HOST:PORT" (a record's address text); every protocol goes through it, local addresses
    // bypass it besides the user's own exceptions.
    virtual bool SetIEProxyAll(const std::string& server) = 0;
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

// Records each call as a line of text ("proxy HOST:PORT", "direct", "read", "restore") and keeps the
// values a desktop would hold: a proxy replaces them, a restore puts the given ones back.
class RecordingSystemProxy : public SystemProxy {
public:
    std::vector<std::string> m_calls;
    bool m_result = true;
    ProxyValues m_values;

    bool SetIEProxyAll(const std::string& server) override {
        m_calls.push_back("proxy " + server);
        m_values = {{"server", server}};
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
