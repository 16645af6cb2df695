#include "tester/TestRun.h"

#include "platform/Clock.h"
#include "proxy/ProxyItem.h"
#include "proxy/ProxyList.h"
#include "settings/AppSettings.h"
#include "tester/CInternetThread.h"
#include "tester/CThreadException.h"
#include "tester/HttpGetDirect.h"
#include "tester/TestContext.h"
#include "tester/TestLog.h"
#include "tester/TestRunHost.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

namespace {

std::string Format(const char* format, long long a, long long b = 0, long long c = 0) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

struct SettingBound {
    const char* m_name;
    RelaxedInt32 AppSettings::*m_field;
    int32_t m_least;
    int32_t m_most;
};

constexpr SettingBound RunBounds[] = {
    {"MaxThread", &AppSettings::MaxThread, 1, TestRun::MostThreads},
    {"Timeout", &AppSettings::Timeout, 1, TestRun::MostTimeout},
};

} // namespace

void TestRun::Task::Start(std::function<void()> body) {
    Join();
    auto state = std::make_shared<State>();
    m_thread = std::thread([state, body = std::move(body)] {
        body();
        std::lock_guard<std::mutex> hold(state->lock);
        state->done = true;
        state->ended.notify_all();
    });
    m_state = std::move(state);
}

bool TestRun::Task::WaitEnded(std::chrono::milliseconds limit) {
    if (!m_state)
        return true;
    std::unique_lock<std::mutex> hold(m_state->lock);
    return m_state->ended.wait_for(hold, limit, [this] { return m_state->done; });
}

void TestRun::Task::Join() {
    if (m_thread.joinable())
        m_thread.join();
}

TestRun::TestRun(TestContext& context, TestLog& log, std::atomic<RunState>& testing, Hooks hooks)
    : m_workerStackSize(CInternetThread::DefaultStackSize), m_context(context), m_log(log), m_testing(testing),
      m_hooks(std::move(hooks)) {}

int32_t TestRun::WorkersAllowed(uint64_t openFileLimit) {
    const uint64_t workers =
        openFileLimit > DescriptorMargin ? (openFileLimit - DescriptorMargin) / DescriptorsPerWorker : 0;
    return static_cast<int32_t>(std::clamp<uint64_t>(workers, 1, INT32_MAX));
}

TestRun::~TestRun() {
    m_closing = true;
    StopTest();
    WakeSleepers();
    // The stopper joins the controller itself; only one thread may join it.
    m_stopperThread.Join();
    m_controllerThread.Join();
    m_workers.clear();
}

void TestRun::StartTest() {
    const AppSettings& settings = m_context.m_settings;
    if (m_testing != RunState::Idle)
        return;
    if (!settings.TestDelay && !settings.TestAnon && !settings.TestCountry && !settings.TestSSL &&
        !settings.TestGateway && !settings.TestDanger && !settings.TestCodeen) {
        ShowMessage(NoTestItemText);
        return;
    }
    if (settings.TestAnon) {
        if (settings.ProxyJudge.empty() || m_stopRequested)
            return;
        m_context.PrepareJudge();
    }
    m_context.PreparePage();
    TestRunHost& view = m_context.m_host;
    view.StartTimer(TimerId::TestTick, 1000);
    view.ShowTestLine(TestLineMode::Running, "");
    // Both threads of the last run have ended or are leaving; nothing below may run beside them.
    m_stopperThread.Join();
    m_controllerThread.Join();

    SetTesting(RunState::Running);
    m_stopRequested = false;
    m_workers.clear();
    m_progress = 0;
    m_outcome = Outcome::None;
    m_testStartSeconds = LocalSeconds();
    m_workersAllowed = WorkersAllowed(m_context.OpenFileLimit);
    m_promptDispatch = settings.DispatchOnTick == 0;
    {
        std::lock_guard<std::mutex> hold(m_sleepLock);
        m_workersEnded = 0;
    }
    // The start lines come before anything the controller writes.
    const std::string clamped = ClampSettings();
    std::string text = StartText() + clamped;
    if (settings.MaxThread.load() > m_workersAllowed)
        text += Format(FewerThreadsText, settings.MaxThread.load(), m_workersAllowed);
    m_log.AppendLog(text);
    try {
        m_controllerThread.Start([this] { TestProxies(); });
    } catch (const std::system_error& error) {
        ShowMessage(error.code().message());
        view.StopTimer(TimerId::TestTick);
        view.StartTimer(TimerId::PanelRefresh, 0);
        SetTesting(RunState::Idle);
    }
}

std::string TestRun::ClampSettings() {
    AppSettings& settings = m_context.m_settings;
    const AppSettings defaults;
    std::string text;
    for (const SettingBound& bound : RunBounds) {
        RelaxedInt32& field = settings.*bound.m_field;
        const int32_t value = field;
        if (value == 0 && settings.NotNumbers.erase(bound.m_name) != 0) {
            field = defaults.*bound.m_field;
            text += std::string(bound.m_name) + " is not a number; using " + std::to_string(field.load()) + ".\r\n";
        } else if (value < bound.m_least || value > bound.m_most) {
            field = std::clamp(value, bound.m_least, bound.m_most);
            text += std::string(bound.m_name) + " " + std::to_string(value) + " is out of range; using " +
                    std::to_string(field.load()) + ".\r\n";
        }
    }
    return text;
}

std::string TestRun::StartText() const {
    const AppSettings& settings = m_context.m_settings;
    std::string text =
        Format("Proxies to be tested: %lld, Threads: %lld, Timeout: %llds\r\n", static_cast<long long>(TestSet.size()),
               settings.MaxThread.load(), settings.Timeout.load());
    std::string items;
    const std::pair<int32_t, const char*> words[] = {
        {settings.TestDelay, "delay, "},   {settings.TestAnon, "anonymity, "},  {settings.TestCountry, "country, "},
        {settings.TestSSL, "ssl, "},       {settings.TestGateway, "gateway, "}, {settings.TestDanger, "danger, "},
        {settings.TestCodeen, "codeen, "},
    };
    for (const auto& [on, word] : words)
        if (on)
            items += word;
    items.resize(items.size() >= 2 ? items.size() - 2 : 0);
    text += "Test items: " + items + "\r\n";
    text += "Started testing the proxy list at " + m_context.m_clock.FormatLocalTime("%H:%M:%S") + "\r\n";
    return text;
}

void TestRun::TestProxies() {
    if (m_context.m_settings.TestAnon && !CheckJudge())
        return;
    if (m_stopRequested) {
        EndUntested();
        return;
    }
    if (!TestSet.empty()) {
        PrepareRecords();
        LoadLookups();
    }
    m_log.AppendLog(TestSet.size() == m_context.m_list.GetSize() ? "Verifying all the proxies in the list...\r\n"
                                                                 : "Verifying the selected proxies in the list...\r\n");
    if (!Dispatch())
        return;
    Drain();
    WriteSummary();
}

void TestRun::ShowMessage(const std::string& text) {
    if (m_hooks.showMessage)
        m_hooks.showMessage(text);
}

std::string TestRun::JudgeFailedLine(const std::string& url, const char* reason) {
    return "Proxy judge " + url + " failed: " + reason + ".\r\n";
}

bool TestRun::FetchJudge(const std::string& url, std::string& page) {
    // The judge page is read on a thread of its own, so that a stop or a closing window need not wait
    // for a judge that is slow to answer: the stop shuts the fetch's connection down.
    m_judgeFetch.Stop(); // the last fetch's, which was told to stop already
    {
        std::lock_guard<std::mutex> hold(m_sleepLock);
        m_judgeFetched = false;
        m_judgePage.clear();
    }
    const auto fetch = [this, url, timeout = m_context.m_settings.Timeout.load()](std::stop_token stop) {
        std::string reply = HttpGetDirect(url, timeout, stop);
        {
            std::lock_guard<std::mutex> hold(m_sleepLock);
            m_judgePage = std::move(reply);
            m_judgeFetched = true;
        }
        m_wake.notify_all();
    };
    try {
        m_judgeFetch.Start(fetch);
    } catch (const std::system_error&) {
        fetch(std::stop_token());
    }
    bool fetched = false;
    {
        std::unique_lock<std::mutex> hold(m_sleepLock);
        m_wake.wait(hold, [this] { return m_judgeFetched || m_closing || m_stopRequested; });
        fetched = m_judgeFetched;
        page = std::move(m_judgePage);
    }
    // An unfinished fetch is only told to stop, which shuts its connection down; the next fetch or
    // the run's end joins it.
    if (fetched)
        m_judgeFetch.Join();
    else
        m_judgeFetch.RequestStop();
    return fetched && !m_closing && !m_stopRequested;
}

bool TestRun::CheckJudge() {
    // The first judge that shows this computer's address serves the run; with several, each one that
    // fails before it is named in the log.
    const std::vector<std::string> judges = m_context.Judges;
    bool learned = false;
    for (const std::string& url : judges) {
        std::string page;
        if (!FetchJudge(url, page))
            break;
        if (m_context.LearnOwnAddress(page) == 0) {
            m_context.UseJudge(url);
            learned = true;
            break;
        }
        if (judges.size() > 1)
            m_log.AppendLog(JudgeFailedLine(url, page.empty() ? "no answer" : "no own address"));
    }
    if (m_closing)
        return false;
    // A user who has pressed Stop gets the stop, neither the judge's verdict nor the question.
    if (m_stopRequested || learned)
        return true;

    m_log.AppendLog(JudgeErrorText);
    const bool stop = m_hooks.askStopWithoutJudge && m_hooks.askStopWithoutJudge();
    if (m_closing)
        return false;
    if (!stop)
        return true;
    m_log.AppendLog(JudgeStopLine);
    m_context.m_host.StopTimer(TimerId::TestTick);
    m_context.m_host.StartTimer(TimerId::PanelRefresh, 0);
    m_outcome = Outcome::JudgeRefused;
    // Last: from here on the window may start another run.
    SetTesting(RunState::Idle);
    return false;
}

void TestRun::EndUntested() {
    const int32_t elapsed = ElapsedSeconds();
    m_log.AppendLog(SummaryText(true, elapsed, m_context.m_clock.FormatLocalTime("%H:%M:%S")));
    m_context.m_host.StopTimer(TimerId::TestTick);
    m_context.m_host.StartTimer(TimerId::PanelRefresh, 0);
    m_outcome = Outcome::Stopped;
    // The stopper empties TestSet and returns to idle once this thread has ended.
}

int32_t TestRun::ElapsedSeconds() const {
    const int32_t elapsed = LocalSeconds() - m_testStartSeconds;
    return elapsed < 0 ? elapsed + 86'400 : elapsed; // the run crossed midnight
}

std::string TestRun::SummaryText(bool stopped, int32_t elapsed, const std::string& time) const {
    const ProxyList& list = m_context.m_list;
    std::string text = stopped ? "User stopped testing at " : "Finished testing the proxies at ";
    text += time + Format(" (%llds)\r\n", elapsed);
    text += Format("High Anonymous: %lld, Anonymous: %lld, Transparent: %lld\r\n", list.m_level1Count.Get(),
                   list.m_level2Count.Get(), list.m_level3Count.Get());
    return text;
}

void TestRun::SetTesting(RunState value) {
    m_testing = value;
    m_context.m_host.TestingChanged();
}

void TestRun::PrepareRecords() {
    const AppSettings& settings = m_context.m_settings;
    ProxyList& list = m_context.m_list;
    if (settings.TestAnon) {
        if (TestSet.size() == list.GetSize()) {
            list.m_level1Count.Set(0);
            list.m_level2Count.Set(0);
            list.m_level3Count.Set(0);
        } else {
            // The records are about to be tested again; their new levels are counted as they arrive.
            for (const ProxyItem* item : TestSet)
                if (LevelCounter* counter = list.CounterOf(item->m_anonymity))
                    counter->Set(counter->Get() - 1);
        }
    }
    for (ProxyItem* item : TestSet)
        item->ResetForTest(settings.Items());
    m_context.m_host.RefreshListView();
}

void TestRun::LoadLookups() {
    const AppSettings& settings = m_context.m_settings;
    if (settings.TestCountry) {
        std::string error;
        if (!m_context.Countries.Load(m_context.GeoIpPath, error))
            m_log.AppendLog(NoCountryText + error + ".\r\n");
    }
    if (settings.TestSSL) {
        std::string error;
        if (!m_context.Tls.Prepare(m_context.TlsCaFile, error))
            m_log.AppendLog(NoHttpsText + error + ".\r\n");
    }
    m_context.DangerousLoaded = false;
    if (settings.TestDanger) {
        DangerousList& dangerous = m_context.Dangerous;
        dangerous.FreeDangerousList();
        m_context.DangerousLoaded = dangerous.LoadDangerousList(m_context.DangerousListPath) == DangerousList::Loaded;
        if (!m_context.DangerousLoaded)
            m_log.AppendLog(NoDangerText + m_context.DangerousListPath + ".\r\n");
    }
}

bool TestRun::Dispatch() {
    const size_t count = TestSet.size();
    size_t next = 0;
    while (next < count && !m_stopRequested) {
        // A settings file edited by hand may say 0: one worker at a time is the least that ends.
        const size_t pool =
            static_cast<size_t>(std::clamp<int32_t>(m_context.m_settings.MaxThread, 1, m_workersAllowed));
        if (m_workers.size() >= pool) {
            WaitForWorkers();
            Reap();
            m_progress = ProgressOf(next);
            continue;
        }
        const ProxyItem& item = *TestSet[next];
        auto worker = std::make_unique<CInternetThread>(m_context, m_workerStackSize);
        worker->m_proxyAddress = item.ProxyAddressText();
        worker->m_kind = item.Kind();
        worker->m_credentials = item.m_credentials;
        worker->m_itemIndex = static_cast<int32_t>(item.m_index);
        if (m_promptDispatch)
            worker->m_onEnded = [this] { WorkerEnded(); };
        try {
            worker->Start();
        } catch (const CThreadException& error) {
            ShowMessage(error.m_message);
            worker.reset();
            AbandonRun();
            return false;
        }
        m_workers.push_back(std::move(worker));
        m_progress = ProgressOf(next + 1);
        ++next;
    }
    return true;
}

void TestRun::Drain() {
    while (!m_workers.empty() && !m_stopRequested) {
        Reap();
        m_progress = ProgressOf(TestSet.size());
        if (!m_workers.empty())
            WaitForWorkers();
    }
}

void TestRun::WriteSummary() {
    // One reading of the stop flag decides the text, the balloon and who ends the stopping state.
    const bool stopped = m_stopRequested;
    // The list stays closed to editing until it is saved; Stopping also lets the panel leave the progress line.
    SetTesting(RunState::Stopping);
    const int32_t elapsed = ElapsedSeconds();
    // One reading of the clock for the log line and LastTestedText.
    const std::string stamp = m_context.m_clock.FormatLocalTime("%Y-%m-%d %H:%M:%S");
    m_log.AppendLog(SummaryText(stopped, elapsed, stamp.size() > 11 ? stamp.substr(11) : stamp));

    TestRunHost& view = m_context.m_host;
    view.StopTimer(TimerId::TestTick);
    if (m_hooks.rebuildQuickSwitchSet)
        m_hooks.rebuildQuickSwitchSet();
    if (m_hooks.setLastTestedText)
        m_hooks.setLastTestedText(stamp);
    view.StartTimer(TimerId::PanelRefresh, 0);
    view.RefreshListView();
    TestSet.clear();
    TestSet.shrink_to_fit();
    if (m_hooks.saveList)
        m_hooks.saveList();
    if (!stopped)
        view.ShowBalloon(FinishedBalloon, "", BalloonIcon::None, 10);
    m_outcome = stopped ? Outcome::Stopped : Outcome::Finished;
    // After a stop the stopper returns to idle once it has killed the workers still busy.
    if (!stopped)
        SetTesting(RunState::Idle);
}

void TestRun::AbandonRun() {
    // The workers already started would write into records that the window is about to let the
    // user edit again: they go first.
    KillWorkers();
    TestRunHost& view = m_context.m_host;
    view.StopTimer(TimerId::TestTick);
    view.StartTimer(TimerId::PanelRefresh, 0);
    view.RefreshListView();
    TestSet.clear();
    TestSet.shrink_to_fit();
    m_outcome = Outcome::WorkerStartFailed;
    if (!m_stopRequested)
        SetTesting(RunState::Idle);
}

void TestRun::StopTest() {
    if (m_stopRequested || m_testing != RunState::Running)
        return;
    m_stopRequested = true;
    SetTesting(RunState::Stopping);
    WakeSleepers();
    try {
        m_stopperThread.Start([this] { FinishStop(); });
    } catch (const std::system_error& error) {
        // No thread for the stopper: the stop is done here, which waits for the controller.
        ShowMessage(error.code().message());
        FinishStop();
    }
}

void TestRun::FinishStop() {
    m_controllerThread.Join();
    KillWorkers();
    TestSet.clear();
    TestSet.shrink_to_fit();
    m_stopRequested = false;
    SetTesting(RunState::Idle);
}

bool TestRun::ShutDown(std::chrono::milliseconds limit) {
    m_closing = true;
    StopTest();
    WakeSleepers();
    return WaitUntilIdle(limit);
}

bool TestRun::WaitUntilIdle(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    const auto left = [&] {
        return std::max(std::chrono::milliseconds(0), std::chrono::duration_cast<std::chrono::milliseconds>(
                                                          deadline - std::chrono::steady_clock::now()));
    };
    return m_controllerThread.WaitEnded(left()) && m_stopperThread.WaitEnded(left());
}

void TestRun::Reap() {
    // Deleting a worker joins its thread, so a worker seen ended here is safe to delete.
    std::erase_if(m_workers, [this](const std::unique_ptr<CInternetThread>& worker) {
        if (worker->IsAlive())
            return false;
        // The address alone: the credentials never go into the log.
        if (worker->m_authRefused)
            m_log.AppendLog("Proxy " + worker->m_proxyAddress + ": authentication refused.\r\n");
        return true;
    });
}

void TestRun::WorkerEnded() {
    {
        std::lock_guard<std::mutex> hold(m_sleepLock);
        ++m_workersEnded;
    }
    m_wake.notify_all();
}

void TestRun::WaitForWorkers() {
    std::unique_lock<std::mutex> hold(m_sleepLock);
    // The count is taken under the lock that the workers raise it under: an end after it wakes the next wait.
    m_wake.wait_for(hold, PollInterval, [&] { return m_closing || m_stopRequested || m_workersEnded != 0; });
    m_workersEnded = 0;
}

void TestRun::KillWorkers() {
    // Each Kill waits for its thread: thousands of busy workers are all told first and end side by side.
    for (const auto& worker : m_workers)
        worker->RequestKill(1);
    while (!m_workers.empty()) {
        for (auto at = m_workers.begin(); at != m_workers.end();) {
            if (!(*at)->IsAliveLocked()) {
                at = m_workers.erase(at);
            } else {
                (*at)->Kill(1, true);
                ++at;
            }
        }
        if (!m_workers.empty())
            Sleep(StopperInterval);
    }
}

void TestRun::Sleep(std::chrono::milliseconds interval) {
    std::unique_lock<std::mutex> hold(m_sleepLock);
    m_wake.wait_for(hold, interval, [&] { return m_closing.load(); });
}

void TestRun::WakeSleepers() {
    // Taking the lock orders the flag's change before a sleeper's test of it.
    { std::lock_guard<std::mutex> hold(m_sleepLock); }
    m_wake.notify_all();
}

int32_t TestRun::ProgressOf(size_t done) const {
    const long long count = static_cast<long long>(TestSet.size());
    const long long finished = static_cast<long long>(done) - m_context.LiveWorkerCount.load();
    return count == 0 ? 0 : static_cast<int32_t>(finished * 100 / count);
}

int32_t TestRun::LocalSeconds() const {
    return m_context.m_clock.LocalTimeOfDayMs() / 1000;
}
