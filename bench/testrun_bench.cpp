// A whole test run over 2,000 scripted loopback proxies, served by a helper process: 40% answer
// after 50-300 ms, 30% refuse, 20% accept and stay silent, 10% answer after 2 s. MaxThread 100,
// Timeout 2. Prints the run's wall and processor time and peak memory beside the wall time that the
// dispatch rule (one-second poll, at most MaxThread workers alive) needs for the same service
// times. With bench/peer installed, the same proxies are then checked by the peer checker.
//
//   testrun_bench [PROXIES] [PEER_SCRIPT]
#include "app/LogStore.h"
#include "app/NullFrameView.h"
#include "bench/ScriptedProxies.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/StreamMessageBox.h"
#include "proxy/ProxyList.h"
#include "settings/AppSettings.h"
#include "tester/TestContext.h"
#include "tester/TestRun.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using namespace bench;
using SteadyClock = std::chrono::steady_clock;

// ---- What each worker took: it reads the clock first thing and has its row redrawn last. ----

SteadyClock::time_point s_runStart;
thread_local double t_workerStart = -1;

double SinceStart() {
    return std::chrono::duration<double>(SteadyClock::now() - s_runStart).count();
}

class TimingClock : public platform::SystemClock {
public:
    int32_t LocalTimeOfDayMs() override {
        if (t_workerStart < 0)
            t_workerStart = SinceStart();
        return SystemClock::LocalTimeOfDayMs();
    }
};

class TimingView : public NullFrameView {
public:
    explicit TimingView(size_t count) : m_start(count), m_end(count) {}
    void RedrawRows(int32_t first, int32_t) override {
        m_end[static_cast<size_t>(first)] = SinceStart();
        m_start[static_cast<size_t>(first)] = t_workerStart;
    }
    // Written by each worker at its own row only; read once the run has ended.
    std::vector<double> m_start;
    std::vector<double> m_end;
};

// ---- The schedule of the dispatch rule for given service times. ----

// Workers are started back to back, each start taking startCost; the first at firstStart.
double ScheduleSeconds(const std::vector<double>& service, int pool, double firstStart, double startCost) {
    double now = firstStart;
    std::vector<double> alive; // end times of the workers not reaped yet
    const auto reap = [&] { std::erase_if(alive, [&](double end) { return end <= now; }); };
    size_t next = 0;
    while (next < service.size()) {
        if (static_cast<int>(alive.size()) < pool) {
            alive.push_back(now + service[next++]);
            now += startCost;
        } else {
            now += 1.0;
            reap();
        }
    }
    for (reap(); !alive.empty(); reap())
        now += 1.0;
    return now;
}

const char* LevelName(int32_t level) {
    switch (level) {
    case 1:
        return "elite";
    case 2:
        return "anonymous";
    case 3:
        return "transparent";
    default:
        return "fail";
    }
}

} // namespace

int main(int argc, char** argv) {
    const size_t count = argc > 1 ? std::stoul(argv[1]) : 2000;
    const std::string peerScript = argc > 2 ? argv[2] : "";
    const ScriptedProxies server(count);
    if (!server.Started()) {
        std::cerr << "testrun_bench: the helper process could not open its sockets\n";
        return 1;
    }
    const std::vector<Scripted>& proxies = server.Proxies();

    AppSettings settings;
    settings.MaxThread = MaxThread;
    settings.Timeout = TimeoutSeconds;
    settings.TestDelay = 1;
    settings.TestAnon = 1;
    settings.ProxyJudge = server.JudgeUrl();
    ProxyList list;
    for (const Scripted& p : proxies) {
        auto item = std::make_unique<ProxyItem>();
        item->SetAddress("127.0.0.1:" + std::to_string(p.port));
        list.Append(std::move(item));
    }
    list.RenumberList();
    TimingView window(count);
    TimingClock clock;
    TestContext context(settings, list, window, clock);
    context.TestPageHost = PageHost;
    context.TestPageMarker = PageMarker;
    LogStore log;
    platform::StreamMessageBox messages(std::cerr);
    std::atomic<uint8_t> testing = 0;
    TestRun run(context, log, messages, testing, {});
    for (size_t i = 0; i < list.GetSize(); ++i)
        run.TestSet.push_back(list[i]);

    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = SteadyClock::now();
    s_runStart = start;
    run.StartTest();
    while (!(run.WaitUntilIdle(1h) && testing == 0)) {
    }
    const double wall = std::chrono::duration<double>(SteadyClock::now() - start).count();
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    if (run.LastOutcome() != TestRun::Outcome::Finished) {
        std::cerr << "testrun_bench: the run did not finish:\n" << log.Text();
        return 1;
    }

    // Service times as the run met them: each worker's Run, from its first reading of the clock to
    // the redraw of its row.
    std::vector<double> service;
    for (size_t i = 0; i < count; ++i)
        service.push_back(window.m_end[i] - window.m_start[i]);
    const LevelCounts levels = CountLevels(list);
    // The controller's own cost of a start: the median gap between starts of one batch (those it
    // makes back to back after a poll). The polls drift by it, as "sleep, then reap" does.
    std::vector<double> starts(window.m_start.begin(), window.m_start.end());
    std::sort(starts.begin(), starts.end());
    std::vector<double> gaps;
    for (size_t i = 1; i < starts.size(); ++i)
        if (starts[i] - starts[i - 1] < 0.5)
            gaps.push_back(starts[i] - starts[i - 1]);
    std::nth_element(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2), gaps.end());
    const double startCost = gaps.empty() ? 0 : gaps[gaps.size() / 2];
    const double firstStart = starts.empty() ? 0 : starts.front();
    const double schedule = ScheduleSeconds(service, MaxThread, firstStart, startCost);
    const double ideal = ScheduleSeconds(service, MaxThread, 0, 0);
    const double cpu = CpuSeconds(after) - CpuSeconds(before);

    std::printf("proxies %zu, MaxThread %d, Timeout %ds\n", count, MaxThread, TimeoutSeconds);
    std::printf("results: level1 %d, level2 %d, level3 %d, bad %d\n", levels.count[1], levels.count[2], levels.count[3],
                levels.count[4]);
    std::printf("wall time               %8.2f s\n", wall);
    const double lastEnd = count == 0 ? 0 : *std::max_element(window.m_end.begin(), window.m_end.end());
    std::printf("last row redrawn at     %8.2f s\n", lastEnd);
    std::printf("schedule (simulated)    %8.2f s (first start at %.3f s, %.3f ms a start)\n", schedule, firstStart,
                startCost * 1000);
    std::printf("wall / schedule         %8.3f (target within 5%%)\n", wall / schedule);
    std::printf("schedule, free starts   %8.2f s (wall / it %.3f)\n", ideal, wall / ideal);
    std::printf("CPU time (tester)       %8.3f s = %.3f ms per proxy (target <= 2)\n", cpu, cpu * 1000 / count);
    std::printf("peak memory (tester)    %8.1f MB\n", static_cast<double>(after.ru_maxrss) / 1024);

    if (!peerScript.empty()) {
        const std::string file = "/tmp/testrun_bench_proxies_" + std::to_string(getpid()) + ".txt";
        std::ofstream(file) << server.AddressLines();
        const std::string command = "node '" + peerScript + "' '" + file + "' 'http://" + server.JudgeHost() +
                                    "/all.json' 100 " + std::to_string(TimeoutSeconds * 1000);
        const auto peerStart = SteadyClock::now();
        FILE* peer = popen(command.c_str(), "r");
        std::map<uint16_t, std::string> peerLevels;
        double peerWall = 0;
        if (peer) {
            char line[256];
            while (std::fgets(line, sizeof line, peer)) {
                char word[64] = {};
                unsigned port = 0;
                double ms = 0;
                if (std::sscanf(line, "wall_ms %lf", &ms) == 1)
                    peerWall = ms / 1000;
                else if (std::sscanf(line, "127.0.0.1:%u %63s", &port, word) == 2)
                    peerLevels[static_cast<uint16_t>(port)] = word;
            }
            pclose(peer);
        }
        std::remove(file.c_str());
        const double peerProcess = std::chrono::duration<double>(SteadyClock::now() - peerStart).count();
        if (peerLevels.size() != count) {
            std::printf("peer: gave %zu results of %zu; see its output above\n", peerLevels.size(), count);
        } else {
            const char* names[] = {"elite", "anonymous", "transparent", "fail"};
            std::map<std::pair<std::string, std::string>, int> table;
            int alike = 0;
            for (size_t i = 0; i < count; ++i) {
                const std::string mine = LevelName(list[i]->m_anonymity);
                const std::string theirs = peerLevels[proxies[i].port];
                ++table[{mine, theirs}];
                alike += mine == theirs;
            }
            std::printf("peer wall time          %8.2f s (checks only; %.2f s with node's start)\n", peerWall,
                        peerProcess);
            std::printf("classified alike        %5d of %zu\n", alike, count);
            std::printf("%-13s", "ours \\ peer");
            for (const char* name : names)
                std::printf("%12s", name);
            std::printf("\n");
            for (const char* mine : names) {
                std::printf("%-13s", mine);
                for (const char* theirs : names)
                    std::printf("%12d", table[{mine, theirs}]);
                std::printf("\n");
            }
        }
    }
    return 0;
}
