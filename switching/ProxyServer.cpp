#include "switching/ProxyServer.h"

#include "platform/PortNumber.h"
#include "proxy/ProxyItem.h"

#include <arpa/inet.h>

#include <algorithm>

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool AllDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), IsDigit);
}

// Four parts of one to three digits; inet_aton alone would also take "10.1", hex and blanks.
bool IsDottedQuad(std::string_view host) {
    int parts = 0;
    while (true) {
        const size_t dot = host.find('.');
        const std::string_view part = host.substr(0, dot);
        if (part.empty() || part.size() > 3 || !AllDigits(part))
            return false;
        ++parts;
        if (dot == std::string_view::npos)
            return parts == 4;
        host.remove_prefix(dot + 1);
    }
}

} // namespace

std::optional<ProxyServer> ParseProxyServer(std::string_view server) {
    const size_t colon = server.rfind(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    const std::string host(server.substr(0, colon));
    const auto port = ParsePort(server.substr(colon + 1));
    in_addr address{};
    // The tester connects with inet_addr, which reads a leading 0 as octal; so does inet_aton.
    if (!port || !IsDottedQuad(host) || inet_aton(host.c_str(), &address) == 0)
        return std::nullopt;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return ProxyServer{text, *port};
}

platform::ProxyTarget ProxyTargetOf(const ProxyItem& item) {
    platform::ProxyTarget target{item.ProxyAddressText()};
    if (item.Kind() == ProxyKind::Socks4)
        target.m_protocol = platform::ProxyProtocol::Socks4;
    else if (item.Kind() == ProxyKind::Socks5)
        target.m_protocol = platform::ProxyProtocol::Socks5;
    if (const auto credentials = item.m_credentials) {
        target.m_user = credentials->m_user;
        target.m_password = credentials->m_password;
    }
    return target;
}

std::vector<std::string> LocalHosts() {
    return {"localhost", "127.0.0.0/8", "::1"};
}

std::vector<std::string> WithLocalHosts(std::vector<std::string> hosts) {
    for (std::string& local : LocalHosts())
        if (std::find(hosts.begin(), hosts.end(), local) == hosts.end())
            hosts.push_back(std::move(local));
    return hosts;
}
