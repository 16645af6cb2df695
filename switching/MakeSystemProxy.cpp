#include "switching/MakeSystemProxy.h"

#include "switching/GnomeSystemProxy.h"
#include "switching/KdeSystemProxy.h"
#include "switching/NoSystemProxy.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

bool SameName(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

// Desktops whose proxy settings are GNOME's schema.
constexpr std::array<std::string_view, 10> GnomeDesktops = {"GNOME",  "GNOME-Classic", "GNOME-Flashback", "Unity",
                                                            "Budgie", "X-Budgie",      "Cinnamon",        "X-Cinnamon",
                                                            "MATE",   "Pantheon"};

std::optional<SystemProxyKind> KindOfDesktop(std::string_view desktop) {
    if (SameName(desktop, "KDE"))
        return SystemProxyKind::Kde;
    for (const std::string_view gnome : GnomeDesktops)
        if (SameName(desktop, gnome))
            return SystemProxyKind::Gnome;
    return std::nullopt;
}

std::optional<SystemProxyKind> ForcedKind(std::string_view forced) {
    if (SameName(forced, "gnome"))
        return SystemProxyKind::Gnome;
    if (SameName(forced, "kde"))
        return SystemProxyKind::Kde;
    if (SameName(forced, "none"))
        return SystemProxyKind::None;
    return std::nullopt;
}

} // namespace

SystemProxyKind ChooseSystemProxy(std::string_view desktops, std::string_view forced, std::string& warning) {
    warning.clear();
    if (!forced.empty()) {
        if (const auto kind = ForcedKind(forced))
            return *kind;
        warning = "orv: ORV_SYSTEM_PROXY=";
        warning.append(forced).append(" is not gnome, kde or none; the desktop's system proxy is used");
    }
    while (!desktops.empty()) {
        const size_t colon = desktops.find(':');
        if (const auto kind = KindOfDesktop(desktops.substr(0, colon)))
            return *kind;
        desktops.remove_prefix(colon == std::string_view::npos ? desktops.size() : colon + 1);
    }
    return SystemProxyKind::None;
}

std::unique_ptr<platform::SystemProxy> MakeSystemProxy() {
    const char* desktops = std::getenv("XDG_CURRENT_DESKTOP");
    const char* forced = std::getenv("ORV_SYSTEM_PROXY");
    std::string warning;
    const SystemProxyKind kind = ChooseSystemProxy(desktops ? desktops : "", forced ? forced : "", warning);
    if (!warning.empty())
        std::fprintf(stderr, "%s\n", warning.c_str());
    switch (kind) {
    case SystemProxyKind::Gnome:
        return std::make_unique<GnomeSystemProxy>();
    case SystemProxyKind::Kde:
        return std::make_unique<KdeSystemProxy>();
    case SystemProxyKind::None:
        break;
    }
    return std::make_unique<NoSystemProxy>();
}
