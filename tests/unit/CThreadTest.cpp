#include "tester/CThread.h"
#include "tester/CThreadException.h"
#include "tests/support/WorkerHarness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <limits>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Runs until released, or until killed when it heeds kills; counts its OnKill calls and records the
// exit code it saw there.
class GateThread : public CThread {
public:
    explicit GateThread(bool heedsKill = true, size_t stackSize = 0) : CThread(stackSize), m_heedsKill(heedsKill) {}
    ~GateThread() override { EndThread(); }

    std::atomic<bool> m_running = false;
    std::atomic<bool> m_release = false;
    std::atomic<int> m_onKillCalls = 0;
    std::atomic<int32_t> m_exitCodeInOnKill = 99;
    // Outlive the object, for the destructor's kill.
    std::atomic<int>* m_onKillCounter = nullptr;
    std::atomic<int32_t>* m_exitCodeSink = nullptr;

protected:
    int32_t Run() override {
        m_running = true;
        while (!m_release && !(m_heedsKill && IsKilled()))
            std::this_thread::sleep_for(1ms);
        return 7;
    }
    void OnKill() override {
        ++m_onKillCalls;
        m_exitCodeInOnKill = GetExitCode();
        if (m_onKillCounter)
            ++*m_onKillCounter;
        if (m_exitCodeSink)
            *m_exitCodeSink = GetExitCode();
    }

private:
    bool m_heedsKill;
};

void WaitRunning(const GateThread& thread) {
    while (!thread.m_running)
        std::this_thread::sleep_for(1ms);
}

} // namespace

TEST(CThread, IsAliveFollowsRunAndExitCodeIsRunsResult) {
    GateThread thread;
    EXPECT_FALSE(thread.IsAliveLocked());
    EXPECT_EQ(thread.GetExitCode(), -2);
    thread.Start();
    WaitRunning(thread);
    EXPECT_TRUE(thread.IsAliveLocked());
    EXPECT_EQ(thread.GetExitCode(), -2);
    thread.m_release = true;
    ASSERT_TRUE(WaitUntilEnded(thread, 5s));
    EXPECT_EQ(thread.GetExitCode(), 7);
    EXPECT_EQ(thread.m_onKillCalls, 0);
}

TEST(CThread, StartingARunningThreadThrowsKindTwo) {
    GateThread thread;
    thread.Start();
    try {
        thread.Start();
        FAIL() << "no exception";
    } catch (const CThreadException& error) {
        EXPECT_EQ(error.m_kind, CThreadException::AlreadyStarted);
        EXPECT_EQ(error.m_message, "Thread is already started!");
        EXPECT_EQ(error.m_thread, &thread);
    }
    thread.m_release = true;
}

TEST(CThread, AnEndedThreadMayStartAgain) {
    GateThread thread;
    thread.m_release = true;
    thread.Start();
    ASSERT_TRUE(WaitUntilEnded(thread, 5s));
    thread.Start();
    ASSERT_TRUE(WaitUntilEnded(thread, 5s));
    EXPECT_EQ(thread.GetExitCode(), 7);
}

TEST(CThread, ThreadTheSystemRefusesThrowsKindOneWithTheSystemsText) {
    GateThread thread(true, std::numeric_limits<size_t>::max() / 2);
    try {
        thread.Start();
        FAIL() << "no exception";
    } catch (const CThreadException& error) {
        EXPECT_EQ(error.m_kind, CThreadException::CreateFailed);
        EXPECT_FALSE(error.m_message.empty());
    }
    EXPECT_FALSE(thread.IsAliveLocked());
}

TEST(CThread, KillOnANeverStartedObjectRecordsTheCodeWithoutOnKill) {
    GateThread thread;
    thread.Kill(5, false);
    EXPECT_EQ(thread.GetExitCode(), 5);
    EXPECT_EQ(thread.m_onKillCalls, 0);
    EXPECT_FALSE(thread.IsAliveLocked());
}

TEST(CThread, KillStopsARunningThreadAndCallsOnKillOnce) {
    GateThread thread;
    thread.Start();
    WaitRunning(thread);
    thread.Kill(1, true);
    EXPECT_FALSE(thread.IsAliveLocked());
    EXPECT_EQ(thread.GetExitCode(), 1); // not Run's 7
    EXPECT_EQ(thread.m_onKillCalls, 1);
    EXPECT_EQ(thread.m_exitCodeInOnKill, 1);
    thread.Kill(1, true);
    EXPECT_EQ(thread.m_onKillCalls, 1);
}

TEST(CThread, RequestKillDoesNotWaitAndALaterKillDoesNotRepeatOnKill) {
    GateThread thread(false);
    thread.Start();
    WaitRunning(thread);
    thread.RequestKill(2); // would hang here if it waited: the thread heeds no kill
    EXPECT_EQ(thread.m_onKillCalls, 1);
    EXPECT_TRUE(thread.IsAliveLocked());
    thread.m_release = true;
    thread.Kill(2, false);
    EXPECT_FALSE(thread.IsAliveLocked());
    EXPECT_EQ(thread.GetExitCode(), 2); // not Run's 7
    EXPECT_EQ(thread.m_onKillCalls, 1);
}

TEST(CThread, LoudKillOfAThreadThatDoesNotStopThrowsKindThree) {
    GateThread thread(false);
    thread.m_killWait = 100ms;
    thread.Start();
    WaitRunning(thread);
    try {
        thread.Kill(3, false);
        FAIL() << "no exception";
    } catch (const CThreadException& error) {
        EXPECT_EQ(error.m_kind, CThreadException::KillFailed);
        EXPECT_EQ(error.m_message, SystemErrorText(ETIMEDOUT));
    }
    EXPECT_TRUE(thread.IsAliveLocked()); // still running: not safe to delete yet
    thread.Kill(4, true);                // quiet: no exception
    EXPECT_TRUE(thread.IsAliveLocked());
    thread.m_release = true;
    ASSERT_TRUE(WaitUntilEnded(thread, 5s));
    EXPECT_EQ(thread.GetExitCode(), 4);
    EXPECT_EQ(thread.m_onKillCalls, 1);
}

TEST(CThread, DeletingARunningThreadKillsItWithCodeZero) {
    std::atomic<int> onKills = 0;
    std::atomic<int32_t> exitCode = 99;
    auto thread = std::make_unique<GateThread>();
    thread->m_onKillCounter = &onKills;
    thread->m_exitCodeSink = &exitCode;
    thread->Start();
    WaitRunning(*thread);
    thread.reset();
    EXPECT_EQ(onKills, 1);
    EXPECT_EQ(exitCode, 0);
}

TEST(CThread, ExceptionCarriesTheMessageToShow) {
    const CThreadException error(nullptr, "Resource temporarily unavailable", 1);
    EXPECT_EQ(error.m_message, "Resource temporarily unavailable");
    EXPECT_STREQ(error.what(), "Resource temporarily unavailable");
}
