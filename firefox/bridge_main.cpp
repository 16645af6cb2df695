#include "firefox/FirefoxBridge.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

int main() {
    // A write to a Firefox that has gone must end the bridge quietly, not kill it with a signal.
    std::signal(SIGPIPE, SIG_IGN);
    const auto ports = FirefoxBridge::PortsFromEnvironment();
    if (!ports) {
        std::fprintf(stderr, "orv-firefox-bridge: ORV_FIREFOX_PORTS is not SEND,LISTEN (two port numbers)\n");
        return 1;
    }
    return FirefoxBridge(*ports).Run(STDIN_FILENO, STDOUT_FILENO);
}
