#include "switching/KdeSystemProxy.h"

#include "settings/AtomicFile.h"
#include "switching/KdeConfigText.h"
#include "switching/ProxyServer.h"
#include "switching/SessionBus.h"

#include <chrono>
#include <climits>
#include <cstdlib>
#include <functional>
#include <optional>
#include <system_error>

namespace {

constexpr std::string_view Group = "Proxy Settings";
constexpr std::string_view LocalHosts = "localhost,127.0.0.0/8,::1";
constexpr std::chrono::seconds BusLimit{3};

// Where the file really lies: a kioslaverc that links into the user's own dotfiles stays a link.
std::string Target(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

// $XDG_CONFIG_HOME/kioslaverc, with ~/.config for the folder when that is not set.
std::optional<std::string> FilePath() {
    // A relative XDG_CONFIG_HOME is invalid and ignored, as KDE does.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config == '/')
        return std::string(config) + "/kioslaverc";
    const char* home = std::getenv("HOME");
    if (!home || *home != '/')
        return std::nullopt;
    return std::string(home) + "/.config/kioslaverc";
}

bool Rewrite(const std::function<void(KdeConfigText&)>& edit) {
    const auto path = FilePath();
    if (!path)
        return false;
    const std::string target = Target(*path);
    std::optional<std::string> old;
    try {
        old = ReadWholeFile(target);
    } catch (const std::system_error&) {
        // Unreadable: rewriting it from nothing would lose the user's other settings.
        return false;
    }
    KdeConfigText text(old.value_or(""));
    edit(text);
    if (!ReplaceFileAtomically(target, text.Text()))
        return false;
    SessionBus::EmitSignal("/KIO/Scheduler", "org.kde.KIO.Scheduler", "reparseSlaveConfiguration", "", BusLimit);
    return true;
}

} // namespace

bool KdeSystemProxy::SetIEProxyAll(const std::string& server) {
    const auto parsed = ParseProxyServer(server);
    if (!parsed)
        return false;
    const std::string proxy = "http://" + parsed->m_host + " " + std::to_string(parsed->m_port);
    return Rewrite([&](KdeConfigText& text) {
        text.Set(Group, "ProxyType", "1");
        text.Set(Group, "httpProxy", proxy);
        text.Set(Group, "httpsProxy", proxy);
        text.Set(Group, "ftpProxy", proxy);
        text.Set(Group, "NoProxyFor", LocalHosts);
        // Reversed, NoProxyFor would name the only hosts that go through the proxy.
        text.Replace(Group, "ReversedException", "false");
    });
}

bool KdeSystemProxy::SetIEDirectAll() {
    return Rewrite([](KdeConfigText& text) { text.Set(Group, "ProxyType", "0"); });
}
