// Runs the system proxy backend that MakeSystemProxy chooses, once, in a process of its own: GIO keeps
// its settings store and schema list for the life of a process, so each environment a test tries
// needs a fresh one. Exit status 0 when the call returned true, 1 when false, 2 for bad arguments.
#include "switching/DesktopProxyKeeper.h"
#include "switching/MakeSystemProxy.h"

#include <cstdio>
#include <optional>
#include <string_view>

namespace {

// HOST:PORT, then optionally the kind (http, socks4, socks5) and then a user name and a password.
std::optional<platform::ProxyTarget> Target(int argc, char** argv) {
    if (argc != 3 && argc != 4 && argc != 6)
        return std::nullopt;
    platform::ProxyTarget target{argv[2]};
    const std::string_view kind = argc > 3 ? argv[3] : "http";
    if (kind == "socks4")
        target.m_protocol = platform::ProxyProtocol::Socks4;
    else if (kind == "socks5")
        target.m_protocol = platform::ProxyProtocol::Socks5;
    else if (kind != "http")
        return std::nullopt;
    if (argc == 6) {
        target.m_user = argv[4];
        target.m_password = argv[5];
    }
    return target;
}

} // namespace

int main(int argc, char** argv) {
    const std::string_view command = argc > 1 ? argv[1] : "";
    if (command == "proxy")
        if (const auto target = Target(argc, argv))
            return MakeSystemProxy()->SetIEProxyAll(*target) ? 0 : 1;
    if (command == "direct" && argc == 2)
        return MakeSystemProxy()->SetIEDirectAll() ? 0 : 1;
    if (command == "restore" && argc == 3) {
        const auto desktop = MakeSystemProxy();
        return DesktopProxyKeeper(*desktop, argv[2]).RestoreKept() ? 0 : 1;
    }
    std::fputs("usage: system_proxy_probe proxy HOST:PORT [http|socks4|socks5 [USER PASSWORD]] | "
               "system_proxy_probe direct | "
               "system_proxy_probe restore DATA_FOLDER/\n",
               stderr);
    return 2;
}
