#pragma once

#include "tests/support/ChildProcess.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// The real proxies and judge of the integration tests: lighttpd on 127.0.0.3 running a CGI script
// that prints its environment, and three tinyproxy instances that leave from 127.0.0.5, one per
// level; besides them a loopback page that plays the delay test's page. Given orv's path, orv's own
// judge server runs beside lighttpd on 127.0.0.3 too. Started by the constructor, stopped by process
// id in the destructor; error says what could not start.
struct RealProxyParts {
    static constexpr std::chrono::milliseconds PageDelay{250};
    static constexpr const char* PageMarker = "Searchy";

    struct Tinyproxy {
        std::string listen;
        uint16_t port = 0;
        ChildProcess process;
        std::string Address() const { return listen + ":" + std::to_string(port); }
    };

    TempDir dir;
    ChildProcess lighttpd;
    uint16_t judgePort = 0;
    ChildProcess orvJudge;
    uint16_t orvJudgePort = 0;
    Tinyproxy level1, level2, level3;
    LoopbackServer pages;
    uint16_t pagePort = 0;
    std::string error;

    // The SOCKS servers and an HTTP proxy that wants a password, started by StartSocks: dante speaks
    // SOCKS4 (not 4a: it resolves no names) and SOCKS5 without authentication on 127.0.0.1 and 127.0.0.2 (its username
    // method checks the system's accounts), microsocks SOCKS5 with SocksUser and SocksPassword; both leave from
    // 127.0.0.5, as the tinyproxy instances do, so that the judge sees the proxy's address, not the PC's.
    static constexpr const char* SocksUser = "tarvelo";
    static constexpr const char* SocksPassword = "s3cret-pw";
    ChildProcess dante;
    uint16_t dantePort = 0;
    ChildProcess microsocks;
    uint16_t microsocksPort = 0;
    Tinyproxy basicAuth;

    explicit RealProxyParts(const std::string& orv = {});
    // False with error set when one of them could not be started.
    bool StartSocks();

    std::string JudgeUrl() const { return "http://127.0.0.3:" + std::to_string(judgePort) + "/azenv.sh"; }
    std::string OrvJudgeUrl() const { return "http://127.0.0.3:" + std::to_string(orvJudgePort) + "/"; }
    // The delay test's page host: the tester asks the proxies for it.
    std::string PageHost() const { return "127.0.0.1:" + std::to_string(pagePort); }

private:
    bool StartJudge();
    bool StartOrvJudge(const std::string& orv);
    bool StartProxy(Tinyproxy& proxy, const std::string& listen, const std::string& extra);
    bool Launch(ChildProcess& process, const std::vector<std::string>& argv, const std::string& name,
                const std::string& address, uint16_t port);
};
