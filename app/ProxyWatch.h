#pragma once

#include "app/FrameView.h"
#include "platform/OwnedThread.h"
#include "proxy/ProxyList.h"
#include "settings/AppSettings.h"
#include "tester/TestContext.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class Clock;
}

// Keeps the user on a working proxy: while one is active and the list is free, it re-tests that proxy
// every WatchMinutes with the worker's own tests, on a thread of its own. The window's timer (TimerId::Watch)
// paces it, so nothing wakes between checks. Everything but the test itself runs on the window's thread.
class ProxyWatch {
public:
    // A test aid: "SECONDS" or "SECONDS,RECHECK_SECONDS" replaces WatchMinutes (and the re-check's delay).
    static constexpr const char* IntervalVariable = "ORV_WATCH_SECONDS";
    // While a run or a download holds the list, the watch looks again this often.
    static constexpr std::chrono::milliseconds BusyRetry{1000};
    // A dead proxy's replacement is the first of at most this many candidates that passes, tested this many at a time.
    static constexpr size_t MostCandidates = 20;
    static constexpr size_t CandidatesAtOnce = 8;
    static constexpr const char* SwitchedTitle = "Proxy switched";
    static constexpr const char* NoneWorksTitle = "No working proxy";
    // Why a check asked for gives no result.
    static constexpr const char* NoActiveText = "No proxy is active.";
    static constexpr const char* BusyText = "The list is being tested or downloaded; try again when it is done.";
    static constexpr const char* ClosingText = "The window is closing.";

    struct Timing {
        std::chrono::milliseconds interval;
        std::chrono::milliseconds recheck{10'000};
    };
    // The pace for watchMinutes, unless aid (the test aid's text, may be null) gives one.
    static Timing TimingFrom(const char* aid, int32_t watchMinutes);
    // Who may replace the active proxy, in the order they are tried: the tray's Ready records in menu order, then
    // the others whose level is worstLevel or better, by level and then by delay.
    static std::vector<const ProxyItem*> Candidates(const std::vector<ProxyItem*>& menu, const ProxyList& list,
                                                    const ProxyItem* active, int32_t worstLevel);

    // What the watch needs of the frame that owns the list, all called on the window's thread.
    struct Owner {
        std::function<const ProxyItem*()> active;
        // A test run or a list download holds the list.
        std::function<bool()> busy;
        // The frame's test context, whose address the judge has seen, when no run uses it.
        std::function<std::string()> ownAddress;
        // Records' results changed: their statuses may have left the quick-switch set.
        std::function<void()> recordsChanged;
        std::function<void(const std::string&)> log;
        std::function<const std::vector<ProxyItem*>&()> quickSwitchSet;
        // The switch of a double click; none means a direct connection.
        std::function<void(ProxyItem*)> switchTo;
    };

    ProxyWatch(AppSettings& settings, ProxyList& list, FrameView& view, platform::Clock& clock, Owner owner);
    // Ends a check in progress at once.
    ~ProxyWatch();
    ProxyWatch(const ProxyWatch&) = delete;
    ProxyWatch& operator=(const ProxyWatch&) = delete;

    // What a check asked from outside gets: whether the active proxy passed, and the check's log line.
    using CheckReply = std::function<void(bool passed, const std::string& text)>;

    // Start-up re-applied the active proxy, or a switch happened: check the active one now.
    void CheckSoon();
    // The check, now, also with the watch off; reply comes on the window's thread. With the watch on, a
    // failure goes on to the re-check and the fail-over as usual.
    void CheckNow(CheckReply reply);
    void OnTimer();
    // The window closes: the check in progress ends at once and its result is dropped.
    void ShutDown();

private:
    struct Result {
        std::string m_address;
        int32_t m_delay = TimedOut;
        int32_t m_level = TimedOut;
    };
    class Probe;
    // What a probe needs of a record, taken on the window's thread.
    struct Target {
        std::string m_address;
        ProxyKind m_kind = ProxyKind::Http;
        std::shared_ptr<const ProxyCredentials> m_credentials;
    };
    static Target TargetOf(const ProxyItem& item);
    // Check: the regular one; Recheck: the one after a failure; Replace: the candidates after a second failure.
    enum class Stage { Check, Recheck, Replace };
    // What a passing test must show.
    struct Need {
        bool m_anonymity = false;
        int32_t m_worstLevel = 3;
    };
    static bool Passes(const Result& result, const Need& need);

    bool Enabled() const { return (m_settings.WatchActive != 0 || !m_replies.empty()) && m_owner.active() != nullptr; }
    void Answer(bool passed, const std::string& text);
    void Launch();
    // The check's thread: tests every address side by side and hands the results to the window's thread.
    // Stops after the first group of candidates in which one passes.
    void RunCheck(const std::vector<Target>& targets, uint64_t generation, Need need);
    void OnCheckDone(uint64_t generation, std::vector<Result> results);
    // The record's results and row, and the level counters.
    void Apply(const Result& result);
    ProxyItem* Find(const std::string& address) const;
    void OnActiveChecked(const Result& result);
    void OnCandidatesTested(const std::vector<Result>& results);
    // No candidate passed: WhenNoProxyWorks decides.
    void NoneWorks();
    void Tell(const std::string& text, const char* title);
    std::string ResultText(const Result& result) const;
    void Arm(std::chrono::milliseconds delay);

    AppSettings& m_settings;
    ProxyList& m_list;
    FrameView& m_view;
    Owner m_owner;
    // The probes' own context: their list is an empty one, so they write no record and count no level.
    ProxyList m_scratch;
    TestContext m_context;
    // The level the active proxy had when it became active; a check that gives a worse one fails.
    int32_t m_activeLevel = Untested;
    Stage m_stage = Stage::Check;
    Need m_need;
    // The active proxy that failed twice, while its replacement is sought.
    std::string m_failed;
    // A switch or a restart makes the check in flight stale.
    uint64_t m_generation = 0;
    bool m_checking = false;
    // Asked-for checks waiting for the active proxy's next result.
    std::vector<CheckReply> m_replies;
    platform::OwnedThread m_thread;

    // Between the check's thread and the window's thread at shutdown.
    std::mutex m_lock;
    std::condition_variable m_changed;
    size_t m_probesDone = 0;
    bool m_closing = false;
};
