#pragma once

// The scripted loopback proxies of the test-run benchmarks, served with their judge by forked helper
// processes (one for each ShardSize proxies, so that none needs more descriptors than the usual hard
// limit). The usual mix: 40% answer after 50-300 ms, 30% refuse, 20% accept and stay silent, 10%
// answer after 2 s. The mostly dead mix, as public lists are: 20% answer after 50-300 ms, 40% refuse,
// 40% stay silent.

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

// Proxies a helper process serves; its listeners and thousands of connections fit in 20,000 descriptors.
constexpr size_t ShardSize = 12000;

struct Scripted {
    enum Kind { Answer, Refuse, Silent } kind = Answer;
    int delayMs = 0;
    int level = 1;    // of an answering proxy: 1 adds nothing, 2 adds Via, 3 names the client
    std::string host; // a loopback address of its own block, so that ports outside the ephemeral range suffice
    uint16_t port = 0;

    std::string Address() const { return host + ":" + std::to_string(port); }
};

enum class Mix { Usual, MostlyDead };
// "usual" or "dead"; false for any other name.
bool ParseMix(const std::string& name, Mix& mix);

// The same script for the same count and mix, every time.
std::vector<Scripted> MakeScript(size_t count, Mix mix = Mix::Usual);

// The helper process: it serves every proxy of the script and the judge until this object goes.
class ScriptedProxies {
public:
    explicit ScriptedProxies(size_t count, Mix mix = Mix::Usual);
    explicit ScriptedProxies(std::vector<Scripted> script);
    ~ScriptedProxies();
    ScriptedProxies(const ScriptedProxies&) = delete;
    ScriptedProxies& operator=(const ScriptedProxies&) = delete;

    // False when a helper could not open its sockets.
    bool Started() const { return !m_servers.empty(); }
    // Ends the helpers; the processor time they took in all, in seconds.
    double Stop();
    // The ports are filled in.
    const std::vector<Scripted>& Proxies() const { return m_proxies; }
    // "127.0.0.3:PORT"
    std::string JudgeHost() const { return "127.0.0.3:" + std::to_string(m_judgePort); }
    std::string JudgeUrl() const { return "http://" + JudgeHost() + "/azenv.php"; }
    // One "ADDRESS:PORT" line a proxy.
    std::string AddressLines() const;

private:
    std::vector<Scripted> m_proxies;
    uint16_t m_judgePort = 0;
    int m_keepAlive = -1;
    std::vector<pid_t> m_servers;
};

// User and system time of the process.
double CpuSeconds(const rusage& usage);

// The records of the list by level: [1..3] the levels, [4] every other result.
struct LevelCounts {
    int32_t count[5] = {};
};
LevelCounts CountLevels(const ProxyList& list);

} // namespace bench
