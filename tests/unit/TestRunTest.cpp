#include "settings/SettingsStore.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestRunHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A harness with loopback servers: a judge on 127.0.0.3 and proxies that leave from 127.0.0.5.
class TestRunTest : public testing::Test {
protected:
    uint16_t AddProxy(ProxyScript script = {}, std::chrono::milliseconds pageDelay = 50ms) {
        script.pageHost = h.context.TestPageHost;
        script.pageMarker = h.context.TestPageMarker;
        script.pageDelay = pageDelay;
        script.outgoingAddress = "127.0.0.5";
        return m_server.AddProxy(script);
    }
    void StartServers() {
        m_judge = m_server.AddJudge(JudgeDialect::ColonBr, "", "127.0.0.3");
        m_server.Start();
        h.settings.ProxyJudge = "http://127.0.0.3:" + std::to_string(m_judge) + "/azenv.php";
    }
    ProxyItem& AddRecord(uint16_t port) { return h.AddRecord("127.0.0.1:" + std::to_string(port)); }
    static ProxyScript Silent() {
        ProxyScript script;
        script.mode = ProxyScript::Silent;
        return script;
    }
    static ProxyScript Headers(std::vector<std::pair<std::string, std::string>> headers) {
        ProxyScript script;
        script.setHeaders = std::move(headers);
        return script;
    }
    struct SampledRun {
        bool idle;
        Clock::duration took;
        int32_t most; // workers alive at once
    };
    // Tests count records of one proxy that answers after pageDelay, sampling the number of workers
    // alive every millisecond; every record must come out good.
    SampledRun RunSampled(int count, std::chrono::milliseconds pageDelay) {
        const uint16_t proxy = AddProxy({}, pageDelay);
        StartServers();
        for (int i = 0; i < count; ++i)
            AddRecord(proxy);
        std::atomic<bool> ended = false;
        std::atomic<int32_t> most = 0;
        std::thread sampler([&] {
            for (; !ended; std::this_thread::sleep_for(1ms))
                most = std::max(most.load(), h.context.LiveWorkerCount.load());
        });
        const auto start = Clock::now();
        h.StartAll();
        const bool idle = h.WaitIdle();
        const auto took = Clock::now() - start;
        ended = true;
        sampler.join();
        for (size_t i = 0; idle && i < static_cast<size_t>(count); ++i)
            EXPECT_EQ(h.list[i]->m_status, StatusGood) << i;
        return {idle, took, most.load()};
    }
    // The log without its start lines, which name the time.
    std::string LogAfterStart() {
        const std::string text = h.log.Text();
        const size_t start = text.find("Started testing the proxy list at ");
        return start == std::string::npos ? text : text.substr(text.find("\r\n", start) + 2);
    }

    TestRunHarness h;
    LoopbackServer m_server;
    uint16_t m_judge = 0;
};

TEST_F(TestRunTest, StartTestRefusesWithoutTestItemsOrJudge) {
    h.AddRecord("127.0.0.1:1");
    h.settings.TestDelay = 0;
    h.StartAll();
    EXPECT_EQ(h.messageBox.Shown(), std::vector<std::string>{TestRun::NoTestItemText});

    h.settings.TestAnon = 1;
    h.settings.ProxyJudge = "";
    h.StartAll();
    EXPECT_EQ(h.messageBox.Shown().size(), 1u);
    EXPECT_TRUE(h.view.Timers().empty());
    EXPECT_EQ(h.testing.load(), RunState::Idle);
    EXPECT_TRUE(h.log.Text().empty());
}

TEST_F(TestRunTest, WholeRunClassifiesWritesTheSummaryAndSavesOnce) {
    const uint16_t level1 = AddProxy();
    const uint16_t level2 = AddProxy(Headers({{"Via", "1.1 cache"}}));
    const uint16_t level3 = AddProxy(Headers({{"X-Forwarded-For", "127.0.0.1"}}));
    const uint16_t silent = AddProxy(Silent());
    StartServers();
    h.settings.TestAnon = 1;
    h.settings.TestGateway = 1;
    h.settings.MaxThread = 2;
    for (uint16_t port : {level1, level2, level3, silent, ClosedPort()})
        AddRecord(port).m_anonymity = 1; // counted below: a whole-list run starts its counters at 0
    h.list.m_level1Count.Set(5);

    h.StartAll();
    EXPECT_EQ(h.testing.load(), RunState::Running);
    ASSERT_TRUE(h.WaitIdle());

    const int32_t expected[] = {1, 2, 3, TimedOut, TimedOut};
    for (size_t i = 0; i < 5; ++i) {
        const ProxyItem& item = *h.list[i];
        EXPECT_EQ(item.m_anonymity, expected[i]) << i;
        EXPECT_EQ(item.m_status, i < 3 ? StatusGood : StatusBad) << i;
        if (i < 3)
            EXPECT_GE(item.m_delay, 50) << i;
        else
            EXPECT_EQ(item.m_delay, TimedOut) << i;
    }
    EXPECT_EQ(h.list[2]->m_gateway, 1); // the judge saw 127.0.0.5, not the proxy's own address
    EXPECT_EQ(h.list[4]->m_gateway, TimedOut);
    EXPECT_EQ(h.list.m_level1Count.Get(), 1);
    EXPECT_EQ(h.list.m_level2Count.Get(), 1);
    EXPECT_EQ(h.list.m_level3Count.Get(), 1);

    const std::string log = h.log.Text();
    EXPECT_EQ(log.rfind("Proxies to be tested: 5, Threads: 2, Timeout: 1s\r\n"
                        "Test items: delay, anonymity, gateway\r\n"
                        "Started testing the proxy list at ",
                        0),
              0u)
        << log;
    const std::string rest = LogAfterStart();
    EXPECT_EQ(rest.rfind("Verifying all the proxies in the list...\r\nFinished testing the proxies at ", 0), 0u)
        << rest;
    EXPECT_NE(rest.find("s)\r\nHigh Anonymous: 1, Anonymous: 1, Transparent: 1\r\n"), std::string::npos) << rest;
    EXPECT_EQ(h.LastTested().size(), 19u);
    EXPECT_EQ(h.saves, 1);
    EXPECT_EQ(h.quickSwitchRebuilds, 1);
    EXPECT_EQ(h.view.Balloons(), std::vector<std::string>{"Checking proxies is finished.||0|10"});
    EXPECT_EQ(h.run.Progress(), 100);
    EXPECT_TRUE(h.run.TestSet.empty());
    EXPECT_EQ(h.run.LastOutcome(), TestRun::Outcome::Finished);
    const std::vector<std::pair<TimerId, int>> timers{
        {TimerId::TestTick, 1000}, {TimerId::TestTick, -1}, {TimerId::PanelRefresh, 0}};
    EXPECT_EQ(h.view.Timers(), timers);
    EXPECT_NE(h.view.m_panel["test"].find("Testing the proxy list...</div><div class=\"right\"><span "
                                          "id=\"progress\">0</span>%</div>"),
              std::string::npos);
}

TEST_F(TestRunTest, TestingSomeRecordsTakesOnlyTheirLevelsOffTheCounters) {
    StartServers();
    h.settings.TestAnon = 1;
    for (int i = 0; i < 10; ++i)
        h.AddRecord("127.0.0.1:" + std::to_string(ClosedPort())).m_anonymity = i < 2 ? 1 : 3;
    h.list.m_level1Count.Set(2);
    h.list.m_level3Count.Set(8);
    h.run.TestSet = {h.list[0], h.list[1], h.list[5]};
    h.run.StartTest();
    ASSERT_TRUE(h.WaitIdle());
    EXPECT_EQ(h.list.m_level1Count.Get(), 0);
    EXPECT_EQ(h.list.m_level3Count.Get(), 7);
    EXPECT_EQ(h.list[9]->m_anonymity, 3);
    EXPECT_NE(h.log.Text().find("Verifying the selected proxies in the list...\r\n"), std::string::npos);
    EXPECT_NE(h.log.Text().find("High Anonymous: 0, Anonymous: 0, Transparent: 7\r\n"), std::string::npos);
}

TEST_F(TestRunTest, OneWorkerAtATimeStartsEachAtThePollAfterItsPredecessor) {
    const uint16_t proxy = AddProxy({}, 100ms);
    StartServers();
    h.settings.MaxThread = 1;
    h.settings.DispatchOnTick = 1;
    for (int i = 0; i < 3; ++i)
        AddRecord(proxy);
    const auto start = Clock::now();
    h.StartAll();
    ASSERT_TRUE(h.WaitIdle());
    // Workers at 0, 1 and 2 s; the drain's poll at 3 s finds the last one ended.
    const auto took = Clock::now() - start;
    EXPECT_GE(took, 2900ms);
    EXPECT_LT(took, 6s);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(h.list[i]->m_status, StatusGood);
}

TEST_F(TestRunTest, OpenFileLimitThatServesFewerWorkersLowersThePoolAndSaysSoOnce) {
    EXPECT_EQ(TestRun::WorkersAllowed(0), 1);
    EXPECT_EQ(TestRun::WorkersAllowed(TestRun::DescriptorMargin + 3), 1);
    EXPECT_EQ(TestRun::WorkersAllowed(UINT64_MAX), INT32_MAX);

    h.settings.MaxThread = 5;
    h.settings.DispatchOnTick = 1;
    h.context.OpenFileLimit = TestRun::DescriptorMargin + 2 * TestRun::DescriptorsPerWorker + 1;
    const auto [idle, took, most] = RunSampled(6, 300ms);
    ASSERT_TRUE(idle);

    // Two workers at 0, 1 and 2 s; the drain's poll at 3 s finds the last ones ended.
    EXPECT_GE(took, 2900ms);
    EXPECT_LE(most, 2);
    const std::string log = h.log.Text();
    const std::string line = "Max thread 5 is more than the open-file limit allows: testing with 2 threads.\r\n";
    EXPECT_NE(log.find(line), std::string::npos) << log;
    EXPECT_EQ(log.find(line), log.rfind(line)) << log;
}

TEST_F(TestRunTest, PromptDispatchStartsTheNextProxyAsSoonAsAWorkerEndsAndKeepsThePoolBound) {
    h.settings.MaxThread = 2;
    h.settings.Timeout = 30;
    const auto [idle, took, most] = RunSampled(12, 20ms);
    ASSERT_TRUE(idle);

    // Six pairs of workers: on the tick they would take six polls; here each pair takes one exchange.
    EXPECT_LT(took, 3s);
    EXPECT_LE(most, 2);
}

TEST_F(TestRunTest, CountryOnlyTouchesNoResultAndTheElapsedTimeCrossesMidnight) {
    h.settings.TestDelay = 0;
    h.settings.TestCountry = 1;
    ProxyItem& good = h.AddRecord("127.0.0.1:1");
    good.m_delay = 120;
    good.m_status = StatusGood;
    h.AddRecord("127.0.0.1:2").m_status = StatusActive;
    h.clock.Script({86'390'000, 10'000});
    h.StartAll();
    ASSERT_TRUE(h.WaitIdle());
    EXPECT_EQ(good.m_delay, 120);
    EXPECT_EQ(good.m_status, StatusUnknown);
    EXPECT_EQ(h.list[1]->m_status, StatusActive);
    const std::string log = h.log.Text();
    EXPECT_NE(log.find("Test items: country\r\nStarted testing the proxy list at 23:59:50\r\n"), std::string::npos);
    EXPECT_NE(log.find("Finished testing the proxies at 00:00:10 (20s)\r\n"), std::string::npos) << log;
    EXPECT_EQ(h.LastTested(), "2026-12-07 00:00:10");
}

TEST_F(TestRunTest, JudgeErrorAnsweredYesEndsTheRunBeforeAnyRecordIsTouched) {
    h.settings.TestAnon = 1;
    h.settings.ProxyJudge = "http://127.0.0.3:" + std::to_string(ClosedPort()) + "/";
    ProxyItem& item = h.AddRecord("127.0.0.1:1");
    item.m_anonymity = 2;
    h.messageBox.Answers({platform::MessageBox::AnswerYes});
    h.StartAll();
    ASSERT_TRUE(h.WaitIdle());
    EXPECT_EQ(item.m_anonymity, 2);
    EXPECT_EQ(h.messageBox.Shown(), std::vector<std::string>{std::string(TestRun::JudgeErrorText) +
                                                             "\r\nWould you like to stop testing now?"});
    EXPECT_EQ(LogAfterStart(), std::string(TestRun::JudgeErrorText) + TestRun::JudgeStopLine);
    EXPECT_EQ(h.run.TestSet.size(), 1u);
    EXPECT_EQ(h.saves, 0);
    EXPECT_EQ(h.run.LastOutcome(), TestRun::Outcome::JudgeRefused);
    const std::vector<std::pair<TimerId, int>> timers{
        {TimerId::TestTick, 1000}, {TimerId::TestTick, -1}, {TimerId::PanelRefresh, 0}};
    EXPECT_EQ(h.view.Timers(), timers);
}

TEST_F(TestRunTest, JudgeErrorAnsweredNoTestsAnyway) {
    const uint16_t proxy = AddProxy();
    StartServers();
    h.settings.TestAnon = 1;
    h.settings.ProxyJudge = "http://127.0.0.3:" + std::to_string(ClosedPort()) + "/";
    AddRecord(proxy);
    h.messageBox.Answers({platform::MessageBox::AnswerNo});
    h.StartAll();
    ASSERT_TRUE(h.WaitIdle());
    EXPECT_GE(h.list[0]->m_delay, 50);
    EXPECT_EQ(h.list[0]->m_anonymity, TimedOut);
    EXPECT_NE(LogAfterStart().find("Verifying all the proxies"), std::string::npos);
    EXPECT_EQ(h.run.LastOutcome(), TestRun::Outcome::Finished);
}

TEST_F(TestRunTest, SeveralJudgesAreTriedInOrderAndTheFirstThatShowsTheAddressServes) {
    const uint16_t proxy = AddProxy();
    const uint16_t page = m_server.AddPage(0ms, "no judge here");
    StartServers();
    const std::string working = h.settings.ProxyJudge;
    const std::string dead = "http://127.0.0.3:" + std::to_string(ClosedPort()) + "/";
    const std::string blind = "http://127.0.0.1:" + std::to_string(page) + "/";
    h.settings.TestAnon = 1;
    AddRecord(proxy);

    h.settings.ProxyJudge = dead + "  " + blind + " " + working;
    h.StartAll();
    ASSERT_TRUE(h.WaitIdle());
    EXPECT_EQ(h.list[0]->m_anonymity, 1);
    const std::string log = LogAfterStart();
    EXPECT_EQ(log.rfind(TestRun::JudgeFailedLine(dead, "no answer") +
                            TestRun::JudgeFailedLine(blind, "no own address") + "Verifying all the proxies",
                        0),
              0u)
        << log;
    EXPECT_EQ(h.context.JudgeUrl, working);

    // All dead: today's text and question, after one line for each.
    h.log.AppendLog("", LogMode::Clear);
    h.settings.ProxyJudge = dead + " " + blind;
    h.messageBox.Answers({platform::MessageBox::AnswerYes});
    h.StartAll();
    ASSERT_TRUE(h.WaitIdle());
    EXPECT_EQ(LogAfterStart(), TestRun::JudgeFailedLine(dead, "no answer") +
                                   TestRun::JudgeFailedLine(blind, "no own address") + TestRun::JudgeErrorText +
                                   TestRun::JudgeStopLine);
    EXPECT_EQ(h.run.LastOutcome(), TestRun::Outcome::JudgeRefused);
}

TEST_F(TestRunTest, TheDelayTestAsksForTheSettingsPageAndLooksForItsMarker) {
    const uint16_t page = m_server.AddPage(0ms, "Own words of mine");
    const uint16_t proxy = m_server.AddProxy(ProxyScript{});
    m_server.Start();
    h.context.TestPageHost.clear(); // the settings' page, as without the environment
    h.context.TestPageMarker.clear();
    h.settings.TestPage = "http://127.0.0.1:" + std::to_string(page) + "/own.html";
    for (const auto& [marker, passes] : {std::pair{"Own words", true}, std::pair{"Not there", false}}) {
        h.settings.TestPageMarker = marker;
        AddRecord(proxy);
        h.StartAll();
        ASSERT_TRUE(h.WaitIdle());
        EXPECT_EQ(h.list[h.list.GetSize() - 1]->m_delay != TimedOut, passes) << marker;
        EXPECT_NE(m_server.LastRequest(page).find("/own.html"), std::string::npos);
    }
}

// Values that only the settings file can hold: a run takes them into its ranges and says so.
TEST_F(TestRunTest, SettingsFromTheFileAreBroughtIntoTheRunsRanges) {
    const uint16_t proxy = AddProxy();
    StartServers();
    AddRecord(proxy);
    struct Case {
        const char* file;
        const char* used;
        const char* said;
    } const cases[] = {
        // Timeout 0 and a word used to make the judge's own fetch fail at once.
        {"MaxThread=-5\r\nTimeout=abc", "Threads: 1, Timeout: 30s",
         "MaxThread -5 is out of range; using 1.\r\nTimeout is not a number; using 30.\r\n"},
        {"MaxThread=5000\r\nTimeout=2147483647", "Threads: 4000, Timeout: 100s",
         "MaxThread 5000 is out of range; using 4000.\r\nTimeout 2147483647 is out of range; using 100.\r\n"},
        {"MaxThread=abc\r\nTimeout=0", "Threads: 80, Timeout: 1s",
         "MaxThread is not a number; using 80.\r\nTimeout 0 is out of range; using 1.\r\n"},
        {"MaxThread=250\r\nTimeout=-1", "Threads: 250, Timeout: 1s", "Timeout -1 is out of range; using 1.\r\n"},
    };
    for (const Case& c : cases) {
        TempDir data;
        data.Write(SettingsStore::FileName, "[Settings]\r\n" + std::string(c.file) + "\r\n");
        const std::string judge = h.settings.ProxyJudge;
        SettingsStore(h.settings, data.Path()).LoadSettings(data.Path());
        h.settings.ProxyJudge = judge;
        h.log.AppendLog("", LogMode::Clear);
        h.StartAll();
        ASSERT_TRUE(h.WaitIdle());
        const std::string log = h.log.Text();
        EXPECT_NE(log.find(c.used), std::string::npos) << c.file << log;
        EXPECT_NE(log.find(c.said), std::string::npos) << c.file << log;
        EXPECT_EQ(log.find("Proxyjudge error"), std::string::npos) << c.file << log;
        EXPECT_EQ(h.list[0]->m_anonymity, 1) << c.file;
    }
}

TEST_F(TestRunTest, StopKillsTheBusyWorkersAndReturnsToIdleWithinASecond) {
    const uint16_t silent = AddProxy(Silent());
    StartServers();
    h.settings.Timeout = 30;
    h.settings.MaxThread = 3;
    for (int i = 0; i < 6; ++i)
        AddRecord(silent).m_delay = 7;
    h.StartAll();
    ASSERT_TRUE(m_server.WaitForRequests(silent, 3)); // every worker of the pool is busy
    const auto stop = Clock::now();
    h.run.StopTest();
    EXPECT_EQ(h.testing.load(), RunState::Stopping);
    ASSERT_TRUE(h.WaitIdle(5s));
    EXPECT_LT(Clock::now() - stop, 1s);
    EXPECT_FALSE(h.run.StopRequested());
    EXPECT_EQ(h.run.WorkerCount(), 0u);
    EXPECT_EQ(h.context.LiveWorkerCount, 0);
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ(h.list[i]->m_delay, Untested) << i; // killed or never started: the reset's value
    const std::string rest = LogAfterStart();
    EXPECT_EQ(rest.rfind("Verifying all the proxies in the list...\r\nUser stopped testing at ", 0), 0u) << rest;
    EXPECT_TRUE(h.view.Balloons().empty());
    EXPECT_EQ(h.saves, 1);
    EXPECT_EQ(h.run.LastOutcome(), TestRun::Outcome::Stopped);
}

TEST_F(TestRunTest, StopDuringASilentJudgeFetchEndsAtOnceAndTouchesNothing) {
    const uint16_t silent = AddProxy(Silent());
    m_server.Start();
    h.settings.TestAnon = 1;
    h.settings.Timeout = 30;
    h.settings.ProxyJudge = "http://127.0.0.1:" + std::to_string(silent) + "/";
    ProxyItem& item = h.AddRecord("127.0.0.1:1");
    item.m_delay = 99;
    item.m_anonymity = 2;
    h.list.m_level2Count.Set(1);
    h.StartAll();
    ASSERT_TRUE(m_server.WaitForRequests(silent, 1)); // the judge fetch is under way
    const auto stop = Clock::now();
    h.run.StopTest();
    ASSERT_TRUE(h.WaitIdle(10s));
    EXPECT_LT(Clock::now() - stop, 10s); // not the judge's 30 s
    EXPECT_EQ(item.m_delay, 99);
    EXPECT_EQ(item.m_anonymity, 2);
    EXPECT_EQ(h.list.m_level2Count.Get(), 1);
    EXPECT_EQ(h.LastTested(), "");
    EXPECT_EQ(h.saves, 0);
    EXPECT_TRUE(h.messageBox.Shown().empty());
    const std::string rest = LogAfterStart();
    EXPECT_EQ(rest.rfind("User stopped testing at ", 0), 0u) << rest;
    EXPECT_NE(rest.find("s)\r\nHigh Anonymous: 0, Anonymous: 1, Transparent: 0\r\n"), std::string::npos) << rest;
    EXPECT_EQ(h.run.LastOutcome(), TestRun::Outcome::Stopped);
    EXPECT_TRUE(h.run.TestSet.empty());
    EXPECT_EQ(h.view.Timers().back(), std::make_pair(TimerId::PanelRefresh, 0));
    EXPECT_EQ(h.context.LiveWorkerCount, 0);
}

TEST_F(TestRunTest, NoNewRunUntilTheStopperHasEnded) {
    const uint16_t silent = AddProxy(Silent());
    const uint16_t fast = AddProxy();
    StartServers();
    h.settings.Timeout = 30;
    AddRecord(silent);
    h.StartAll();
    ASSERT_TRUE(m_server.WaitForRequests(silent, 1));
    h.run.StopTest();
    h.run.StartTest(); // refused while stopping (the window's commands are disabled then)
    ASSERT_TRUE(h.WaitIdle(5s));
    h.settings.Timeout = 1;
    h.list[0]->SetAddress("127.0.0.1:" + std::to_string(fast));
    h.StartAll();
    ASSERT_TRUE(h.WaitIdle());
    EXPECT_EQ(h.list[0]->m_status, StatusGood);
    EXPECT_EQ(h.run.LastOutcome(), TestRun::Outcome::Finished);
}

TEST_F(TestRunTest, WorkerThatCannotStartReportsAndLeavesTheWindowUsable) {
    const uint16_t silent = AddProxy(Silent());
    StartServers();
    h.settings.Timeout = 30;
    AddRecord(silent);
    AddRecord(silent);
    h.run.StartTest(); // an empty set: nothing to do but the summary
    ASSERT_TRUE(h.WaitIdle());
    h.log.AppendLog("", LogMode::Clear);
    h.run.m_workerStackSize = SIZE_MAX / 4; // no address space holds such a stack
    h.StartAll();
    ASSERT_TRUE(h.WaitIdle(5s));
    ASSERT_EQ(h.messageBox.Shown().size(), 1u);
    EXPECT_FALSE(h.messageBox.Shown()[0].empty());
    EXPECT_EQ(h.run.LastOutcome(), TestRun::Outcome::WorkerStartFailed);
    EXPECT_EQ(h.context.LiveWorkerCount, 0);
    EXPECT_EQ(LogAfterStart(), "Verifying all the proxies in the list...\r\n");
    EXPECT_EQ(h.view.Timers().back(), std::make_pair(TimerId::PanelRefresh, 0));
}

TEST_F(TestRunTest, ShutDownAbandonsASilentJudgeAndTouchesNothing) {
    const uint16_t silent = AddProxy(Silent());
    m_server.Start();
    h.settings.TestAnon = 1;
    h.settings.Timeout = 30;
    h.settings.ProxyJudge = "http://127.0.0.1:" + std::to_string(silent) + "/";
    ProxyItem& item = h.AddRecord("127.0.0.1:1");
    item.m_delay = 99;
    h.StartAll();
    ASSERT_TRUE(m_server.WaitForRequests(silent, 1));
    const auto start = Clock::now();
    EXPECT_TRUE(h.run.ShutDown(2s));
    EXPECT_LT(Clock::now() - start, 500ms);
    EXPECT_EQ(item.m_delay, 99);
    EXPECT_EQ(h.saves, 0);
}

TEST(TestRunLifetime, DestroyingARunningRunEndsEveryThread) {
    LoopbackServer server;
    ProxyScript silent;
    silent.mode = ProxyScript::Silent;
    const uint16_t port = server.AddProxy(silent);
    server.Start();
    Clock::time_point start;
    {
        TestRunHarness h;
        h.settings.Timeout = 30;
        h.settings.MaxThread = 20;
        for (int i = 0; i < 50; ++i)
            h.AddRecord("127.0.0.1:" + std::to_string(port));
        h.StartAll();
        ASSERT_TRUE(server.WaitForRequests(port, 20)); // the whole pool waits on the silent proxy
        start = Clock::now();
    }
    EXPECT_LT(Clock::now() - start, 3s);
}

} // namespace
