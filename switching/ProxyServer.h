#pragma once

#include "platform/SystemProxy.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A proxy server as the desktop's settings hold it.
struct ProxyServer {
    // Dotted quad in its usual form, e.g. "10.1.2.3".
    std::string m_host;
    uint16_t m_port = 0;
};

// Splits a record's address text "HOST:PORT" at the last ':'. HOST is four dot-separated numbers,
// read as the tester reads them when it connects (so the desktop goes to the host that was tested);
// PORT is 1 to 65535. Anything else is refused.
std::optional<ProxyServer> ParseProxyServer(std::string_view server);

class ProxyItem;

// The proxy a switch to the record sets: its address, kind and credentials. A record whose kind is still
// to be detected is taken for HTTP, as it was found.
platform::ProxyTarget ProxyTargetOf(const ProxyItem& item);

// The hosts that always bypass our proxy: the local ones.
std::vector<std::string> LocalHosts();

// The user's exceptions with each local host that they lack added after them: ours join the user's,
// never replace them.
std::vector<std::string> WithLocalHosts(std::vector<std::string> hosts);
