#pragma once

#include "proxy/ProxyKind.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Turns the requests the tests write for an HTTP proxy ("GET http://host/path HTTP/1.0" and headers)
// into what goes over a proxy of another kind or with credentials.
class ProxyRequest {
public:
    struct Tunnelled {
        std::string host;
        uint16_t port = 80;
        std::string text;
    };

    // The request as a browser sends it to the page's server through a SOCKS tunnel: origin-form
    // "GET /path" with the same headers, Proxy-Connection spoken as Connection (the server is the
    // only one listening). Nothing for a request that names no http:// page or a bad port.
    static std::optional<Tunnelled> ForTunnel(std::string_view request);
    // The request with "Proxy-Authorization: Basic ..." after its first line.
    static std::string WithBasicAuth(std::string_view request, const ProxyCredentials& credentials);
    // "host" or "host:port"; nothing for a port that is none.
    static std::optional<std::pair<std::string, uint16_t>> SplitHostPort(std::string_view text, uint16_t defaultPort);
    static std::string Base64(std::string_view bytes);
};
