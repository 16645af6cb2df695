#include "switching/KdeSystemProxy.h"

#include "settings/AtomicFile.h"
#include "switching/KdeConfigText.h"
#include "switching/ProxyServer.h"
#include "switching/SessionBus.h"

#include <array>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <functional>
#include <optional>
#include <sstream>
#include <system_error>

namespace {

constexpr std::string_view Group = "Proxy Settings";
// The lines a switch to our proxy may change: the user's lines of these keys are kept and put back.
constexpr std::array<std::string_view, 7> KeptKeys = {"ProxyType",  "httpProxy",  "httpsProxy",       "ftpProxy",
                                                      "socksProxy", "NoProxyFor", "ReversedException"};
constexpr std::chrono::seconds BusLimit{3};

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);)
        parts.push_back(part);
    return parts;
}

// The user's exceptions with ours added. A reversed list names the only hosts that go through a proxy:
// those are no exceptions, and ours stand alone until the user's lines are put back.
std::string NoProxyFor(const KdeConfigText& text) {
    std::vector<std::string> hosts;
    if (text.Value(Group, "ReversedException") != "true")
        for (const std::string& host : Split(text.Value(Group, "NoProxyFor").value_or(""), ','))
            if (const size_t first = host.find_first_not_of(' '); first != std::string::npos)
                hosts.push_back(host.substr(first, host.find_last_not_of(' ') - first + 1));
    std::string joined;
    for (const std::string& host : WithLocalHosts(std::move(hosts)))
        joined.append(joined.empty() ? "" : ",").append(host);
    return joined;
}

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

// The file's text, empty when there is none yet; nothing when it cannot be read.
std::optional<KdeConfigText> ReadText(const std::string& target) {
    try {
        return KdeConfigText(ReadWholeFile(target).value_or(""));
    } catch (const std::system_error&) {
        // Unreadable: rewriting it from nothing would lose the user's other settings.
        return std::nullopt;
    }
}

// Edits the file; an edit that returns false leaves it as it was.
bool Rewrite(const std::function<bool(KdeConfigText&)>& edit) {
    const auto path = FilePath();
    if (!path)
        return false;
    const std::string target = Target(*path);
    std::optional<KdeConfigText> text = ReadText(target);
    if (!text || !edit(*text))
        return false;
    if (!ReplaceFileAtomically(target, text->Text()))
        return false;
    SessionBus::EmitSignal("/KIO/Scheduler", "org.kde.KIO.Scheduler", "reparseSlaveConfiguration", "", BusLimit);
    return true;
}

} // namespace

bool KdeSystemProxy::SetIEProxyAll(const platform::ProxyTarget& target) {
    const auto parsed = ParseProxyServer(target.m_server);
    if (!parsed)
        return false;
    // KDE asks for a proxy's credentials itself, so none are written.
    const bool socks = target.m_protocol != platform::ProxyProtocol::Http;
    const std::string where = parsed->m_host + " " + std::to_string(parsed->m_port);
    const std::string proxy = socks ? "" : "http://" + where;
    return Rewrite([&](KdeConfigText& text) {
        const std::string exceptions = NoProxyFor(text);
        text.Set(Group, "ProxyType", "1");
        text.Set(Group, "httpProxy", proxy);
        text.Set(Group, "httpsProxy", proxy);
        text.Set(Group, "ftpProxy", proxy);
        // An HTTP proxy leaves the user's socks line alone, as KDE's programs prefer the http ones.
        if (socks)
            text.Set(Group, "socksProxy", "socks://" + where);
        text.Set(Group, "NoProxyFor", exceptions);
        // Reversed, NoProxyFor would name the only hosts that go through the proxy.
        text.Replace(Group, "ReversedException", "false");
        return true;
    });
}

bool KdeSystemProxy::SetIEDirectAll() {
    return Rewrite([](KdeConfigText& text) {
        text.Set(Group, "ProxyType", "0");
        return true;
    });
}

std::optional<platform::ProxyValues> KdeSystemProxy::ReadUserValues() {
    const auto path = FilePath();
    const std::optional<KdeConfigText> text = path ? ReadText(Target(*path)) : std::nullopt;
    if (!text)
        return std::nullopt;
    platform::ProxyValues values;
    for (const std::string_view key : KeptKeys) {
        std::string lines;
        for (const std::string& line : text->Lines(Group, key))
            lines.append(lines.empty() ? "" : "\n").append(line);
        if (!lines.empty())
            values.emplace(key, lines);
    }
    return values;
}

bool KdeSystemProxy::RestoreUserValues(const platform::ProxyValues& values) {
    return Rewrite([&](KdeConfigText& text) {
        KdeConfigText restored = text;
        for (const std::string_view key : KeptKeys) {
            const auto value = values.find(std::string(key));
            if (!restored.SetLines(Group, key,
                                   value == values.end() ? std::vector<std::string>{} : Split(value->second, '\n')))
                return false;
        }
        text = std::move(restored);
        return true;
    });
}
