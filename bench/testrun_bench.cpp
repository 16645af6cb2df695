// A whole test run over scripted loopback proxies, served by a helper process: 40% answer after
// 50-300 ms, 30% refuse, 20% accept and stay silent, 10% answer after 2 s. Timeout 2. Prints the
// run's wall and processor time and peak memory beside the wall time that the dispatch rule
// (one-second poll, at most MaxThread workers alive) needs for the same service times, and beside a
// pool that starts the next proxy as soon as a worker ends. With bench/peer installed, the same
// proxies are then checked by the peer checker at the same concurrency. Peak memory is the
// process's own: one size a process (testrun.sh does so).
//
//   testrun_bench [PROXIES [THREADS [PEER_SCRIPT]]]
//   testrun_bench --stop PROXIES THREADS
//
// --stop: every proxy stays silent (Timeout 30). Once THREADS workers wait on them, times Stop until
// the run is idle; then, on a second run, the window's close (ShutDown with its 1.5 s limit).
#include "app/LogStore.h"
#include "app/NullFrameView.h"
#include "app/RunPrompts.h"
#include "bench/ScriptedProxies.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/OpenFileLimit.h"
#include "platform/StreamMessageBox.h"
#include "proxy/ProxyList.h"
#include "settings/AppSettings.h"
#include "tester/TestContext.h"
#include "tester/TestRun.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <queue>
#include <string>
#include <thread>
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

double Since(SteadyClock::time_point start) {
    return std::chrono::duration<double>(SteadyClock::now() - start).count();
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

// The same service times through a pool that starts the next proxy the moment a worker ends, as a
// checker without the poll does.
double PoolSeconds(const std::vector<double>& service, int pool) {
    std::priority_queue<double, std::vector<double>, std::greater<double>> freeAt;
    for (int i = 0; i < pool; ++i)
        freeAt.push(0);
    double last = 0;
    for (double took : service) {
        const double end = freeAt.top() + took;
        freeAt.pop();
        freeAt.push(end);
        last = std::max(last, end);
    }
    return last;
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

// A list of the scripted proxies, its settings and a test run over it.
struct Bench {
    Bench(const ScriptedProxies& server, int threads, int timeout)
        : window(server.Proxies().size()), context(settings, list, window, clock) {
        settings.MaxThread = threads;
        settings.Timeout = timeout;
        settings.TestDelay = 1;
        settings.TestAnon = 1;
        settings.ProxyJudge = server.JudgeUrl();
        for (const Scripted& p : server.Proxies()) {
            auto item = std::make_unique<ProxyItem>();
            item->SetAddress("127.0.0.1:" + std::to_string(p.port));
            list.Append(std::move(item));
        }
        list.RenumberList();
        context.TestPageHost = PageHost;
        context.TestPageMarker = PageMarker;
    }
    void Start() {
        for (size_t i = 0; i < list.GetSize(); ++i)
            run.TestSet.push_back(list[i]);
        s_runStart = SteadyClock::now();
        run.StartTest();
    }
    void WaitEnded() {
        while (!(run.WaitUntilIdle(1h) && testing == RunState::Idle)) {
        }
    }
    static TestRun::Hooks Prompts(platform::MessageBox& box) {
        TestRun::Hooks hooks;
        ShowRunPromptsIn(box, hooks);
        return hooks;
    }

    AppSettings settings;
    ProxyList list;
    TimingView window;
    TimingClock clock;
    TestContext context;
    LogStore log;
    platform::StreamMessageBox messages{std::cerr};
    std::atomic<RunState> testing = RunState::Idle;
    TestRun run{context, log, testing, Prompts(messages)};
};

void PrintPeer(const ScriptedProxies& server, const ProxyList& list, const std::string& peerScript, int threads,
               const std::vector<double>& service) {
    const std::vector<Scripted>& proxies = server.Proxies();
    const size_t count = proxies.size();
    const std::string file = "/tmp/testrun_bench_proxies_" + std::to_string(getpid()) + ".txt";
    std::ofstream(file) << server.AddressLines();
    const std::string command = "node '" + peerScript + "' '" + file + "' 'http://" + server.JudgeHost() +
                                "/all.json' " + std::to_string(threads) + " " + std::to_string(TimeoutSeconds * 1000);
    rusage before{};
    getrusage(RUSAGE_CHILDREN, &before);
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
    const double peerProcess = Since(peerStart);
    // The helper is still running: the children waited for are the shell and node.
    rusage after{};
    getrusage(RUSAGE_CHILDREN, &after);
    const double cpuMs = (CpuSeconds(after) - CpuSeconds(before)) * 1000 / static_cast<double>(count);
    const double peakMb = static_cast<double>(after.ru_maxrss) / 1024;
    if (peerLevels.size() != count) {
        std::printf("peer: gave %zu results of %zu; see its output above\n", peerLevels.size(), count);
        return;
    }
    const char* names[] = {"elite", "anonymous", "transparent", "fail"};
    std::map<std::pair<std::string, std::string>, int> table;
    int alike = 0;
    for (size_t i = 0; i < count; ++i) {
        const std::string mine = LevelName(list[i]->m_anonymity);
        const std::string theirs = peerLevels[proxies[i].port];
        ++table[{mine, theirs}];
        alike += mine == theirs;
    }
    const double pool = PoolSeconds(service, threads);
    std::printf("peer wall time          %8.2f s (checks only; %.2f s with node's start)\n", peerWall, peerProcess);
    std::printf("  our service times through a pool without the poll: %.2f s (peer / it %.3f)\n", pool,
                peerWall / pool);
    std::printf("peer CPU, peak memory   %8.3f ms per proxy, %.1f MB (node)\n", cpuMs, peakMb);
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
    std::printf("row peer %d %.2f %.3f %.1f %.3f %d\n", threads, peerWall, cpuMs, peakMb, peerWall / pool, alike);
}

int Measure(size_t count, int threads, const std::string& peerScript) {
    const ScriptedProxies server(count);
    if (!server.Started()) {
        std::cerr << "testrun_bench: the helper process could not open its sockets\n";
        return 1;
    }
    Bench bench(server, threads, TimeoutSeconds);
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = SteadyClock::now();
    bench.Start();
    bench.WaitEnded();
    const double wall = Since(start);
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    if (bench.run.LastOutcome() != TestRun::Outcome::Finished) {
        std::cerr << "testrun_bench: the run did not finish:\n" << bench.log.Text();
        return 1;
    }
    const TimingView& window = bench.window;

    // Service times as the run met them: each worker's Run, from its first reading of the clock to
    // the redraw of its row.
    std::vector<double> service;
    for (size_t i = 0; i < count; ++i)
        service.push_back(window.m_end[i] - window.m_start[i]);
    const LevelCounts levels = CountLevels(bench.list);
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
    // How much later than the controller's back-to-back starts the workers of a batch first ran:
    // with thousands started at once on few cores, a new thread waits for its turn.
    double lateMost = 0;
    for (size_t i = 0, first = 0; i < starts.size(); ++i) {
        if (i > 0 && starts[i] - starts[i - 1] >= 0.5)
            first = i;
        lateMost = std::max(lateMost, starts[i] - starts[first] - static_cast<double>(i - first) * startCost);
    }
    const double schedule = ScheduleSeconds(service, threads, firstStart, startCost);
    const double ideal = ScheduleSeconds(service, threads, 0, 0);
    const double cpu = CpuSeconds(after) - CpuSeconds(before);
    const double peakMb = static_cast<double>(after.ru_maxrss) / 1024;

    std::printf("proxies %zu, MaxThread %d, Timeout %ds\n", count, threads, TimeoutSeconds);
    std::printf("results: level1 %d, level2 %d, level3 %d, bad %d\n", levels.count[1], levels.count[2], levels.count[3],
                levels.count[4]);
    std::printf("wall time               %8.2f s\n", wall);
    const double lastEnd = count == 0 ? 0 : *std::max_element(window.m_end.begin(), window.m_end.end());
    std::printf("last row redrawn at     %8.2f s\n", lastEnd);
    std::printf("schedule (simulated)    %8.2f s (first start at %.3f s, %.3f ms a start)\n", schedule, firstStart,
                startCost * 1000);
    std::printf("wall / schedule         %8.3f (target within 5%%)\n", wall / schedule);
    std::printf("schedule, free starts   %8.2f s (wall / it %.3f)\n", ideal, wall / ideal);
    // A silent proxy's worker ends just after Timeout, a whole number of polls: whether a poll finds
    // it ended hinges on milliseconds of thread start-up and poll drift that the simulation leaves out.
    const auto later = [&](double delay) {
        std::vector<double> slower = service;
        for (double& took : slower)
            took += delay;
        return ScheduleSeconds(slower, threads, firstStart, startCost);
    };
    const auto onEdge = std::count_if(service.begin(), service.end(), [](double took) {
        const double past = took - static_cast<double>(static_cast<long>(took));
        return took >= 1 && past < 0.01;
    });
    std::printf("workers on the edge     %5ld ended < 10 ms after a whole second\n", static_cast<long>(onEdge));
    std::printf("schedule, 5 ms later    %8.2f s (wall / it %.3f)\n", later(0.005), wall / later(0.005));
    std::printf("latest first run        %8.3f s after its start in a batch; schedule that much later %.2f s "
                "(wall / it %.3f)\n",
                lateMost, later(lateMost), wall / later(lateMost));
    std::printf("CPU time (tester)       %8.3f s = %.3f ms per proxy (target <= 1)\n", cpu, cpu * 1000 / count);
    std::printf("peak memory (tester)    %8.1f MB\n", peakMb);
    std::printf("row ours %d %.2f %.3f %.1f %.3f\n", threads, wall, cpu * 1000 / count, peakMb, wall / schedule);
    if (!peerScript.empty())
        PrintPeer(server, bench.list, peerScript, threads, service);
    return 0;
}

// Waits until the run has threads workers and every one of them has a connection in progress.
bool WaitPoolBusy(Bench& bench, int threads) {
    const auto start = SteadyClock::now();
    while (bench.context.LiveWorkerCount < threads) {
        if (Since(start) > 60)
            return false;
        std::this_thread::sleep_for(10ms);
    }
    std::this_thread::sleep_for(2s); // the last ones started connect to their silent proxy
    return true;
}

int MeasureStop(size_t count, int threads) {
    std::vector<Scripted> script = MakeScript(count);
    for (Scripted& p : script)
        p.kind = Scripted::Silent;
    const ScriptedProxies server(std::move(script));
    if (!server.Started()) {
        std::cerr << "testrun_bench: the helper process could not open its sockets\n";
        return 1;
    }
    std::printf("proxies %zu, every one silent, MaxThread %d, Timeout 30s\n", count, threads);
    {
        Bench bench(server, threads, 30);
        const auto started = SteadyClock::now();
        bench.Start();
        if (!WaitPoolBusy(bench, threads)) {
            std::cerr << "testrun_bench: the pool did not fill\n" << bench.log.Text();
            return 1;
        }
        const auto stop = SteadyClock::now();
        std::printf("pool full                %7.3f s after the start\n", Since(started) - 2);
        bench.run.StopTest();
        bench.WaitEnded();
        std::printf("Stop until idle          %7.3f s (%d busy workers)\n", Since(stop), threads);
    }
    {
        Bench bench(server, threads, 30);
        bench.Start();
        if (!WaitPoolBusy(bench, threads))
            return 1;
        const auto close = SteadyClock::now();
        const bool ended = bench.run.ShutDown(1500ms);
        std::printf("ShutDown(1.5 s)          %7.3f s, %s\n", Since(close),
                    ended ? "every thread ended" : "threads left running");
        bench.WaitEnded();
        std::printf("  every thread ended     %7.3f s after the close\n", Since(close));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // Before the helper is forked and the contexts read it: thousands of sockets on each side.
    platform::RaiseOpenFileLimit();
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "--stop")
        return args.size() == 3 ? MeasureStop(std::stoul(args[1]), std::stoi(args[2])) : 2;
    const size_t count = args.size() > 0 ? std::stoul(args[0]) : 2000;
    const int threads = args.size() > 1 ? std::stoi(args[1]) : MaxThread;
    return Measure(count, threads, args.size() > 2 ? args[2] : "");
}
