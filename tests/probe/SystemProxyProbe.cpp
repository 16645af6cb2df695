// Runs the system proxy backend that MakeSystemProxy chooses, once, in a process of its own: GIO keeps
// its settings store and schema list for the life of a process, so each environment a test tries
// needs a fresh one. Exit status 0 when the call returned true, 1 when false, 2 for bad arguments.
#include "switching/DesktopProxyKeeper.h"
#include "switching/MakeSystemProxy.h"

#include <cstdio>
#include <string_view>

int main(int argc, char** argv) {
    const std::string_view command = argc > 1 ? argv[1] : "";
    if (command == "proxy" && argc == 3)
        return MakeSystemProxy()->SetIEProxyAll(argv[2]) ? 0 : 1;
    if (command == "direct" && argc == 2)
        return MakeSystemProxy()->SetIEDirectAll() ? 0 : 1;
    if (command == "restore" && argc == 3) {
        const auto desktop = MakeSystemProxy();
        return DesktopProxyKeeper(*desktop, argv[2]).RestoreKept() ? 0 : 1;
    }
    std::fputs("usage: system_proxy_probe proxy HOST:PORT | system_proxy_probe direct | "
               "system_proxy_probe restore DATA_FOLDER/\n",
               stderr);
    return 2;
}
