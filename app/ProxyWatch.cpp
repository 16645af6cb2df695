#include "app/ProxyWatch.h"

#include "platform/WindowThread.h"
#include "proxy/ProxyItem.h"
#include "tester/CInternetThread.h"
#include "tester/CThreadException.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <system_error>

namespace {

using std::chrono::milliseconds;

// Whole seconds from 1 to a day, or nothing.
std::optional<milliseconds> Seconds(std::string_view text) {
    int32_t seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size() || seconds < 1 || seconds > 86'400)
        return std::nullopt;
    return milliseconds(seconds * 1000LL);
}

} // namespace

// One proxy's test by the worker's own code; it writes its result into itself, never into a record.
class ProxyWatch::Probe : public CInternetThread {
public:
    Probe(ProxyWatch& watch, const Target& target, bool anonymity)
        : CInternetThread(watch.m_context), m_watch(watch), m_anonymity(anonymity) {
        m_proxyAddress = target.m_address;
        m_kind = target.m_kind;
        m_credentials = target.m_credentials;
        m_result.m_address = target.m_address;
    }
    ~Probe() override { EndThread(); }

    // Read once the probe has told the watch that it is done.
    Result m_result;

protected:
    int32_t Run() override {
        // A record whose kind is not known yet is tried as each kind, as a run does.
        const int32_t delay = m_kind == ProxyKind::Detect ? DetectKind() : MeasureDelay();
        const bool answered = delay >= 0 && m_kind != ProxyKind::Detect && !m_authRefused;
        const int32_t level = answered && m_anonymity ? JudgeLevel() : TimedOut;
        UnlessKilled([&] {
            m_result.m_delay = answered ? delay : TimedOut;
            m_result.m_level = level;
        });
        {
            std::lock_guard<std::mutex> hold(m_watch.m_lock);
            ++m_watch.m_probesDone;
        }
        m_watch.m_changed.notify_all();
        return 0;
    }

private:
    ProxyWatch& m_watch;
    const bool m_anonymity;
};

ProxyWatch::Timing ProxyWatch::TimingFrom(const char* aid, int32_t watchMinutes) {
    Timing timing{milliseconds(std::clamp(watchMinutes, 1, 1440) * 60'000LL)};
    if (aid == nullptr)
        return timing;
    const std::string_view text(aid);
    const size_t comma = text.find(',');
    if (const auto interval = Seconds(text.substr(0, comma)))
        timing.interval = *interval;
    if (comma != std::string_view::npos)
        if (const auto recheck = Seconds(text.substr(comma + 1)))
            timing.recheck = *recheck;
    return timing;
}

ProxyWatch::ProxyWatch(AppSettings& settings, ProxyList& list, FrameView& view, platform::Clock& clock, Owner owner)
    : m_settings(settings), m_list(list), m_view(view), m_owner(std::move(owner)),
      m_context(settings, m_scratch, view, clock) {}

ProxyWatch::~ProxyWatch() {
    ShutDown();
}

void ProxyWatch::CheckSoon() {
    ORV_ON_WINDOW_THREAD();
    ++m_generation;
    const ProxyItem* active = m_owner.active();
    if (active == nullptr)
        Answer(false, NoActiveText);
    m_activeLevel = active != nullptr ? active->m_anonymity.load() : Untested;
    m_stage = Stage::Check;
    if (Enabled())
        Arm(milliseconds(0));
    else
        m_view.StopTimer(TimerId::Watch);
}

void ProxyWatch::CheckNow(CheckReply reply) {
    ORV_ON_WINDOW_THREAD();
    if (m_closing)
        return reply(false, ClosingText);
    if (m_owner.active() == nullptr)
        return reply(false, NoActiveText);
    if (m_owner.busy())
        return reply(false, BusyText);
    m_replies.push_back(std::move(reply));
    // A check in flight is stale now: its end starts this one.
    ++m_generation;
    m_stage = Stage::Check;
    m_view.StopTimer(TimerId::Watch);
    if (!m_checking)
        Launch();
}

void ProxyWatch::Answer(bool passed, const std::string& text) {
    std::vector<CheckReply> replies;
    replies.swap(m_replies);
    for (const CheckReply& reply : replies)
        reply(passed, text);
}

void ProxyWatch::OnTimer() {
    ORV_ON_WINDOW_THREAD();
    m_view.StopTimer(TimerId::Watch);
    if (!Enabled() || m_closing)
        return;
    if (m_checking)
        return; // its end starts the next check
    // A run or a download takes over; the watch goes on once the list is free.
    if (m_owner.busy()) {
        Arm(BusyRetry);
        return;
    }
    Launch();
}

void ProxyWatch::ShutDown() {
    ++m_generation;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_closing = true;
    }
    m_changed.notify_all();
    // The probes' own ends kill them: their sockets are shut down, so this join is short.
    m_thread.Join();
    Answer(false, ClosingText);
}

void ProxyWatch::Arm(milliseconds delay) {
    m_view.StartTimer(TimerId::Watch, static_cast<int>(delay.count()));
}

void ProxyWatch::Launch() {
    // Taken on this thread: the settings dialog may rewrite the judge, and the probes only read the context.
    m_context.PrepareJudge();
    m_context.OwnAddress = m_owner.ownAddress();
    m_need.m_anonymity = m_settings.TestAnon != 0 && !m_settings.ProxyJudge.empty();
    m_need.m_worstLevel = m_activeLevel >= 1 && m_activeLevel <= 3 ? m_activeLevel : 3;
    std::vector<Target> targets;
    if (m_stage == Stage::Replace) {
        for (const ProxyItem* candidate :
             Candidates(m_owner.quickSwitchSet(), m_list, m_owner.active(), m_need.m_worstLevel))
            targets.push_back(TargetOf(*candidate));
        if (targets.empty()) {
            NoneWorks();
            return;
        }
    } else {
        targets.push_back(TargetOf(*m_owner.active()));
    }
    try {
        // The closing flag, not the stop token, ends it: its probes end at their own destruction.
        m_thread.Start([this, targets = std::move(targets), generation = m_generation, need = m_need](std::stop_token) {
            RunCheck(targets, generation, need);
        });
        m_checking = true;
    } catch (const std::system_error& error) {
        const std::string line = "The active proxy could not be checked: " + error.code().message() + ".";
        m_owner.log(line + "\r\n");
        Answer(false, line);
        m_stage = Stage::Check;
        Arm(TimingFrom(std::getenv(IntervalVariable), m_settings.WatchMinutes).interval);
    }
}

ProxyWatch::Target ProxyWatch::TargetOf(const ProxyItem& item) {
    return {item.ProxyAddressText(), item.Kind(), item.m_credentials};
}

void ProxyWatch::RunCheck(const std::vector<Target>& targets, uint64_t generation, Need need) {
    std::vector<Result> results;
    for (size_t first = 0; first < targets.size(); first += CandidatesAtOnce) {
        std::vector<std::unique_ptr<Probe>> probes;
        for (size_t i = first; i < std::min(targets.size(), first + CandidatesAtOnce); ++i)
            probes.push_back(std::make_unique<Probe>(*this, targets[i], need.m_anonymity));
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_probesDone = 0;
        }
        size_t failed = 0;
        for (const auto& probe : probes) {
            try {
                probe->Start();
            } catch (const CThreadException&) {
                ++failed; // its result stays "no answer"
            }
        }
        {
            std::unique_lock<std::mutex> hold(m_lock);
            m_changed.wait(hold, [&] { return m_closing || m_probesDone + failed == probes.size(); });
            if (m_closing)
                return; // the probes' ends kill them
        }
        bool passed = false;
        for (const auto& probe : probes) {
            results.push_back(probe->m_result);
            passed = passed || Passes(probe->m_result, need);
        }
        if (passed)
            break;
    }
    m_view.PostToWindow(
        [this, generation, results = std::move(results)]() mutable { OnCheckDone(generation, std::move(results)); });
}

void ProxyWatch::OnCheckDone(uint64_t generation, std::vector<Result> results) {
    ORV_ON_WINDOW_THREAD();
    // The thread has handed its last work over and is leaving.
    m_thread.Join();
    m_checking = false;
    // The active record went without a switch (deleted): nothing is left to check.
    if (m_owner.active() == nullptr)
        Answer(false, NoActiveText);
    if (m_closing || !Enabled())
        return;
    // A switch since the start: the new active proxy is checked.
    if (generation != m_generation || results.empty()) {
        Arm(milliseconds(0));
        return;
    }
    // A run took the list over: this step is done again once it is free, but no caller waits that long.
    if (m_owner.busy()) {
        Answer(false, BusyText);
        Arm(BusyRetry);
        return;
    }
    for (const Result& result : results)
        Apply(result);
    m_owner.recordsChanged();
    if (m_stage == Stage::Replace)
        OnCandidatesTested(results);
    else
        OnActiveChecked(results.front());
}

void ProxyWatch::OnActiveChecked(const Result& result) {
    const Timing timing = TimingFrom(std::getenv(IntervalVariable), m_settings.WatchMinutes);
    const std::string address = m_owner.active()->ProxyAddressText();
    // The active record went without a switch (deleted): the next step sees what is active then.
    if (address != result.m_address) {
        m_stage = Stage::Check;
        Arm(milliseconds(0));
        return;
    }
    std::string line = "Checked the active proxy " + address + ": " + ResultText(result);
    Answer(Passes(result, m_need), line + ".");
    // A check asked for with the watch off ends here.
    if (m_settings.WatchActive == 0) {
        m_stage = Stage::Check;
        m_owner.log(line + ".\r\n");
        return;
    }
    if (Passes(result, m_need)) {
        m_stage = Stage::Check;
        m_owner.log(line + ".\r\n");
        Arm(timing.interval);
    } else if (m_stage == Stage::Check) {
        m_stage = Stage::Recheck;
        m_owner.log(line + "; checking again in " + std::to_string(timing.recheck.count() / 1000) + " s.\r\n");
        Arm(timing.recheck);
    } else {
        m_stage = Stage::Replace;
        m_failed = address;
        m_owner.log(line + "; looking for another.\r\n");
        Launch();
    }
}

void ProxyWatch::OnCandidatesTested(const std::vector<Result>& results) {
    for (const Result& result : results) {
        ProxyItem* found = Passes(result, m_need) ? Find(result.m_address) : nullptr;
        if (found == nullptr)
            continue;
        const std::string failed = m_failed;
        m_stage = Stage::Check;
        // The switch checks the new proxy at once.
        m_owner.switchTo(found);
        Tell("The proxy " + failed + " stopped working; switched to " + result.m_address + ".", SwitchedTitle);
        return;
    }
    NoneWorks();
}

void ProxyWatch::NoneWorks() {
    m_stage = Stage::Check;
    if (m_settings.WhenNoProxyWorks != 0) {
        m_owner.switchTo(nullptr);
        Tell("No working proxy was found; " + m_failed + " was left for a direct connection.", NoneWorksTitle);
        return;
    }
    Tell("No working proxy was found; staying on " + m_failed + " so that nothing goes out directly.", NoneWorksTitle);
    Arm(TimingFrom(std::getenv(IntervalVariable), m_settings.WatchMinutes).interval);
}

void ProxyWatch::Tell(const std::string& text, const char* title) {
    m_owner.log(text + "\r\n");
    m_view.ShowBalloon(text, title, BalloonIcon::Warning, 10);
}

std::vector<const ProxyItem*> ProxyWatch::Candidates(const std::vector<ProxyItem*>& menu, const ProxyList& list,
                                                     const ProxyItem* active, int32_t worstLevel) {
    std::vector<const ProxyItem*> candidates;
    for (const ProxyItem* item : menu)
        if (item != active && item->m_status == StatusReady)
            candidates.push_back(item);
    std::vector<const ProxyItem*> others;
    for (size_t i = 0; i < list.GetSize(); ++i) {
        const ProxyItem* item = list[i];
        const int32_t status = item->m_status;
        const int32_t level = item->m_anonymity;
        if (item != active && status != StatusReady && status != StatusActive && level >= 1 && level <= worstLevel)
            others.push_back(item);
    }
    // Untested or dead delays go last within their level.
    const auto delayKey = [](const ProxyItem* item) {
        const int32_t delay = item->m_delay;
        return delay >= 0 ? delay : INT32_MAX;
    };
    std::stable_sort(others.begin(), others.end(), [&](const ProxyItem* a, const ProxyItem* b) {
        return std::pair(a->m_anonymity.load(), delayKey(a)) < std::pair(b->m_anonymity.load(), delayKey(b));
    });
    candidates.insert(candidates.end(), others.begin(), others.end());
    if (candidates.size() > MostCandidates)
        candidates.resize(MostCandidates);
    return candidates;
}

std::string ProxyWatch::ResultText(const Result& result) const {
    if (result.m_delay < 0)
        return "no answer";
    std::string text = "delay " + std::to_string(result.m_delay) + " ms";
    if (m_need.m_anonymity)
        text += result.m_level >= 1 ? ", level " + std::to_string(result.m_level) : ", no level";
    return text;
}

bool ProxyWatch::Passes(const Result& result, const Need& need) {
    if (result.m_delay < 0)
        return false;
    return !need.m_anonymity || (result.m_level >= 1 && result.m_level <= need.m_worstLevel);
}

void ProxyWatch::Apply(const Result& result) {
    ProxyItem* item = Find(result.m_address);
    if (item == nullptr)
        return; // deleted meanwhile
    item->m_delay = result.m_delay;
    if (m_need.m_anonymity) {
        if (LevelCounter* old = m_list.CounterOf(item->m_anonymity))
            old->Set(old->Get() - 1);
        if (LevelCounter* now = m_list.CounterOf(result.m_level))
            now->Increment();
        item->m_anonymity = result.m_level;
    }
    // The active record stays active, and one the user put in the tray stays there while it works.
    const int32_t status = item->m_status;
    if (status != StatusActive && !(status == StatusReady && Passes(result, m_need)))
        item->DeriveStatus(m_settings.Items());
    m_view.RedrawRows(static_cast<int32_t>(item->m_index), static_cast<int32_t>(item->m_index));
}

ProxyItem* ProxyWatch::Find(const std::string& address) const {
    for (size_t i = 0; i < m_list.GetSize(); ++i)
        if (m_list[i]->ProxyAddressText() == address)
            return m_list[i];
    return nullptr;
}
