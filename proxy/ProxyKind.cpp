#include "proxy/ProxyKind.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace {

constexpr std::array<std::string_view, ProxyKindCount> Names = {"http", "socks4", "socks5", "detect"};

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

} // namespace

std::string_view ProxyKindName(ProxyKind kind) {
    const auto index = static_cast<size_t>(kind);
    return index < Names.size() ? Names[index] : std::string_view("http");
}

std::optional<ProxyKind> ProxyKindFromName(std::string_view name) {
    const auto found = std::find(Names.begin(), Names.end(), name);
    if (found == Names.end())
        return std::nullopt;
    return static_cast<ProxyKind>(found - Names.begin());
}

std::optional<ProxyKind> ProxyKindFromScheme(std::string_view scheme) {
    const std::string lower = Lower(scheme);
    if (lower == "http")
        return ProxyKind::Http;
    if (lower == "socks4" || lower == "socks4a")
        return ProxyKind::Socks4;
    if (lower == "socks5" || lower == "socks5h")
        return ProxyKind::Socks5;
    return std::nullopt;
}

std::string_view ProxyKindPrefix(ProxyKind kind) {
    switch (kind) {
    case ProxyKind::Socks4:
        return "socks4://";
    case ProxyKind::Socks5:
        return "socks5://";
    default:
        return {};
    }
}

bool ProxyCredentials::IsAcceptable(std::string_view text) {
    return text.size() <= MaxLength && text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}
