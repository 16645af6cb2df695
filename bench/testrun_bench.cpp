// A whole test run over scripted loopback proxies, served by helper processes, in one of the mixes of
// ScriptedProxies.h (--mix usual, the default, or dead). Timeout 2. Prints the run's wall and
// processor time and peak memory beside the wall time that the old dispatch rule (one-second poll, at
// most MaxThread workers alive) needs for the same service times, and beside a pool that starts the
// next proxy as soon as a worker ends (the run's own rule), with and without the judge request that
// follows the delay page. With bench/peer installed, the same proxies are then checked by the peer
// checker at the same concurrency. Peak memory is the process's own: one size a process (testrun.sh
// does so).
//
//   testrun_bench [--mix usual|dead] [PROXIES [THREADS [PEER_SCRIPT]]]
//   testrun_bench --stop PROXIES THREADS
//   testrun_bench --orv ORV PROXIES THREADS [usual|dead]
//
// --orv: `ORV --test` over the scripted proxies, in a data folder of its own: its wall and processor
// time and peak memory, and the processor time of the helpers that served it.
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

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
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
thread_local double t_delayEnd = -1;

double SinceStart() {
    return std::chrono::duration<double>(SteadyClock::now() - s_runStart).count();
}

double Since(SteadyClock::time_point start) {
    return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

class TimingClock : public platform::SystemClock {
public:
    // A worker reads the clock before and after the delay page, then asks the judge.
    int32_t LocalTimeOfDayMs() override {
        if (t_workerStart < 0)
            t_workerStart = SinceStart();
        else if (t_delayEnd < 0)
            t_delayEnd = SinceStart();
        return SystemClock::LocalTimeOfDayMs();
    }
};

class TimingView : public NullFrameView {
public:
    explicit TimingView(size_t count) : m_start(count), m_delayEnd(count), m_end(count) {}
    void RedrawRows(int32_t first, int32_t) override {
        m_end[static_cast<size_t>(first)] = SinceStart();
        m_start[static_cast<size_t>(first)] = t_workerStart;
        m_delayEnd[static_cast<size_t>(first)] = t_delayEnd;
    }
    // Written by each worker at its own row only; read once the run has ended.
    std::vector<double> m_start;
    std::vector<double> m_delayEnd;
    std::vector<double> m_end;
};

// ---- The schedule of the old dispatch rule (a one-second poll) for given service times. ----

// Workers start back to back at no cost, the first at 0.
double ScheduleSeconds(const std::vector<double>& service, int pool) {
    double now = 0;
    std::vector<double> alive; // end times of the workers not reaped yet
    const auto reap = [&] { std::erase_if(alive, [&](double end) { return end <= now; }); };
    size_t next = 0;
    while (next < service.size()) {
        if (static_cast<int>(alive.size()) < pool) {
            alive.push_back(now + service[next++]);
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
            item->SetAddress(p.Address());
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
               const std::vector<double>& service, const char* mix) {
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
    std::map<std::string, std::string> peerLevels;
    double peerWall = 0;
    if (peer) {
        char line[256];
        while (std::fgets(line, sizeof line, peer)) {
            char address[64] = {};
            char word[64] = {};
            double ms = 0;
            if (std::sscanf(line, "wall_ms %lf", &ms) == 1)
                peerWall = ms / 1000;
            else if (std::sscanf(line, "%63s %63s", address, word) == 2)
                peerLevels[address] = word;
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
        const std::string theirs = peerLevels[proxies[i].Address()];
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
    std::printf("row peer %s %d %.2f %.3f %.1f %.3f %d\n", mix, threads, peerWall, cpuMs, peakMb, peerWall / pool,
                alike);
}

int Measure(size_t count, int threads, const std::string& peerScript, Mix mix) {
    const char* mixName = mix == Mix::Usual ? "usual" : "dead";
    const ScriptedProxies server(count, mix);
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
    const double schedule = ScheduleSeconds(service, threads);
    const double cpu = CpuSeconds(after) - CpuSeconds(before);
    const double peakMb = static_cast<double>(after.ru_maxrss) / 1024;

    std::printf("proxies %zu (%s mix), MaxThread %d, Timeout %ds\n", count, mixName, threads, TimeoutSeconds);
    std::printf("results: level1 %d, level2 %d, level3 %d, bad %d\n", levels.count[1], levels.count[2], levels.count[3],
                levels.count[4]);
    std::printf("wall time               %8.2f s\n", wall);
    const double lastEnd = count == 0 ? 0 : *std::max_element(window.m_end.begin(), window.m_end.end());
    std::printf("last row redrawn at     %8.2f s\n", lastEnd);
    std::printf("one-second poll         %8.2f s (simulated: the old dispatch rule; wall / it %.3f)\n", schedule,
                wall / schedule);
    std::printf("CPU time (tester)       %8.3f s = %.3f ms per proxy (target <= 1)\n", cpu, cpu * 1000 / count);
    std::printf("peak memory (tester)    %8.1f MB\n", peakMb);
    const double pool = PoolSeconds(service, threads);
    std::printf("no-poll pool (simulated) %7.2f s (wall / it %.3f, target within 10%%)\n", pool, wall / pool);
    // What the judge request after the delay page costs: the same pool with each worker's service
    // ending where its delay page arrived, as a checker that makes one request a proxy would.
    std::vector<double> oneRequest = service;
    double judgeSeconds = 0;
    for (size_t i = 0; i < count; ++i) {
        if (window.m_delayEnd[i] >= 0) {
            oneRequest[i] = window.m_delayEnd[i] - window.m_start[i];
            judgeSeconds += service[i] - oneRequest[i];
        }
    }
    const double onePool = PoolSeconds(oneRequest, threads);
    std::printf("one request a proxy     %8.2f s through the same pool: the judge request costs %.2f s of the wall "
                "(%.1f%%), %.0f ms a proxy on average\n",
                onePool, pool - onePool, 100 * (pool - onePool) / pool, judgeSeconds * 1000 / count);
    std::printf("row ours %s %d %.2f %.3f %.1f %.3f %.2f %.2f\n", mixName, threads, wall, cpu * 1000 / count, peakMb,
                wall / pool, pool, onePool);
    if (!peerScript.empty())
        PrintPeer(server, bench.list, peerScript, threads, service, mixName);
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

// Runs `orv --test` over the script in a data folder of its own; its standard output goes to a file there.
int MeasureOrv(const std::string& orv, size_t count, int threads, Mix mix) {
    ScriptedProxies server(count, mix);
    if (!server.Started()) {
        std::cerr << "testrun_bench: the helper processes could not open their sockets\n";
        return 1;
    }
    char folderName[] = "/tmp/testrun_bench_orv_XXXXXX";
    if (!mkdtemp(folderName))
        return 1;
    const std::string folder = folderName;
    const std::string listFile = folder + "/proxies.txt";
    const std::string logFile = folder + "/log.txt";
    std::ofstream(listFile) << server.AddressLines();
    const std::vector<std::string> args = {orv,
                                           "--test",
                                           listFile,
                                           "--threads",
                                           std::to_string(threads),
                                           "--timeout",
                                           "2",
                                           "--judge",
                                           server.JudgeUrl(),
                                           "--format",
                                           "csv",
                                           "--export",
                                           folder + "/results.csv"};
    const auto start = SteadyClock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("ORV_DATA_DIR", folder.c_str(), 1);
        setenv("ORV_TEST_PAGE_HOST", PageHost, 1);
        setenv("ORV_TEST_PAGE_MARKER", PageMarker, 1);
        const int log = open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(log, STDOUT_FILENO);
        dup2(log, STDERR_FILENO);
        std::vector<char*> argv;
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(orv.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double wall = Since(start);
    const double helperCpu = server.Stop();
    const double cpu = CpuSeconds(usage);
    std::ifstream log(logFile);
    std::string line;
    std::string summary;
    while (std::getline(log, line))
        if (line.starts_with("Finished testing") || line.starts_with("High Anonymous") || line.starts_with("orv:"))
            summary += "  " + line + "\n";
    std::filesystem::remove_all(folder);
    std::printf("orv --test: proxies %zu (%s mix), --threads %d, --timeout 2; exit status %d\n%s", count,
                mix == Mix::Usual ? "usual" : "dead", threads, WEXITSTATUS(status), summary.c_str());
    std::printf("wall time               %8.2f s (target < 60)\n", wall);
    std::printf("CPU time (orv)          %8.2f s = %.3f ms per proxy\n", cpu, cpu * 1000 / static_cast<double>(count));
    std::printf("peak memory (orv)       %8.1f MB (target < 512)\n", static_cast<double>(usage.ru_maxrss) / 1024);
    std::printf("CPU time (helpers)      %8.2f s: %.0f%% of the CPU both took, %.0f%% of the two cores' wall\n",
                helperCpu, 100 * helperCpu / (helperCpu + cpu), 100 * helperCpu / (2 * wall));
    return WEXITSTATUS(status);
}

} // namespace

int main(int argc, char** argv) {
    // Before the helper is forked and the contexts read it: thousands of sockets on each side.
    platform::RaiseOpenFileLimit();
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "--stop")
        return args.size() == 3 ? MeasureStop(std::stoul(args[1]), std::stoi(args[2])) : 2;
    Mix mix = Mix::Usual;
    if (!args.empty() && args[0] == "--orv")
        return args.size() >= 4 && (args.size() == 4 || ParseMix(args[4], mix))
                   ? MeasureOrv(args[1], std::stoul(args[2]), std::stoi(args[3]), mix)
                   : 2;
    if (args.size() >= 2 && args[0] == "--mix") {
        if (!ParseMix(args[1], mix))
            return 2;
        args.erase(args.begin(), args.begin() + 2);
    }
    const size_t count = args.size() > 0 ? std::stoul(args[0]) : 2000;
    const int threads = args.size() > 1 ? std::stoi(args[1]) : MaxThread;
    return Measure(count, threads, args.size() > 2 ? args[2] : "", mix);
}
