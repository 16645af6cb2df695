#include "app/ProxyWatch.h"

#include "platform/WindowThread.h"
#include "proxy/ProxyItem.h"
#include "tester/CInternetThread.h"
#include "tester/CThreadException.h"

#include <algorithm>
#include <charconv>
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
    Probe(ProxyWatch& watch, std::string address, bool anonymity)
        : CInternetThread(watch.m_context), m_watch(watch), m_anonymity(anonymity) {
        m_proxyAddress = address;
        m_result.m_address = std::move(address);
    }
    ~Probe() override { EndThread(); }

    // Read once the probe has told the watch that it is done.
    Result m_result;

protected:
    int32_t Run() override {
        const int32_t delay = MeasureDelay();
        const int32_t level = delay >= 0 && m_anonymity ? TestAnonymity() : TimedOut;
        UnlessKilled([&] {
            m_result.m_delay = delay;
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
    m_activeLevel = active != nullptr ? active->m_anonymity.load() : Untested;
    if (Enabled())
        Arm(milliseconds(0));
    else
        m_view.StopTimer(TimerId::Watch);
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
    if (m_thread.joinable())
        m_thread.join();
}

void ProxyWatch::Arm(milliseconds delay) {
    m_view.StartTimer(TimerId::Watch, static_cast<int>(delay.count()));
}

void ProxyWatch::Launch() {
    // Taken on this thread: the settings dialog may rewrite the judge, and the probes only read the context.
    m_context.PrepareJudge();
    m_context.OwnAddress = m_owner.ownAddress();
    const bool anonymity = m_settings.TestAnon != 0 && !m_settings.ProxyJudge.empty();
    std::vector<std::string> addresses = {m_owner.active()->ProxyAddressText()};
    try {
        m_thread = std::thread([this, addresses = std::move(addresses), generation = m_generation, anonymity] {
            RunCheck(addresses, generation, anonymity);
        });
        m_checking = true;
    } catch (const std::system_error& error) {
        m_owner.log("The active proxy could not be checked: " + error.code().message() + ".\r\n");
        Arm(TimingFrom(std::getenv(IntervalVariable), m_settings.WatchMinutes).interval);
    }
}

void ProxyWatch::RunCheck(const std::vector<std::string>& addresses, uint64_t generation, bool anonymity) {
    std::vector<std::unique_ptr<Probe>> probes;
    for (const std::string& address : addresses)
        probes.push_back(std::make_unique<Probe>(*this, address, anonymity));
    size_t failed = 0;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_probesDone = 0;
    }
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
            return;
    }
    std::vector<Result> results;
    for (const auto& probe : probes)
        results.push_back(probe->m_result);
    probes.clear();
    m_view.PostToWindow(
        [this, generation, results = std::move(results)]() mutable { OnCheckDone(generation, std::move(results)); });
}

void ProxyWatch::OnCheckDone(uint64_t generation, std::vector<Result> results) {
    ORV_ON_WINDOW_THREAD();
    // The thread has handed its last work over and is leaving.
    m_thread.join();
    m_checking = false;
    if (m_closing || !Enabled())
        return;
    const Timing timing = TimingFrom(std::getenv(IntervalVariable), m_settings.WatchMinutes);
    // A switch since the start, or a run that took the list over: the check is done again.
    if (generation != m_generation || results.empty()) {
        Arm(milliseconds(0));
        return;
    }
    if (m_owner.busy()) {
        Arm(BusyRetry);
        return;
    }
    const Result& result = results.front();
    if (m_owner.active()->ProxyAddressText() != result.m_address) {
        Arm(milliseconds(0));
        return;
    }
    for (const Result& each : results)
        Apply(each);
    m_owner.recordsChanged();
    m_owner.log("Checked the active proxy " + result.m_address + ": " + ResultText(result) + ".\r\n");
    Arm(timing.interval);
}

std::string ProxyWatch::ResultText(const Result& result) const {
    if (result.m_delay < 0)
        return "no answer";
    std::string text = "delay " + std::to_string(result.m_delay) + " ms";
    if (m_settings.TestAnon != 0)
        text += result.m_level >= 1 ? ", level " + std::to_string(result.m_level) : ", no level";
    return text;
}

bool ProxyWatch::Passes(const Result& result) const {
    if (result.m_delay < 0)
        return false;
    if (m_settings.TestAnon == 0)
        return true;
    const int32_t worst = m_activeLevel >= 1 && m_activeLevel <= 3 ? m_activeLevel : 3;
    return result.m_level >= 1 && result.m_level <= worst;
}

void ProxyWatch::Apply(const Result& result) {
    ProxyItem* item = Find(result.m_address);
    if (item == nullptr)
        return; // deleted meanwhile
    item->m_delay = result.m_delay;
    if (m_settings.TestAnon != 0) {
        LevelCounter* counters[] = {&m_list.m_level1Count, &m_list.m_level2Count, &m_list.m_level3Count};
        const int32_t old = item->m_anonymity;
        if (old >= 1 && old <= 3)
            counters[old - 1]->Set(counters[old - 1]->Get() - 1);
        if (result.m_level >= 1 && result.m_level <= 3)
            counters[result.m_level - 1]->Increment();
        item->m_anonymity = result.m_level;
    }
    // The active record stays active, and one the user put in the tray stays there while it works.
    const int32_t status = item->m_status;
    if (status != StatusActive && !(status == StatusReady && Passes(result)))
        item->DeriveStatus(m_settings.Items());
    m_view.RedrawRows(static_cast<int32_t>(item->m_index), static_cast<int32_t>(item->m_index));
}

ProxyItem* ProxyWatch::Find(const std::string& address) const {
    for (size_t i = 0; i < m_list.GetSize(); ++i)
        if (m_list[i]->ProxyAddressText() == address)
            return m_list[i];
    return nullptr;
}
