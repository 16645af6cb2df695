// The watch of the active proxy on an idle frame, against two real tinyproxy instances and the loopback judge:
// how often the window's thread wakes and how much CPU the process takes between checks, then the time from the
// active proxy's death to the switch. The frame's window is a small event loop that sleeps until its next timer or
// posted work, as the real one does. Usage: watch_bench [idle seconds, default 60] [interval seconds, default 10]
#include "app/FrameModel.h"
#include "app/LoopFrameView.h"
#include "tests/support/FrameModelTestAccess.h"
#include "tests/support/RealProxyParts.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include "platform/Clipboard.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/ShellOpen.h"
#include "platform/SystemProxy.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long ThreadSwitches() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_nvcsw + usage.ru_nivcsw;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

} // namespace

int main(int argc, char** argv) {
    const int idleSeconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const int intervalSeconds = argc > 2 ? std::atoi(argv[2]) : 10;
    constexpr int Timeout = 5;
    RealProxyParts parts;
    if (!parts.error.empty()) {
        std::fprintf(stderr, "%s\n", parts.error.c_str());
        return 1;
    }
    const std::string host = parts.PageHost();
    const std::string aid = std::to_string(intervalSeconds);
    ScopedEnv page("ORV_TEST_PAGE_HOST", host.c_str());
    ScopedEnv marker("ORV_TEST_PAGE_MARKER", RealProxyParts::PageMarker);
    ScopedEnv watch(ProxyWatch::IntervalVariable, aid.c_str());

    TempDir dir;
    LoopFrameView view;
    platform::ScriptedMessageBox messages;
    platform::MemoryClipboard clipboard;
    platform::ScriptedFileDialog files;
    platform::RecordingShellOpen shell;
    platform::RecordingSystemProxy systemProxy;
    FrameModel model(view, {messages, clipboard, files, shell, systemProxy}, dir.Path(), dir.Path(), {0, 0});
    view.m_onTimer = [&model](TimerId id) { model.OnTimer(id); };
    AppSettings& settings = model.EditSettings();
    settings.ProxyJudge = parts.JudgeUrl();
    settings.Timeout = Timeout;
    settings.WatchActive = 1;
    ProxyList& list = FrameModelTestAccess::List(model);
    for (const auto* proxy : {&parts.level2, &parts.level1}) {
        auto item = std::make_unique<ProxyItem>();
        item->SetAddress(proxy->Address());
        item->m_status = StatusGood;
        item->m_anonymity = proxy == &parts.level2 ? 2 : 1;
        list.Append(std::move(item));
    }
    list.RenumberList();
    const std::string first = parts.level2.Address();
    model.UseProxy(first.substr(0, first.rfind(':')), first.substr(first.rfind(':') + 1));
    const auto checks = [&] { return Count(model.Log().Text(), "Checked the active proxy"); };
    if (!view.Run([&] { return checks() >= 1; }, Clock::now() + 60s)) {
        std::fprintf(stderr, "no first check:\n%s", model.Log().Text().c_str());
        return 1;
    }

    const size_t checksBefore = checks();
    const long wakeupsBefore = view.m_wakeups;
    const long switchesBefore = ThreadSwitches();
    const double cpuBefore = CpuSeconds(RUSAGE_SELF);
    const auto idleStart = Clock::now();
    view.Run([] { return false; }, idleStart + std::chrono::seconds(idleSeconds));
    const double minutes = std::chrono::duration<double>(Clock::now() - idleStart).count() / 60;
    const double checksDone = static_cast<double>(checks() - checksBefore);
    std::printf("idle %d s, interval %d s: %.0f checks\n", idleSeconds, intervalSeconds, checksDone);
    std::printf("window thread: %.1f wakeups/min (%.1f per check), %.1f context switches/min\n",
                static_cast<double>(view.m_wakeups - wakeupsBefore) / minutes,
                checksDone > 0 ? static_cast<double>(view.m_wakeups - wakeupsBefore) / checksDone : 0.0,
                static_cast<double>(ThreadSwitches() - switchesBefore) / minutes);
    std::printf("process CPU: %.3f s/min (%.3f%%)\n", (CpuSeconds(RUSAGE_SELF) - cpuBefore) / minutes,
                (CpuSeconds(RUSAGE_SELF) - cpuBefore) / (minutes * 60) * 100);

    const std::string next = parts.level1.Address();
    parts.level2.process.Kill();
    const auto death = Clock::now();
    const bool switched =
        view.Run([&] { return model.ActiveProxy() != nullptr && model.ActiveProxy()->ProxyAddressText() == next; },
                 death + std::chrono::seconds(intervalSeconds + 10 + 4 * Timeout + 30));
    const double took = std::chrono::duration<double>(Clock::now() - death).count();
    std::printf("death to switch: %s after %.1f s (target at most %d s: interval + 10 s + two Timeouts)\n",
                switched ? "switched" : "NOT switched", took, intervalSeconds + 10 + 2 * Timeout);
    return switched ? 0 : 1;
}
