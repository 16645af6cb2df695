#include "tester/ProxyRequest.h"

#include "platform/PortNumber.h"

namespace {

constexpr std::string_view Scheme = "http://";

} // namespace

std::optional<ProxyRequest::Tunnelled> ProxyRequest::ForTunnel(std::string_view request) {
    const size_t lineEnd = request.find("\r\n");
    const size_t url = request.find(' ');
    if (lineEnd == std::string_view::npos || url == std::string_view::npos || url > lineEnd ||
        request.substr(url + 1, Scheme.size()) != Scheme)
        return std::nullopt;
    const size_t hostStart = url + 1 + Scheme.size();
    const size_t urlEnd = request.find(' ', hostStart);
    if (urlEnd == std::string_view::npos || urlEnd > lineEnd)
        return std::nullopt;
    const size_t pathStart = std::min(request.find('/', hostStart), urlEnd);
    const auto hostPort = SplitHostPort(request.substr(hostStart, pathStart - hostStart), 80);
    if (!hostPort)
        return std::nullopt;
    Tunnelled out{hostPort->first, hostPort->second, std::string(request.substr(0, url + 1))};
    out.text += pathStart == urlEnd ? std::string_view("/") : request.substr(pathStart, urlEnd - pathStart);
    std::string_view rest = request.substr(urlEnd);
    constexpr std::string_view ProxyConnection = "\r\nProxy-Connection:";
    if (const size_t at = rest.find(ProxyConnection); at != std::string_view::npos) {
        out.text += rest.substr(0, at);
        out.text += "\r\nConnection:";
        rest = rest.substr(at + ProxyConnection.size());
    }
    out.text += rest;
    return out;
}

std::string ProxyRequest::WithBasicAuth(std::string_view request, const ProxyCredentials& credentials) {
    const size_t lineEnd = request.find("\r\n");
    if (lineEnd == std::string_view::npos)
        return std::string(request);
    std::string out(request.substr(0, lineEnd + 2));
    out += "Proxy-Authorization: Basic " + Base64(credentials.m_user + ':' + credentials.m_password) + "\r\n";
    out += request.substr(lineEnd + 2);
    return out;
}

std::optional<std::pair<std::string, uint16_t>> ProxyRequest::SplitHostPort(std::string_view text,
                                                                            uint16_t defaultPort) {
    const size_t colon = text.rfind(':');
    if (colon == std::string_view::npos)
        return std::pair{std::string(text), defaultPort};
    const std::optional<uint16_t> port = ParsePort(text.substr(colon + 1));
    if (!port)
        return std::nullopt;
    return std::pair{std::string(text.substr(0, colon)), *port};
}

std::string ProxyRequest::Base64(std::string_view bytes) {
    constexpr std::string_view Digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
        if (i + 1 < bytes.size())
            group |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        if (i + 2 < bytes.size())
            group |= static_cast<unsigned char>(bytes[i + 2]);
        out += Digits[group >> 18 & 63];
        out += Digits[group >> 12 & 63];
        out += i + 1 < bytes.size() ? Digits[group >> 6 & 63] : '=';
        out += i + 2 < bytes.size() ? Digits[group & 63] : '=';
    }
    return out;
}
