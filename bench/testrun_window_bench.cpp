// The test run of testrun_bench driven through the main window, offscreen: the same scripted proxies
// pasted into the list, "Test All" from the window's command table, and Qt's event loop run until the
// summary is in the log. A 5 ms timer on the window's thread measures how long that thread was kept
// from its events: a stall is the gap between two firings less the period. The frame-time probe also
// sorts the list by each column and scrolls it before and after the run (each step timed with its
// repaint), scrolls it twice a second while the run goes, and names the stall in which the periodic
// save wrote the saved list.
//
//   testrun_window_bench [PROXIES] [SCHEDULE_SECONDS] [RUN_SECONDS]
//
// SCHEDULE_SECONDS: the headless run's wall time for a pool of the same script (testrun.sh passes it);
// the window has no timing hooks in its workers, so its wall time is set beside that figure.
// RUN_SECONDS: Stop after that long (the periodic save comes after three minutes); 0 runs to the end.
#include "app/CommandIds.h"
#include "bench/ScriptedProxies.h"
#include "settings/SavedList.h"
#include "settings/SettingsStore.h"
#include "tests/support/ScriptedDesktop.h"
#include "tests/support/TempDir.h"
#include "ui/CMainFrame.h"
#include "ui/OrvResources.h"

#include <QApplication>
#include <QEventLoop>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

using namespace bench;
using SteadyClock = std::chrono::steady_clock;

constexpr int ProbePeriodMs = 5;
constexpr double StallLimitMs = 50;
constexpr double FrameLimitMs = 100;
constexpr int ScrollPeriodMs = 500;
constexpr int SortedColumns = 6;
constexpr int ScrollSteps = 40;
// A run that has not ended by then has hung: the figures would mean nothing.
constexpr double GiveUpSeconds = 600;

double Since(SteadyClock::time_point start) {
    return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The settings file the window finds at start-up, as the settings dialog would have left it.
void WriteSettings(const std::string& folder, const std::string& judgeUrl) {
    AppSettings settings;
    SettingsStore store(settings, folder);
    store.LoadSettings(folder);
    settings.MaxThread = MaxThread;
    settings.Timeout = TimeoutSeconds;
    settings.TestDelay = 1;
    settings.TestAnon = 1;
    settings.ProxyJudge = judgeUrl;
    store.SaveSettings();
}

// The window, with the time its workers wait for their row's redraw on the window's thread, and when
// the last of them ended.
class TimedFrame : public CMainFrame {
public:
    using CMainFrame::CMainFrame;

    void RedrawRows(int32_t first, int32_t last) override {
        const auto start = SteadyClock::now();
        CMainFrame::RedrawRows(first, last);
        const auto end = SteadyClock::now();
        const long long waited = Microseconds(end - start);
        m_redraws.fetch_add(1);
        m_waitedUs.fetch_add(waited);
        Raise(m_longestUs, waited);
        Raise(m_lastEndUs, Microseconds(end - m_runStart));
    }

    SteadyClock::time_point m_runStart;
    std::atomic<long long> m_redraws = 0;
    std::atomic<long long> m_waitedUs = 0;
    std::atomic<long long> m_longestUs = 0;
    std::atomic<long long> m_lastEndUs = 0;

private:
    static long long Microseconds(SteadyClock::duration span) {
        return std::chrono::duration_cast<std::chrono::microseconds>(span).count();
    }
    static void Raise(std::atomic<long long>& value, long long candidate) {
        for (long long now = value.load(); candidate > now && !value.compare_exchange_weak(now, candidate);) {
        }
    }
};

// The gaps between the firings of a precise timer on the window's thread, over the run.
struct Stalls {
    std::vector<double> ms; // each gap less the period, at least 0
    double longest = 0;
    double longestAt = 0; // seconds into the run

    void Add(double gapMs, double at) {
        const double stall = std::max(0.0, gapMs - ProbePeriodMs);
        if (stall > longest) {
            longest = stall;
            longestAt = at;
        }
        ms.push_back(stall);
    }
    double Percentile(double share) const {
        std::vector<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        return sorted.empty() ? 0 : sorted[static_cast<size_t>(share * static_cast<double>(sorted.size() - 1))];
    }
};

double Milliseconds(SteadyClock::time_point start) {
    return std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
}

// The longest and the total of the frames of one kind of work on the window's thread.
struct Frames {
    double longest = 0;
    double total = 0;
    int count = 0;

    void Add(double ms) {
        longest = std::max(longest, ms);
        total += ms;
        ++count;
    }
    void Print(const char* what) const {
        std::printf("  %-34s longest %7.1f ms, mean %6.1f ms over %d (target: none over %.0f ms)\n", what, longest,
                    count ? total / count : 0.0, count, FrameLimitMs);
    }
};

// One step of scrolling to a row picked from step, painted before it returns: one frame.
double ScrollFrame(QTableView& view, int step) {
    const auto start = SteadyClock::now();
    QScrollBar& bar = *view.verticalScrollBar();
    bar.setValue(static_cast<int>(static_cast<long long>(bar.maximum()) * ((step * 37) % 101) / 100));
    view.viewport()->repaint();
    return Milliseconds(start);
}

// Sorts by each column and scrolls through the list, each step a frame of its own.
void SortAndScroll(FrameModel& model, QTableView& view, Frames& sorts, Frames& scrolls) {
    for (int column = 0; column < SortedColumns; ++column) {
        const auto start = SteadyClock::now();
        model.OnHeaderClick(column);
        view.viewport()->repaint();
        sorts.Add(Milliseconds(start));
    }
    for (int step = 0; step < ScrollSteps; ++step)
        scrolls.Add(ScrollFrame(view, step));
}

// When the saved list was last written, in nanoseconds; 0 before it exists.
long long SavedAt(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 ? status.st_mtim.tv_sec * 1'000'000'000LL + status.st_mtim.tv_nsec : 0;
}

} // namespace

int main(int argc, char** argv) {
    const size_t count = argc > 1 ? std::stoul(argv[1]) : 2000;
    const double schedule = argc > 2 ? std::atof(argv[2]) : 0;
    const double runSeconds = argc > 3 ? std::atof(argv[3]) : 0;
    // The helper is forked before Qt starts any thread.
    const ScriptedProxies server(count);
    if (!server.Started()) {
        std::fputs("testrun_window_bench: the helper process could not open its sockets\n", stderr);
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window's tester takes the delay test's page from the environment when it is made.
    setenv("ORV_TEST_PAGE_HOST", PageHost, 1);
    setenv("ORV_TEST_PAGE_MARKER", PageMarker, 1);
    TempDir folder;
    WriteSettings(folder.Path(), server.JudgeUrl());

    QApplication application(argc, argv);
    InitOrvResources();
    // Every question is answered at once and kept for the report.
    ScriptedDesktop desktop;
    TimedFrame frame(desktop.Services(), folder.Path(), folder.Path(), FirefoxChannel::Ports{1, 0});
    if (!frame.Create())
        return 1;
    frame.show();
    QApplication::processEvents();
    desktop.clipboard.m_text = server.AddressLines();
    frame.OnCommand(cmd::Paste);
    QApplication::processEvents();
    FrameModel& model = frame.Model();
    if (model.List().GetSize() != count) {
        std::fprintf(stderr, "testrun_window_bench: the paste gave %zu proxies of %zu\n", model.List().GetSize(),
                     count);
        return 1;
    }

    QTableView* view = frame.findChild<QTableView*>();
    if (!view) {
        std::fputs("testrun_window_bench: the window has no list view\n", stderr);
        return 1;
    }
    Frames sortsBefore, scrollsBefore, sortsAfter, scrollsAfter, scrollsDuring, saves;
    SortAndScroll(model, *view, sortsBefore, scrollsBefore);
    const std::string savedList = folder.Path() + SavedList::FileName;
    long long savedAt = SavedAt(savedList);

    Stalls stalls;
    double wall = 0;
    bool stopSent = false;
    QTimer scroller;
    int scrollStep = 0;
    QObject::connect(&scroller, &QTimer::timeout, [&] { scrollsDuring.Add(ScrollFrame(*view, scrollStep++)); });
    // Not QApplication::exec: quitting the application would close the window, and its shutdown
    // empties the list before the levels are counted.
    QEventLoop loop;
    bool ended = false;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(ProbePeriodMs);

    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const double uiCpuBefore = ThreadCpuSeconds();
    const auto start = SteadyClock::now();
    frame.m_runStart = start;
    auto last = start;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const auto now = SteadyClock::now();
        const double gap = std::chrono::duration<double, std::milli>(now - last).count();
        stalls.Add(gap, Since(start));
        last = now;
        // The periodic save happened in the gap that ends here.
        if (const long long at = SavedAt(savedList); at != savedAt) {
            savedAt = at;
            saves.Add(std::max(0.0, gap - ProbePeriodMs));
        }
        if (runSeconds > 0 && !stopSent && Since(start) > runSeconds) {
            stopSent = true;
            frame.OnCommand(cmd::Stop);
        }
        // The run has ended once the window may start another; it finished if the summary says so.
        ended = model.State() == RunState::Idle;
        if (ended || Since(start) > GiveUpSeconds) {
            wall = Since(start);
            loop.quit();
        }
    });
    probe.start();
    scroller.start(ScrollPeriodMs);
    frame.OnCommand(cmd::TestAll);
    if (model.State() == RunState::Idle) {
        std::fputs("testrun_window_bench: Test All did not start a run\n", stderr);
        return 1;
    }
    loop.exec();
    probe.stop();
    scroller.stop();
    const double uiCpu = ThreadCpuSeconds() - uiCpuBefore;
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    const char* summary = stopSent ? "User stopped testing at" : "Finished testing the proxies at";
    if (!ended || model.Log().Text().find(summary) == std::string::npos) {
        std::fprintf(stderr, "testrun_window_bench: the run did not finish (%.0f s):\n%s", wall,
                     model.Log().Text().c_str());
        for (const std::string& text : desktop.messages.m_shown)
            std::fprintf(stderr, "message box: %s\n", text.c_str());
        return 1;
    }

    const LevelCounts levels = CountLevels(model.List());
    const double cpu = CpuSeconds(after) - CpuSeconds(before);
    const auto over = std::count_if(stalls.ms.begin(), stalls.ms.end(), [](double ms) { return ms > StallLimitMs; });
    std::printf("through the main window (offscreen), the same script:\n");
    std::printf("results: level1 %d, level2 %d, level3 %d, bad %d\n", levels.count[1], levels.count[2], levels.count[3],
                levels.count[4]);
    std::printf("wall time               %8.2f s (Test All to the summary, to %d ms)\n", wall, ProbePeriodMs);
    if (schedule > 0)
        std::printf("wall / pool             %8.3f (the headless run's pool of the same script, %.2f s)\n",
                    wall / schedule, schedule);
    std::printf("window thread stalls    max %.1f ms at %.2f s, p99 %.1f ms, %lld over %.0f ms (target 0) in %zu "
                "firings of a %d ms timer\n",
                stalls.longest, stalls.longestAt, stalls.Percentile(0.99), static_cast<long long>(over), StallLimitMs,
                stalls.ms.size(), ProbePeriodMs);
    std::printf(
        "row redraw wait         max %.1f ms, mean %.3f ms over %lld redraws (the workers' side)\n",
        static_cast<double>(frame.m_longestUs) / 1000,
        frame.m_redraws > 0 ? static_cast<double>(frame.m_waitedUs) / 1000 / static_cast<double>(frame.m_redraws) : 0.0,
        frame.m_redraws.load());
    std::printf("last row redrawn at     %8.2f s\n", static_cast<double>(frame.m_lastEndUs) / 1e6);
    std::printf("CPU time (process)      %8.3f s = %.3f ms per proxy (target <= 2); the window's thread %.3f s\n", cpu,
                cpu * 1000 / static_cast<double>(count), uiCpu);
    std::printf("                        (tester, window, offscreen painting and the probe; not the helper)\n");
    std::printf("peak memory (process)   %8.1f MB\n", static_cast<double>(after.ru_maxrss) / 1024);
    SortAndScroll(model, *view, sortsAfter, scrollsAfter);
    std::printf("frame-time probe, %zu records (%s):\n", count,
                stopSent ? "the run stopped after RUN_SECONDS" : "the whole run");
    std::printf("  %-34s longest %7.1f ms at %.2f s (target: none over %.0f ms)\n", "window thread while the run goes",
                stalls.longest, stalls.longestAt, FrameLimitMs);
    scrollsDuring.Print("scrolling while the run goes");
    saves.Print("stall around a save of the list");
    sortsBefore.Print("sorting by a column, before the run");
    scrollsBefore.Print("scrolling, before the run");
    sortsAfter.Print("sorting by a column, after the run");
    scrollsAfter.Print("scrolling, after the run");
    for (const std::string& text : desktop.messages.m_shown)
        std::printf("message box: %s\n", text.c_str());
    frame.ShutDown();
    return 0;
}
