// Runs the system proxy backend that MakeSystemProxy chooses, once, in a process of its own: GIO keeps
// its settings store and schema list for the life of a process, so each environment a test tries
// needs a fresh one. Exit status 0 when the call returned true, 1 when false, 2 for bad arguments.
#include "switching/DesktopProxyKeeper.h"
#include "switching/MakeSystemProxy.h"

#include <cstdio>
#include <optional>
#include <string_view>

namespace {

// HOST:PORT at argv[first], then optionally the kind (http, socks4, socks5), a user name and a password.
std::optional<platform::ProxyTarget> Target(int argc, char** argv, int first) {
    const std::string_view kind = argc == first + 4 ? argv[first + 1] : "http";
    if ((argc != first + 1 && argc != first + 4) || (kind != "http" && kind != "socks4" && kind != "socks5"))
        return std::nullopt;
    const auto protocol = kind == "socks4"   ? platform::ProxyProtocol::Socks4
                          : kind == "socks5" ? platform::ProxyProtocol::Socks5
                                             : platform::ProxyProtocol::Http;
    if (argc == first + 1)
        return platform::ProxyTarget{argv[first]};
    return platform::ProxyTarget{argv[first], protocol, argv[first + 2], argv[first + 3]};
}

} // namespace

int main(int argc, char** argv) {
    const std::string_view command = argc > 1 ? argv[1] : "";
    if (command == "proxy" && argc > 2)
        if (const auto target = Target(argc, argv, 2))
            return MakeSystemProxy()->SetIEProxyAll(*target) ? 0 : 1;
    // The user's values kept in DATA_FOLDER, then the proxy set, as a switch in the program does.
    if (command == "switch" && argc > 3)
        if (const auto target = Target(argc, argv, 3)) {
            const auto desktop = MakeSystemProxy();
            return DesktopProxyKeeper(*desktop, argv[2]).SetProxy(*target) ? 0 : 1;
        }
    if (command == "direct" && argc == 2)
        return MakeSystemProxy()->SetIEDirectAll() ? 0 : 1;
    if (command == "restore" && argc == 3) {
        const auto desktop = MakeSystemProxy();
        return DesktopProxyKeeper(*desktop, argv[2]).RestoreKept() ? 0 : 1;
    }
    std::fputs("usage: system_proxy_probe proxy TARGET | system_proxy_probe switch DATA_FOLDER/ TARGET | "
               "system_proxy_probe direct | "
               "system_proxy_probe restore DATA_FOLDER/\n"
               "  TARGET: HOST:PORT [http|socks4|socks5 USER PASSWORD]\n",
               stderr);
    return 2;
}
