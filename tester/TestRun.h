#pragma once

#include "platform/OwnedThread.h"
#include "tester/RunState.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CInternetThread;
class TestLog;
class ProxyItem;
struct TestContext;

// One test run over a set of records: a controller thread hands the records to workers, at most
// MaxThread alive at once, polling once a second; a stopper thread kills the workers that are still
// busy when the user stops. The frame fills TestSet, calls StartTest and StopTest on its own thread,
// and reads m_progress and its level counters once a second.
//
// The window's thread never waits here for a worker or for the network: the controller says its
// messages and asks the judge question through the hooks, and redraws rows through the window's
// interfaces; the frame marshals both to the window's thread, and they return at once when it closes.
class TestRun {
public:
    static constexpr std::chrono::milliseconds PollInterval{1000};
    static constexpr std::chrono::milliseconds StopperInterval{50};

    static constexpr const char* NoTestItemText = "You must select at least one test item in the setting dialog.";
    static constexpr const char* JudgeErrorText = "Proxyjudge error. Can't get the anonymity of the proxies.\r\n"
                                                  "Please change your settings.\r\n";
    static constexpr const char* JudgeQuestion = "\r\nWould you like to stop testing now?";
    static constexpr const char* JudgeStopLine = "User stopped testing because of the proxyjudge error.\r\n";
    static constexpr const char* FinishedBalloon = "Checking proxies is finished.";
    static constexpr const char* NoCountryText = "The country is not tested: ";
    static constexpr const char* NoHttpsText = "HTTPS is not tested: ";
    static constexpr const char* NoDangerText = "Danger is not tested: cannot use the dangerous network list ";
    // A run's bounds of the two settings it depends on; the settings sheet allows 100 threads, a script more.
    static constexpr int32_t MostThreads = 4000;
    static constexpr int32_t MostTimeout = 100;
    static constexpr const char* FewerThreadsText =
        "Max thread %lld is more than the open-file limit allows: testing with %lld threads.\r\n";
    // A worker holds one socket at a time; two a worker leave room for what opens beside it, and the
    // margin is the rest of the program's (the window, the files, the judge fetch).
    static constexpr uint64_t DescriptorsPerWorker = 2;
    static constexpr uint64_t DescriptorMargin = 64;
    // The most workers that an open-descriptor limit serves; at least one.
    static int32_t WorkersAllowed(uint64_t openFileLimit);

    // How the last run ended, for callers without a window (the command line).
    enum class Outcome {
        None,             // no run yet, or the run has not ended
        Finished,         // the summary was written after every worker ended
        Stopped,          // the summary was written after a stop
        JudgeRefused,     // the judge gave nothing and the answer was to stop
        WorkerStartFailed // a worker's thread could not be created
    };

    // What the run asks of the frame that owns the list; empty ones are skipped. The messages and the
    // question may come from the controller's or the stopper's thread as well as from the window's.
    struct Hooks {
        std::function<void()> rebuildQuickSwitchSet;
        std::function<void(const std::string&)> setLastTestedText;
        std::function<void()> saveList;
        // A message with an OK button: no test item is on, or the system refused a thread.
        std::function<void(const std::string&)> showMessage;
        // The judge did not show this computer's address (JudgeErrorText): true to stop testing now
        // (JudgeQuestion). Without it the run goes on.
        std::function<bool()> askStopWithoutJudge;
    };

    // testing is the owner's run state; the run sets it and reads it.
    TestRun(TestContext& context, TestLog& log, std::atomic<RunState>& testing, Hooks hooks);
    // Stops a run in progress and waits, without limit, until no thread of it is left.
    ~TestRun();
    TestRun(const TestRun&) = delete;
    TestRun& operator=(const TestRun&) = delete;

    // The records of the next run, not owned; filled by the test commands while no run is in progress.
    std::vector<ProxyItem*> TestSet;

    // Checks the settings, then launches the controller. On the window's thread.
    void StartTest();
    // Requests the stop of a run in progress; the stopper kills the workers still busy.
    void StopTest();
    // The window closes: requests the stop, abandons the judge fetch and waits up to limit for the
    // controller and the stopper to end. True when nothing of the run is left running; otherwise the
    // owner must keep everything the run uses alive (the process is ending anyway).
    bool ShutDown(std::chrono::milliseconds limit);
    // Waits up to limit until the controller and the stopper have ended; true when they have.
    bool WaitUntilIdle(std::chrono::milliseconds limit);

    int32_t Progress() const { return m_progress.load(); }
    bool StopRequested() const { return m_stopRequested.load(); }
    Outcome LastOutcome() const { return m_outcome.load(); }
    // Workers not deleted yet: reads are safe only while no run is in progress.
    size_t WorkerCount() const { return m_workers.size(); }

    // Stack size of the workers' threads (CInternetThread's small default), 0 for the system default.
    // Tests make it impossible.
    size_t m_workerStackSize;

private:
    // A thread whose end can be awaited with a time limit; joined by whoever forgets it.
    class Task {
    public:
        // Throws std::system_error when the system refuses a thread.
        void Start(std::function<void()> body);
        bool WaitEnded(std::chrono::milliseconds limit);
        // Waits without limit, then joins. Never from the task's own thread.
        void Join();
        bool Exists() const { return m_thread.joinable(); }

    private:
        struct State {
            std::mutex lock;
            std::condition_variable ended;
            bool done = false;
        };
        std::shared_ptr<State> m_state;
        std::thread m_thread;
    };

    void ShowMessage(const std::string& text);
    // The controller's body; its steps below.
    void TestProxies();
    // False when the run ends here: the judge was refused or the window closes. A stop during the
    // fetch abandons it and returns true, leaving the stop to the caller.
    bool CheckJudge();
    // A stop before the first worker: the stop's log lines and timers, and nothing else, since nothing
    // was tested (no record reset, no LastTestedText, no save).
    void EndUntested();
    // Since the start, read before the time of day is formatted.
    int32_t ElapsedSeconds() const;
    // The summary's two lines: how the run ended, and the level counts.
    std::string SummaryText(bool stopped, int32_t elapsed, const std::string& time) const;
    // Every change of the run state goes through here, so that the host hears of it.
    void SetTesting(RunState value);
    void PrepareRecords();
    // Loads the address database, the dangerous-network list and the TLS set-up for the items that
    // are on; one that cannot be used costs one log line and leaves its item's fields as they are.
    void LoadLookups();
    bool Dispatch();
    void Drain();
    void WriteSummary();
    // A worker's thread could not be created: the message, then everything back to idle.
    void AbandonRun();
    // The stopper's body.
    void FinishStop();

    // Deletes the workers that have ended; the later ones move up.
    void Reap();
    // Kills every worker, deleting them as they end.
    void KillWorkers();
    // Sleeps up to interval; returns early once a stop (or the shutdown) is requested.
    void Sleep(std::chrono::milliseconds interval, bool untilStopped);
    void WakeSleepers();
    int32_t ProgressOf(size_t done) const;
    // Seconds since local midnight.
    int32_t LocalSeconds() const;
    std::string StartText() const;
    // Brings MaxThread and Timeout, which the settings file may hold unchecked, into their ranges; a
    // log line for each that had to change.
    std::string ClampSettings();

    TestContext& m_context;
    TestLog& m_log;
    std::atomic<RunState>& m_testing;
    Hooks m_hooks;

    std::vector<std::unique_ptr<CInternetThread>> m_workers;
    std::atomic<bool> m_stopRequested = false;
    // The window is closing: the judge fetch is abandoned and the controller skips what is left.
    std::atomic<bool> m_closing = false;
    std::atomic<int32_t> m_progress = 0;
    std::atomic<Outcome> m_outcome = Outcome::None;
    int32_t m_testStartSeconds = 0;
    // The most workers of this run that the open-descriptor limit serves.
    int32_t m_workersAllowed = 1;
    Task m_controllerThread;
    Task m_stopperThread;

    std::mutex m_sleepLock;
    std::condition_variable m_wake;
    // The judge fetch's page and whether it has come, under m_sleepLock: its end wakes the controller.
    std::string m_judgePage;
    bool m_judgeFetched = false;
    // Last, so that it is stopped and joined before anything it writes goes.
    platform::OwnedThread m_judgeFetch;
};
