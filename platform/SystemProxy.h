#pragma once

#include <string>
#include <vector>

namespace platform {

// The desktop's system proxy, which the desktop's programs (and Firefox on its default setting) follow.
class SystemProxy {
public:
    virtual ~SystemProxy() = default;
    // server is "HOST:PORT" (a record's address text); every protocol goes through it, local addresses bypass it.
    virtual bool SetIEProxyAll(const std::string& server) = 0;
    // Direct connection: only the mode changes; the stored host and port are kept.
    virtual bool SetIEDirectAll() = 0;
};

// Records each call as a line of text: "proxy HOST:PORT" or "direct".
class RecordingSystemProxy : public SystemProxy {
public:
    std::vector<std::string> m_calls;
    bool m_result = true;

    bool SetIEProxyAll(const std::string& server) override {
        m_calls.push_back("proxy " + server);
        return m_result;
    }
    bool SetIEDirectAll() override {
        m_calls.push_back("direct");
        return m_result;
    }
};

} // namespace platform
