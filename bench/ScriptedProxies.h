#pragma once

// The scripted loopback proxies of the test-run benchmarks, served with their judge by a forked helper
// process: 40% answer after 50-300 ms, 30% refuse, 20% accept and stay silent, 10% answer after 2 s.

#include <sys/resource.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

class ProxyList;

namespace bench {

constexpr int MaxThread = 100;
constexpr int TimeoutSeconds = 2;
// The delay test's page, as the proxies serve it.
constexpr const char* PageHost = "www.search.test";
constexpr const char* PageMarker = "Searchy";

struct Scripted {
    enum Kind { Answer, Refuse, Silent } kind = Answer;
    int delayMs = 0;
    int level = 1; // of an answering proxy: 1 adds nothing, 2 adds Via, 3 names the client
    uint16_t port = 0;
};

// The same script for the same count, every time.
std::vector<Scripted> MakeScript(size_t count);

// The helper process: it serves every proxy of the script and the judge until this object goes.
class ScriptedProxies {
public:
    explicit ScriptedProxies(size_t count);
    explicit ScriptedProxies(std::vector<Scripted> script);
    ~ScriptedProxies();
    ScriptedProxies(const ScriptedProxies&) = delete;
    ScriptedProxies& operator=(const ScriptedProxies&) = delete;

    // False when the helper could not open its sockets.
    bool Started() const { return m_server > 0; }
    // The ports are filled in.
    const std::vector<Scripted>& Proxies() const { return m_proxies; }
    // "127.0.0.3:PORT"
    std::string JudgeHost() const { return "127.0.0.3:" + std::to_string(m_judgePort); }
    std::string JudgeUrl() const { return "http://" + JudgeHost() + "/azenv.php"; }
    // One "127.0.0.1:PORT" line a proxy.
    std::string AddressLines() const;

private:
    std::vector<Scripted> m_proxies;
    uint16_t m_judgePort = 0;
    int m_keepAlive = -1;
    pid_t m_server = -1;
};

// User and system time of the process.
double CpuSeconds(const rusage& usage);

// The records of the list by level: [1..3] the levels, [4] every other result.
struct LevelCounts {
    int32_t count[5] = {};
};
LevelCounts CountLevels(const ProxyList& list);

} // namespace bench
