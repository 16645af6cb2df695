// The watch against real proxies: two tinyproxy instances, the loopback judge and test page, the desktop's
// recording stand-in and a stand-in Firefox extension on the channel's port.
#include "app/FrameModel.h"
#include "tests/support/ExtensionStub.h"
#include "tests/support/FrameFixture.h"
#include "tests/support/RealProxyParts.h"
#include "tests/support/ScopedEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The model is made again once the test page and the watch's pace are in the environment.
struct WatchFrame : BasicFrame<> {
    RealProxyParts parts;
    std::string host = parts.PageHost();
    ScopedEnv page{"ORV_TEST_PAGE_HOST", host.c_str()};
    ScopedEnv marker{"ORV_TEST_PAGE_MARKER", RealProxyParts::PageMarker};
    ScopedEnv aid{"ORV_WATCH_SECONDS", "1,1"};
    ExtensionStub firefox{ExtensionStub::Reads};
    WatchFrame() {
        firefoxPorts = {firefox.Port(), 0};
        model = NewModel();
        AppSettings& settings = model->EditSettings();
        settings.ProxyJudge = parts.JudgeUrl();
        settings.Timeout = 5;
        settings.WatchActive = 1;
    }
    // The records as (address, level); the first becomes active.
    void Activate(const std::vector<std::pair<std::string, int32_t>>& records) {
        for (const auto& [address, level] : records)
            Add(address, StatusGood, level);
        view.m_selected = {0};
        model->OnSetActiveProxy();
    }
    // Plays the window's thread: runs the posted work and fires the watch's timer once its time has come,
    // until done() holds.
    bool Pump(const std::function<bool()>& done, std::chrono::seconds limit = 90s) {
        auto armedAt = Clock::now();
        int period = -1;
        size_t seen = 0;
        for (const auto end = Clock::now() + limit; Clock::now() < end;) {
            view.RunPosted();
            const auto timers = view.Timers();
            for (; seen < timers.size(); ++seen) {
                if (timers[seen].first == TimerId::Watch) {
                    period = timers[seen].second;
                    armedAt = Clock::now();
                }
            }
            if (period >= 0 && Clock::now() >= armedAt + std::chrono::milliseconds(period)) {
                period = -1;
                model->OnTimer(TimerId::Watch);
                continue;
            }
            if (done())
                return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
    bool Logged(const std::string& text) const { return Log().find(text) != std::string::npos; }
    bool Balloon(const std::string& text) {
        const auto balloons = view.Balloons();
        return std::any_of(balloons.begin(), balloons.end(),
                           [&](const std::string& shown) { return shown.rfind(text + "|", 0) == 0; });
    }
};

} // namespace

TEST(ProxyWatchEndToEnd, ADeadProxyIsReplacedAndWithNoneLeftTheDesktopStaysOnIt) {
    WatchFrame frame;
    RealProxyParts& parts = frame.parts;
    ASSERT_TRUE(parts.error.empty()) << parts.error;
    const std::string first = parts.level2.Address();
    const std::string second = parts.level1.Address();
    frame.Activate({{first, 2}, {second, 1}});

    // The switch's own check: the row gets its results and the log one line.
    ASSERT_TRUE(frame.Pump([&] { return frame.Logged("Checked the active proxy " + first + ": delay "); }))
        << frame.Log();
    EXPECT_TRUE(frame.Logged(", level 2.\r\n")) << frame.Log();
    EXPECT_GE(frame.model->List()[0]->m_delay, 0);

    // A run holding the list pauses the watch: it looks again each second and checks only once the list is free.
    const auto checks = [&] { return frame.Log().rfind("Checked the active proxy"); };
    const size_t lastCheck = checks();
    FrameModelTestAccess::SetState(*frame.model, RunState::Running);
    const auto busyRetries = [&] {
        const auto timers = frame.view.Timers();
        return std::count(timers.begin(), timers.end(), std::pair(TimerId::Watch, 1000));
    };
    const auto armedBefore = busyRetries();
    ASSERT_TRUE(frame.Pump([&] { return busyRetries() >= armedBefore + 3; })) << frame.Log();
    EXPECT_EQ(checks(), lastCheck);
    FrameModelTestAccess::SetState(*frame.model, RunState::Idle);
    ASSERT_TRUE(frame.Pump([&] { return checks() != lastCheck; })) << frame.Log();

    parts.level2.process.Kill();
    const std::string switched = "The proxy " + first + " stopped working; switched to " + second + ".";
    ASSERT_TRUE(frame.Pump([&] { return frame.Logged(switched); })) << frame.Log();
    EXPECT_TRUE(frame.Logged("no answer; checking again in 1 s.\r\n"));
    EXPECT_TRUE(frame.Logged("no answer; looking for another.\r\n"));
    ASSERT_NE(frame.model->ActiveProxy(), nullptr);
    EXPECT_EQ(frame.model->ActiveProxy()->ProxyAddressText(), second);
    EXPECT_EQ(frame.systemProxy.m_calls.back(), "proxy " + second);
    EXPECT_TRUE(frame.firefox.WaitForLast("1\r\n127.0.0.5\r\n" + std::to_string(parts.level1.port) + "\r\n", 10s));
    EXPECT_TRUE(frame.Balloon(switched));

    parts.level1.process.Kill();
    const std::string stayed =
        "No working proxy was found; staying on " + second + " so that nothing goes out directly.";
    ASSERT_TRUE(frame.Pump([&] { return frame.Logged(stayed); })) << frame.Log();
    EXPECT_TRUE(frame.Balloon(stayed));
    EXPECT_EQ(frame.model->ActiveProxy()->ProxyAddressText(), second);
    EXPECT_EQ(frame.systemProxy.m_calls.back(), "proxy " + second);
}

TEST(ProxyWatchEndToEnd, WithNoneLeftWhenNoProxyWorksOneGoesDirect) {
    WatchFrame frame;
    ASSERT_TRUE(frame.parts.error.empty()) << frame.parts.error;
    frame.model->EditSettings().WhenNoProxyWorks = 1;
    const std::string only = frame.parts.level1.Address();
    frame.Activate({{only, 1}});
    frame.parts.level1.process.Kill();

    const std::string direct = "No working proxy was found; " + only + " was left for a direct connection.";
    ASSERT_TRUE(frame.Pump([&] { return frame.Logged(direct); })) << frame.Log();
    EXPECT_TRUE(frame.Balloon(direct));
    EXPECT_EQ(frame.model->ActiveProxy(), nullptr);
    EXPECT_TRUE(frame.firefox.WaitForLast("0\r\n--\r\n--\r\n", 10s));
    EXPECT_NE(frame.systemProxy.m_calls.back(), "proxy " + only);
}
