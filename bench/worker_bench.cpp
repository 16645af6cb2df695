// Tests 1,000 scripted loopback proxies with at most 100 workers alive at once, country and danger
// on, and prints what the tester costs: CPU time per proxy, peak memory, how far the measured delays
// stray from the 200 ms that every proxy waits before it answers the page, and what the address
// database costs to load and to ask. The proxies and the judge run in a child
// process forked before the tester starts, so the figures are the tester's own.
// With --socks5 every proxy is a SOCKS5 proxy: run both to compare the tunnel's cost with HTTP's.
#include "platform/Clock.h"
#include "proxy/DangerousList.h"
#include "proxy/ProxyList.h"
#include "settings/AppSettings.h"
#include "tester/CInternetThread.h"
#include "tester/TestContext.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/RecordingFrameView.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr int ProxyCount = 1000;
constexpr size_t MaxAlive = 100;
constexpr auto PageDelay = 200ms;
const char* const PageHost = "www.search.test";
const char* const PageMarker = "Searchy";

// The child: serves the judge and the proxies until the parent closes the pipe.
[[noreturn]] void ServeProxies(int toParent, int fromParent, bool socks5) {
    LoopbackServer server;
    std::vector<uint16_t> ports{server.AddJudge(JudgeDialect::Equals, "", "127.0.0.3")};
    ProxyScript script;
    script.pageHost = PageHost;
    script.pageMarker = PageMarker;
    script.pageDelay = PageDelay;
    script.outgoingAddress = "127.0.0.5";
    script.socks5 = socks5;
    for (int i = 0; i < ProxyCount; ++i)
        ports.push_back(server.AddProxy(script));
    server.Start();
    const size_t bytes = ports.size() * sizeof(uint16_t);
    const bool sent = write(toParent, ports.data(), bytes) == static_cast<ssize_t>(bytes);
    char ignored;
    while (sent && read(fromParent, &ignored, 1) > 0) {
    }
    _exit(0);
}

double CpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

// Resident memory now, from /proc (ru_maxrss only ever grows).
long CurrentRssKb() {
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    const bool socks5 = argc > 1 && std::string(argv[1]) == "--socks5";
    int up[2], down[2];
    if (pipe(up) != 0 || pipe(down) != 0)
        return 1;
    const pid_t child = fork();
    if (child == 0) {
        close(up[0]);
        close(down[1]);
        ServeProxies(up[1], down[0], socks5);
    }
    close(up[1]);
    close(down[0]);
    std::vector<uint16_t> ports(ProxyCount + 1);
    const size_t bytes = ports.size() * sizeof(uint16_t);
    size_t got = 0;
    while (got < bytes) {
        const ssize_t n = read(up[0], reinterpret_cast<char*>(ports.data()) + got, bytes - got);
        if (n <= 0) {
            std::fprintf(stderr, "the proxy server did not start\n");
            return 1;
        }
        got += static_cast<size_t>(n);
    }

    AppSettings settings;
    settings.Timeout = 10;
    settings.TestDelay = 1;
    settings.TestAnon = 1;
    settings.TestGateway = 1;
    settings.ProxyJudge = "http://127.0.0.3:" + std::to_string(ports[0]) + "/AZenv/azenv.php";
    ProxyList list;
    RecordingFrameView view;
    platform::SystemClock clock;
    TestContext context(settings, list, view, clock);
    context.TestPageHost = PageHost;
    context.TestPageMarker = PageMarker;
    for (int i = 0; i < ProxyCount; ++i) {
        auto item = std::make_unique<ProxyItem>();
        item->SetAddress("127.0.0.1:" + std::to_string(ports[static_cast<size_t>(i) + 1]));
        item->m_index = static_cast<uint32_t>(i);
        list.Append(std::move(item));
    }
    context.PrepareJudge();

    // The controller's loads, once a run.
    settings.TestCountry = 1;
    settings.TestDanger = 1;
    const long rssBeforeLoad = CurrentRssKb();
    const auto loadStart = std::chrono::steady_clock::now();
    std::string error;
    if (!context.Countries.Load(context.GeoIpPath, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const double loadMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - loadStart).count();
    const long loadRssKb = CurrentRssKb() - rssBeforeLoad;
    context.DangerousLoaded = context.Dangerous.LoadDangerousList(ORV_DANGEROUS_IP_DAT) == DangerousList::Loaded;
    // One million lookups of both address items over addresses spread across the whole space.
    const auto lookupStart = std::chrono::steady_clock::now();
    int found = 0;
    for (uint32_t i = 0, address = 12345; i < 1'000'000; ++i, address = address * 1103515245u + 12345u) {
        const std::string dotted = std::to_string(address >> 24) + "." + std::to_string(address >> 16 & 255) + "." +
                                   std::to_string(address >> 8 & 255) + "." + std::to_string(address & 255);
        found += context.Countries.CountryOf(dotted) >= 0;
        found += context.Dangerous.IsDangerousAddress(dotted) > 0;
    }
    const double lookupNs =
        std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - lookupStart).count() / 1e6;

    const double cpuStart = CpuMs();
    const auto wallStart = std::chrono::steady_clock::now();
    if (context.DetectOwnAddress() != 0) {
        std::fprintf(stderr, "the judge gave no address\n");
        return 1;
    }
    // The controller's loop, polling every 10 ms instead of every second so that the run is short.
    std::vector<std::unique_ptr<CInternetThread>> workers;
    int32_t peakAlive = 0;
    const auto reap = [&] { std::erase_if(workers, [](const auto& worker) { return !worker->IsAliveLocked(); }); };
    for (int i = 0; i < ProxyCount;) {
        if (workers.size() < MaxAlive) {
            auto worker = std::make_unique<CInternetThread>(context);
            worker->m_proxyAddress = list[static_cast<size_t>(i)]->ProxyAddressText();
            worker->m_itemIndex = i;
            worker->m_kind = socks5 ? ProxyKind::Socks5 : ProxyKind::Http;
            worker->Start();
            workers.push_back(std::move(worker));
            peakAlive = std::max(peakAlive, context.LiveWorkerCount.load());
            ++i;
        } else {
            std::this_thread::sleep_for(10ms);
            reap();
        }
    }
    while (!workers.empty()) {
        std::this_thread::sleep_for(10ms);
        reap();
    }
    const double cpu = CpuMs() - cpuStart;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();

    double sum = 0, worst = 0;
    int levelOne = 0;
    std::vector<double> errors;
    for (size_t i = 0; i < list.GetSize(); ++i) {
        const int32_t delay = list[i]->m_delay;
        levelOne += list[i]->m_anonymity == 1;
        if (delay < 0)
            continue;
        const double error = delay - static_cast<double>(PageDelay.count());
        sum += error;
        worst = std::max(worst, std::fabs(error));
        errors.push_back(error);
    }
    int addressItems = 0;
    for (size_t i = 0; i < list.GetSize(); ++i)
        addressItems += list[i]->m_country == -1 && list[i]->m_danger == 0; // loopback: no country, not dangerous
    const int measured = static_cast<int>(errors.size());
    std::sort(errors.begin(), errors.end());
    close(down[1]);
    rusage server{};
    wait4(child, nullptr, 0, &server);
    const double serverCpu = (server.ru_utime.tv_sec + server.ru_stime.tv_sec) * 1000.0 +
                             (server.ru_utime.tv_usec + server.ru_stime.tv_usec) / 1000.0;
    double load[1] = {0};
    getloadavg(load, 1);

    std::printf("proxies tested:          %d %s (delay measured %d, Level 1 %d)\n", ProxyCount,
                socks5 ? "SOCKS5" : "HTTP", measured, levelOne);
    std::printf("workers alive at most:   %d\n", peakAlive);
    std::printf("wall time:               %.2f s\n", wall);
    std::printf("tester CPU per proxy:    %.3f ms (target <= 1 ms)\n", cpu / ProxyCount);
    std::printf("tester peak RSS:         %.1f MB (target <= 64 MB)\n", PeakRssKb() / 1024.0);
    std::printf("delay error vs 200 ms:   mean %+.2f ms, worst %.0f ms (target within 5 ms)\n",
                measured ? sum / measured : 0.0, worst);
    if (measured)
        std::printf("delay error percentiles: 50%% %+.0f ms, 95%% %+.0f ms\n", errors[errors.size() / 2],
                    errors[errors.size() * 95 / 100]);
    std::printf("country and danger set:  %d of %d\n", addressItems, ProxyCount);
    std::printf("address database:        %zu ranges loaded in %.0f ms, %.1f MB array, RSS +%.1f MB\n",
                context.Countries.RangeCount(), loadMs, context.Countries.MemoryBytes() / 1048576.0,
                loadRssKb / 1024.0);
    std::printf("country + danger lookup: %.0f ns per address, with its text (%d hits)\n", lookupNs, found);
    std::printf("proxy server CPU:        %.0f ms in the child process (not counted above)\n", serverCpu);
    std::printf("machine load average:    %.1f over %u cores\n", load[0], std::thread::hardware_concurrency());
    return measured == ProxyCount && levelOne == ProxyCount && addressItems == ProxyCount ? 0 : 1;
}
