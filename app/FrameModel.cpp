#include "app/FrameModel.h"

#include "app/AppFolders.h"
#include "app/CommandIds.h"
#include "app/RunPrompts.h"
#include "download/ListService.h"
#include "platform/Clipboard.h"
#include "platform/FileDialog.h"
#include "platform/InputFile.h"
#include "platform/MessageBox.h"
#include "platform/PortNumber.h"
#include "platform/ShellOpen.h"
#include "platform/WindowThread.h"
#include "proxy/DangerousList.h"
#include "proxy/ProxyKey.h"
#include "proxy/ProxyKind.h"
#include "proxy/ProxySorter.h"
#include "proxy/ProxyTextParser.h"
#include "settings/AtomicFile.h"
#include "settings/SavedList.h"
#include "settings/SettingsStore.h"
#include "switching/ProxyServer.h"
#include "syscheck/SystemCheck.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::string Format(const char* format, long long number) {
    char line[128];
    std::snprintf(line, sizeof line, format, number);
    return line;
}

// What Load List asks of a file's pairs written without a scheme; the kinds in the order offered.
constexpr ProxyKind ListKinds[] = {ProxyKind::Http, ProxyKind::Socks4, ProxyKind::Socks5, ProxyKind::Detect};
const std::vector<std::string> ListKindItems = {"HTTP", "SOCKS4", "SOCKS5", "Detect while testing"};

// Lists published one file per protocol say it in their names (socks4.txt, socks5.txt).
size_t ListKindGuess(const std::string& path) {
    std::string name = path.substr(path.rfind('/') + 1);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    if (name.find("socks5") != std::string::npos)
        return 2;
    return name.find("socks4") != std::string::npos ? 1 : 0;
}

// The port as the standard text-to-integer conversion reads it, folded into 0..65535: unlike the tester's
// reading, leading blanks and a sign are taken, and a minus counts back from 65536.
void RewritePort(ProxyItem& item) {
    std::string_view text(item.m_port, strnlen(item.m_port, sizeof item.m_port));
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    const bool negative = !text.empty() && text.front() == '-';
    if (!text.empty() && (text.front() == '-' || text.front() == '+'))
        text.remove_prefix(1);
    const uint32_t folded = FoldPort(text);
    const uint32_t value = negative ? (65536 - folded) % 65536 : folded;
    *std::to_chars(item.m_port, item.m_port + ProxyItem::MaxPortLength, value).ptr = '\0';
}

// ProxyAddressText without building a string: a million of them would each go to the heap.
int64_t RecordKey(const ProxyItem& item) {
    char pair[ProxyItem::MaxIpLength + ProxyItem::MaxPortLength + 2];
    const size_t ipLength = strnlen(item.m_ip, ProxyItem::MaxIpLength);
    const size_t portLength = strnlen(item.m_port, ProxyItem::MaxPortLength);
    std::memcpy(pair, item.m_ip, ipLength);
    pair[ipLength] = ':';
    std::memcpy(pair + ipLength + 1, item.m_port, portLength);
    return ProxyKey(std::string_view(pair, ipLength + 1 + portLength));
}

} // namespace

FrameModel::FrameModel(FrameView& view, Services services, std::string programFolder, std::string dataFolder,
                       FirefoxChannel::Ports firefoxPorts)
    : m_programFolder(std::move(programFolder)), m_dataFolder(std::move(dataFolder)), m_view(view),
      m_services(services), m_desktopProxy(services.systemProxy, m_dataFolder),
      m_firefox(std::make_unique<FirefoxChannel>(m_settings.ChangeFFProxy, firefoxPorts)),
      m_run(std::make_unique<TestRun>(m_context, m_log, m_testing, RunHooks())),
      m_watch(m_settings, m_list, view, m_clock, WatchOwner()) {
    m_context.DangerousListPath = DangerousPath();
}

FrameModel::~FrameModel() {
    EndDownload();
}

TestRun::Hooks FrameModel::RunHooks() {
    TestRun::Hooks hooks;
    // The tray menu and the panel read the quick-switch set on the window's thread only.
    hooks.rebuildQuickSwitchSet = [this] { m_view.PostToWindow([this] { RebuildQuickSwitchSet(); }); };
    hooks.setLastTestedText = [this](const std::string& text) { SetLastTestedText(text); };
    hooks.saveList = [this] { SaveList(); };
    ShowRunPromptsIn(m_services.messageBox, hooks);
    return hooks;
}

ProxyWatch::Owner FrameModel::WatchOwner() {
    ProxyWatch::Owner owner;
    owner.active = [this] { return m_activeProxy; };
    owner.busy = [this] { return m_testing != RunState::Idle; };
    owner.ownAddress = [this] { return m_context.OwnAddress; };
    owner.recordsChanged = [this] {
        RebuildQuickSwitchSet();
        RequestPanelRefresh();
    };
    owner.log = [this](const std::string& line) { AppendLog(line); };
    owner.quickSwitchSet = [this]() -> const std::vector<ProxyItem*>& { return m_quickSwitchSet; };
    owner.switchTo = [this](ProxyItem* item) { SwitchTo(item); };
    return owner;
}

void FrameModel::LoadSettingsAndList() {
    // What saves killed halfway left behind belongs to nobody any more.
    RemoveAbandonedTemporaries(m_dataFolder);
    SettingsStore store(m_settings, m_dataFolder);
    // Not the program's folder: once installed, that is a system folder the user cannot write.
    if (const std::string problem = store.LoadSettings(AppFolders::DocumentsFolder()); !problem.empty())
        AppendLog("The settings file " + store.Path() + " could not be read (" + problem +
                  "); the default settings are used.\r\n");
    SavedList::LoadResult loaded = SavedList::LoadList(m_dataFolder, m_list);
    if (loaded.m_loaded) {
        SetLastTestedText(loaded.m_lastTestedText);
        m_activeProxy = loaded.m_activeProxy;
        m_view.RefreshListView();
        m_view.StartTimer(TimerId::PanelRefresh, LoadListRefreshDelayMs);
        AppendLog(loaded.m_logText);
    }
    if (!loaded.m_damage.empty())
        KeepDamagedList(loaded.m_damage);
    RebuildQuickSwitchSet();
}

void FrameModel::KeepDamagedList(const std::string& damage) {
    int error = 0;
    const auto movedTo = SavedList::MoveAside(m_dataFolder, m_clock.FormatLocalTime("%Y-%m-%dT%H-%M-%S"), error);
    if (movedTo) {
        AppendLog("The saved list could not be read whole (" + damage + "); it was moved to " + *movedTo + ".\r\n");
        return;
    }
    m_savedListHeld = true;
    AppendLog("The saved list could not be read whole (" + damage + ") nor moved aside (" + platform::ErrorText(error) +
              "); it will not be saved over.\r\n");
}

void FrameModel::AnnounceActiveProxy() {
    NotifyFirefox();
    if (m_activeProxy != nullptr)
        ApplyIEProxy();
    else if (m_settings.ChangeIEProxy != 0 && m_desktopProxy.RestoreKept())
        AppendLog(KeptRestoredLine);
    m_watch.CheckSoon();
}

bool FrameModel::ShutDown() {
    const auto start = std::chrono::steady_clock::now();
    m_watch.ShutDown();
    m_view.StopTimer(TimerId::Watch);
    const bool runEnded = m_run->ShutDown(ShutDownLimit);
    EndDownload();
    m_view.StopTimer(TimerId::TestTick);
    m_view.StopTimer(TimerId::PanelRefresh);
    // Saved first, so that the active record keeps its status on disk.
    const auto saveStart = std::chrono::steady_clock::now();
    if (const std::string problem = TrySaveList(); !problem.empty())
        m_services.messageBox.Show(std::string(ListSubject) + " could not be saved to " + m_dataFolder +
                                   SavedList::FileName + ": " + problem +
                                   ".\nThe changes since the last save are lost.");
    LeaveBrowsersOnExit(start + ExitLimit + (std::chrono::steady_clock::now() - saveStart));
    if (!runEnded)
        return false;
    m_activeProxy = nullptr;
    m_quickSwitchSet.clear();
    m_list.RemoveAll();
    m_view.RefreshListView();
    return true;
}

bool FrameModel::SaveList() {
    return TrySaveList().empty();
}

std::string FrameModel::TrySaveList() {
    std::string problem;
    {
        std::lock_guard<std::mutex> hold(m_saveLock);
        int error = 0;
        if (m_savedListHeld)
            problem = "the damaged list there could not be moved aside";
        else if (!SavedList::SaveList(m_dataFolder, m_list, LastTestedText(), &error))
            problem = platform::ErrorText(error);
    }
    if (!problem.empty())
        ReportSaveFailure(ListSubject, m_dataFolder + SavedList::FileName, problem);
    return problem;
}

void FrameModel::ReportSaveFailure(const std::string& subject, const std::string& path, const std::string& reason) {
    const std::string line = subject + " could not be saved to " + path + ": " + reason + ".";
    AppendLog(line + "\r\n");
    // One balloon is enough to send the user to the log; a full disk would otherwise raise one a tick.
    if (!m_saveFailureShown.exchange(true))
        m_view.ShowBalloon(line + " Your changes stay in the window until a save works.", NotSavedTitle,
                           BalloonIcon::Warning, 10);
}

std::string FrameModel::LastTestedText() const {
    std::lock_guard<std::mutex> hold(m_lastTestedLock);
    return m_lastTestedText;
}

void FrameModel::SetLastTestedText(std::string text) {
    std::lock_guard<std::mutex> hold(m_lastTestedLock);
    m_lastTestedText = std::move(text);
}

void FrameModel::OnTimer(TimerId id) {
    ORV_ON_WINDOW_THREAD();
    if (id == TimerId::PanelRefresh) {
        m_view.StopTimer(TimerId::PanelRefresh);
        RefreshPanel();
    } else if (id == TimerId::TestTick) {
        OnTestTick();
    } else if (id == TimerId::StartUp) {
        m_view.StopTimer(TimerId::StartUp);
        if (m_settings.CheckSystem == 0)
            RunSystemCheck();
        m_firefox->StartListener();
    } else if (id == TimerId::Watch) {
        m_watch.OnTimer();
    }
}

void FrameModel::OnTestTick() {
    ORV_ON_WINDOW_THREAD();
    RebuildQuickSwitchSet();
    PanelCounters now;
    now.level1 = m_list.m_level1Count.Get();
    now.level2 = m_list.m_level2Count.Get();
    now.level3 = m_list.m_level3Count.Get();
    now.progress = m_run->Progress();
    now.ready = static_cast<int32_t>(m_quickSwitchSet.size());
    m_view.ShowPanelUpdates(m_panel.Tick(now));
    if (++m_ticks > AutoSaveTicks) {
        m_ticks = 0;
        SaveList();
    }
}

void FrameModel::RefreshPanel() {
    ORV_ON_WINDOW_THREAD();
    PanelSnapshot snapshot;
    snapshot.total = static_cast<int32_t>(m_list.GetSize());
    snapshot.level1 = m_list.m_level1Count.Get();
    snapshot.level2 = m_list.m_level2Count.Get();
    snapshot.level3 = m_list.m_level3Count.Get();
    snapshot.ready = static_cast<int32_t>(m_quickSwitchSet.size());
    snapshot.testing = IsTesting();
    snapshot.downloading = m_downloading;
    snapshot.lastTestedText = LastTestedText();
    if (m_activeProxy != nullptr)
        snapshot.activeProxy = m_activeProxy->ProxyAddressText();
    const PanelRefresh refresh = StatusPanel::FullRefresh(snapshot);
    if (refresh.clearLastTested)
        SetLastTestedText("");
    m_view.ShowPanelUpdates(refresh.updates);
    m_view.AnimateTray(m_activeProxy != nullptr);
}

void FrameModel::GetCellInfo(CellInfo& cell) const {
    if (cell.m_row < 0 || static_cast<size_t>(cell.m_row) >= m_list.GetSize())
        return;
    FillProxyCell(*m_list[static_cast<size_t>(cell.m_row)], cell);
}

CommandState FrameModel::UpdateCommand(int id) {
    ORV_ON_WINDOW_THREAD();
    CommandState state;
    const RunState testing = m_testing;
    switch (id) {
    case cmd::LoadList:
    case cmd::ExportAll:
    case cmd::TestAll:
    case cmd::DeleteDuplicates:
    case cmd::TestSelected:
    case cmd::Delete:
    case cmd::DeleteTimeout:
    case cmd::DeleteDangerous:
    case cmd::Add:
    case cmd::Settings:
    case cmd::DownloadList:
        state.enabled = testing == RunState::Idle;
        break;
    case cmd::Stop:
        state.enabled = testing == RunState::Running;
        break;
    case cmd::Paste:
        state.enabled = testing == RunState::Idle && m_services.clipboard.HasText();
        break;
    case cmd::ToggleTray:
    case cmd::SetActiveProxy: {
        const int64_t first = m_view.FirstSelectedRow();
        if (first < 0 || static_cast<size_t>(first) >= m_list.GetSize())
            break;
        const int32_t status = m_list[static_cast<size_t>(first)]->m_status;
        if (id == cmd::ToggleTray) {
            state.text = status == StatusReady ? "Remove from the tray menu" : "Add to tray for quick switch";
            state.enabled = status != StatusActive;
        } else {
            state.text = status == StatusActive ? "Disconnect from this proxy" : "Set as current active proxy";
        }
        break;
    }
    case cmd::DirectConnection:
        state.checked = m_activeProxy == nullptr;
        break;
    default:
        if (id >= cmd::QuickSwitchFirst && id <= cmd::QuickSwitchLast) {
            // The tray menu shows an entry for each state with a text.
            const size_t i = static_cast<size_t>(id - cmd::QuickSwitchFirst);
            if (i < m_quickSwitchSet.size()) {
                state.text = m_quickSwitchSet[i]->UrlText(false);
                state.checked = m_quickSwitchSet[i] == m_activeProxy;
            }
        }
        break;
    }
    return state;
}

void FrameModel::AppendLog(const std::string& text, LogMode mode) {
    m_log.AppendLog(text, mode);
}

bool FrameModel::RefuseWhileTesting() {
    if (!IsTesting())
        return false;
    m_services.messageBox.Show(TestingRefusal);
    return true;
}

void FrameModel::OnLoadList() {
    ORV_ON_WINDOW_THREAD();
    if (m_loadFolder.empty())
        m_loadFolder = AppFolders::DocumentsFolder();
    const std::string path =
        m_services.fileDialog.OpenFile("Load List", "Proxy File (*.txt)|*.txt|All Files (*.*)|*.*||", m_loadFolder)
            .value_or("");
    if (const size_t slash = path.rfind('/'); slash != std::string::npos)
        m_loadFolder = path.substr(0, slash + 1);
    ProxyKind plainKind = ProxyKind::Http;
    if (!path.empty()) {
        const auto chosen = m_services.fileDialog.ChooseItem(
            "Load List", "The proxies written without a scheme (such as socks5://) are:", ListKindItems,
            ListKindGuess(path));
        if (!chosen || *chosen >= std::size(ListKinds))
            return;
        plainKind = ListKinds[*chosen];
    }
    const ProxyTextParser::Loaded loaded = ProxyTextParser::LoadProxies(m_list, path, false, plainKind);
    if (loaded.count < 0) {
        if (!loaded.error.empty())
            m_services.messageBox.Show(loaded.error);
        return;
    }
    ListAppended();
    AppendLog(Format("Loaded %lld proxies from ", loaded.count) + path + "\r\n");
}

void FrameModel::OnTestAll() {
    ORV_ON_WINDOW_THREAD();
    // The menus disable the test commands during a run; a direct call must not refill its set either.
    if (m_testing != RunState::Idle)
        return;
    AppendLog("", LogMode::Clear);
    if (RemoveDuplicates() > 0)
        DropActiveIfGone();
    m_run->TestSet.clear();
    for (size_t i = 0; i < m_list.GetSize(); ++i)
        m_run->TestSet.push_back(m_list[i]);
    StartRun();
}

void FrameModel::OnTestSelected() {
    ORV_ON_WINDOW_THREAD();
    if (m_testing != RunState::Idle)
        return;
    const std::vector<uint32_t> rows = m_view.SelectedRows();
    if (rows.empty()) {
        OnTestAll();
        return;
    }
    m_run->TestSet.clear();
    for (uint32_t row : rows)
        if (row < m_list.GetSize())
            m_run->TestSet.push_back(m_list[row]);
    StartRun();
}

void FrameModel::StartRun() {
    if (m_run->TestSet.empty())
        return;
    AppendLog("", LogMode::Clear); // a second clearing after OnTestAll's changes nothing
    m_ticks = 0;
    m_run->StartTest();
}

void FrameModel::OnPaste() {
    ORV_ON_WINDOW_THREAD();
    if (RefuseWhileTesting())
        return;
    const std::string text = m_services.clipboard.GetText().value_or("");
    const int count = ProxyTextParser::LoadProxies(m_list, text, true).count;
    ListAppended();
    AppendLog(Format("Load %lld proxies from the clipboard.\r\n", count));
}

void FrameModel::OnDownloadList() {
    ORV_ON_WINDOW_THREAD();
    if (RefuseWhileTesting())
        return;
    EndDownload(); // the thread of the last download has ended; this only joins it
    m_testing = RunState::Stopping;
    m_downloading = true;
    m_view.TestingChanged();
    RequestPanelRefresh();
    m_downloadThread.Start([this](std::stop_token stop) { RunListDownload(stop); });
}

void FrameModel::RunListDownload(std::stop_token stop) {
    ListDownload::Host host;
    host.appendLog = [this](const std::string& text, LogMode mode) { AppendLog(text, mode); };
    host.showMessage = [this](const std::string& text) { m_services.messageBox.Show(text); };
    // The window draws the list from its own thread: the records are appended there.
    host.addRecords = [this](ListDownload::Records records) {
        auto handed = std::make_shared<ListDownload::Records>(std::move(records));
        m_view.PostToWindow([this, handed] {
            m_list.Reserve(m_list.GetSize() + handed->size());
            for (auto& record : *handed)
                m_list.Append(std::move(record));
            m_list.RenumberList();
            ListAppended();
        });
    };
    ListDownload download(m_dataFolder, ListService::ListServiceUrl(m_dataFolder), std::move(host));
    download.m_limits = m_downloadLimits;
    download.m_limits.stop = stop;
    download.m_pause = m_downloadPause;
    EndListDownload(download.Run());
}

void FrameModel::EndListDownload(const ListDownload::Outcome& outcome) {
    m_testing = RunState::Idle;
    if (!outcome.failure.empty())
        AppendLog(outcome.failure);
    m_downloading = false;
    m_view.TestingChanged();
    m_view.PostToWindow([this] { RequestPanelRefresh(); });
    if (outcome.showDialog)
        m_view.PostToWindow([this, outcome] { m_view.ShowDownloadDone(outcome.count, outcome.updateTime); });
}

void FrameModel::SetDownloadLimits(const DownloadLimits& limits, std::chrono::milliseconds pause) {
    m_downloadLimits = limits;
    m_downloadPause = pause;
}

void FrameModel::EndDownload() {
    m_downloadThread.Stop();
}

bool FrameModel::RunSystemCheck() {
    const int code = OsVersion::GetOSVersionCode(m_osVersion());
    if (!SystemCheck::IsAffected(code))
        return false;
    AppendLog(SystemCheck::LogMessage(code));
    m_view.ShowSystemCheckDialog();
    return true;
}

void FrameModel::OnSystemCheck() {
    ORV_ON_WINDOW_THREAD();
    if (!RunSystemCheck())
        m_services.messageBox.Show(SystemCheck::OkText, platform::MessageBox::OkInformation);
}

void FrameModel::OnCopy() {
    ORV_ON_WINDOW_THREAD();
    const std::vector<uint32_t> rows = m_view.SelectedRows();
    std::string text;
    long long count = 0;
    for (uint32_t row : rows) {
        if (row >= m_list.GetSize())
            continue;
        if (count++ > 0)
            text += "\r\n";
        text += m_list[row]->ProxyAddressText();
    }
    if (count == 0 || !m_services.clipboard.SetText(text))
        return;
    AppendLog(Format("Copy %lld proxies into the clipboard.\r\n", count));
}

bool FrameModel::AddProxy(const std::string& ip, const std::string& port) {
    ORV_ON_WINDOW_THREAD();
    if (RefuseWhileTesting())
        return false;
    const std::string refusal = AddOneProxy(ip, port);
    if (!refusal.empty())
        m_services.messageBox.Show(refusal);
    return refusal.empty();
}

std::string FrameModel::AddOneProxy(const std::string& ip, const std::string& port) {
    const int count = ProxyTextParser::AddProxy(m_list, ip, port);
    ListAppended();
    if (count != 1)
        return BadProxyText;
    AppendLog("Add one proxy to the list.\r\n");
    return {};
}

std::string FrameModel::UseProxy(const std::string& ip, const std::string& port) {
    ORV_ON_WINDOW_THREAD();
    // Parsed apart first: a bad input leaves the list as it is.
    ProxyList parsed;
    if (ProxyTextParser::AddProxy(parsed, ip, port) != 1)
        return BadProxyText;
    const ProxyItem& wanted = *parsed[0];
    for (size_t i = 0; i < m_list.GetSize(); ++i) {
        ProxyItem* item = m_list[i];
        if (item->Kind() == wanted.Kind() && item->ProxyAddressText() == wanted.ProxyAddressText()) {
            if (item != m_activeProxy)
                SwitchTo(item);
            return {};
        }
    }
    if (m_testing != RunState::Idle)
        return TestingRefusal;
    if (std::string refusal = AddOneProxy(ip, port); !refusal.empty())
        return refusal;
    SwitchTo(m_list[m_list.GetSize() - 1]);
    return {};
}

void FrameModel::SwitchNext() {
    ORV_ON_WINDOW_THREAD();
    if (m_quickSwitchSet.empty()) {
        SwitchTo(nullptr);
        return;
    }
    const auto at = std::find(m_quickSwitchSet.begin(), m_quickSwitchSet.end(), m_activeProxy);
    const size_t next =
        at == m_quickSwitchSet.end() ? 0 : (at - m_quickSwitchSet.begin() + 1) % m_quickSwitchSet.size();
    ProxyItem* item = m_quickSwitchSet[next];
    if (item != m_activeProxy)
        SwitchTo(item);
}

void FrameModel::CheckActiveNow(ProxyWatch::CheckReply reply) {
    ORV_ON_WINDOW_THREAD();
    m_watch.CheckNow(std::move(reply));
}

FrameModel::SwitchStatus FrameModel::Status() const {
    return StatusOf(m_activeProxy);
}

FrameModel::SwitchStatus FrameModel::StatusOf(const ProxyItem* active) {
    SwitchStatus status;
    if (active == nullptr)
        return status;
    status.mode = ProxyKindName(active->Kind() == ProxyKind::Detect ? ProxyKind::Http : active->Kind());
    status.address = active->m_ip;
    status.port = active->m_port;
    status.level = active->m_anonymity;
    status.delay = active->m_delay;
    return status;
}

void FrameModel::OnDelete() {
    ORV_ON_WINDOW_THREAD();
    if (RefuseWhileTesting())
        return;
    const std::vector<uint32_t> rows = m_view.SelectedRows();
    if (rows.empty())
        return;
    // One pass over the list with a mark per position: deleting most of a long list stays linear.
    std::vector<char> doomed(m_list.GetSize(), 0);
    for (uint32_t row : rows)
        if (row < doomed.size())
            doomed[row] = 1;
    const size_t removed = m_list.RemoveIf([&](const ProxyItem& item) { return doomed[item.m_index] != 0; });
    AppendLog(Format("Removed %lld proxies from the list.\r\n", static_cast<long long>(removed)));
    ListChanged();
}

size_t FrameModel::DropDuplicates() {
    // Every record's port is rewritten, kept or not; then the records whose key an earlier record has
    // go. Sorting (key, position) pairs finds them with sequential memory access, which keeps a list
    // of a million records well under a second.
    const size_t count = m_list.GetSize();
    std::vector<std::pair<int64_t, uint32_t>> keys(count);
    for (size_t i = 0; i < count; ++i) {
        ProxyItem& item = *m_list[i];
        RewritePort(item);
        keys[i] = {RecordKey(item), static_cast<uint32_t>(i)};
        item.m_index = static_cast<uint32_t>(i);
    }
    std::sort(keys.begin(), keys.end());
    std::vector<char> doomed(count, 0);
    for (size_t i = 1; i < count; ++i)
        if (keys[i].first == keys[i - 1].first)
            doomed[keys[i].second] = 1;
    const size_t removed = m_list.RemoveIf([&](const ProxyItem& item) { return doomed[item.m_index] != 0; });
    if (removed > 0)
        AppendLog(Format("Removed %lld duplicate proxies from the list.\r\n", static_cast<long long>(removed)));
    return removed;
}

size_t FrameModel::RemoveDuplicates() {
    const size_t removed = DropDuplicates();
    ListAppended();
    return removed;
}

void FrameModel::OnDeleteDuplicates() {
    ORV_ON_WINDOW_THREAD();
    // ListChanged renumbers, refreshes and asks for the panel as RemoveDuplicates' own follow-up would.
    DropDuplicates();
    ListChanged();
}

void FrameModel::OnDeleteTimeout() {
    ORV_ON_WINDOW_THREAD();
    const size_t removed = m_list.RemoveIf([](const ProxyItem& item) { return item.m_status == StatusBad; });
    AppendLog(Format("Removed %lld timeout proxies from the list.\r\n", static_cast<long long>(removed)));
    ListChanged();
}

void FrameModel::OnDeleteDangerous() {
    ORV_ON_WINDOW_THREAD();
    DangerousList dangerous;
    const int removed = dangerous.DeleteDangerousProxies(m_list, DangerousPath());
    AppendLog(RemovedDangerousText(removed));
    ListChanged();
}

void FrameModel::MarkDangerous() {
    DangerousList dangerous;
    dangerous.MarkDangerous(m_list, DangerousPath());
    m_view.RefreshListView();
}

void FrameModel::OnHeaderClick(int column) {
    ORV_ON_WINDOW_THREAD();
    if (IsTesting()) {
        m_services.messageBox.Show(SortRefusal);
        return;
    }
    SortByColumn(column);
}

void FrameModel::SortByColumn(int column) {
    const std::string logText = ProxySorter::SortByColumn(m_list, column);
    m_view.RefreshListView();
    AppendLog(logText);
}

void FrameModel::OnHelp() {
    ORV_ON_WINDOW_THREAD();
    platform::OpenOrExplain(m_services.shellOpen, m_services.messageBox, HelpUrl);
}

void FrameModel::RecountList() {
    // One walk counts the levels, looks for the active record by identity (it may be deleted already)
    // and gathers the quick-switch set: a million records are walked once, not twice.
    int32_t counts[4] = {0, 0, 0, 0};
    bool activeFound = false;
    std::vector<ProxyItem*> quickSwitch;
    for (size_t i = 0; i < m_list.GetSize(); ++i) {
        ProxyItem* item = m_list[i];
        const int32_t level = item->m_anonymity;
        if (level >= 1 && level <= 3)
            ++counts[level];
        activeFound = activeFound || item == m_activeProxy;
        const int32_t status = item->m_status;
        if (status == StatusActive || status == StatusReady)
            quickSwitch.push_back(item);
    }
    m_list.m_level1Count.Set(counts[1]);
    m_list.m_level2Count.Set(counts[2]);
    m_list.m_level3Count.Set(counts[3]);
    m_quickSwitchSet = std::move(quickSwitch);
    if (!activeFound && m_activeProxy != nullptr) {
        AppendLog("Current active proxy is removed from the list.\r\nYou are now using direct connection.\r\n");
        m_activeProxy = nullptr;
        NotifyFirefox();
        ApplyIEProxy();
    }
}

void FrameModel::DropActiveIfGone() {
    bool activeFound = false;
    for (size_t i = 0; i < m_list.GetSize() && !activeFound; ++i)
        activeFound = m_list[i] == m_activeProxy;
    if (activeFound)
        RebuildQuickSwitchSet();
    else
        RecountList(); // the fallback to a direct connection, and no pointer left to a deleted record
}

ProxyItem* FrameModel::RecordAt(int64_t row) const {
    if (row < 0 || static_cast<size_t>(row) >= m_list.GetSize())
        return nullptr;
    return m_list[static_cast<size_t>(row)];
}

void FrameModel::LeaveActiveProxy() {
    if (m_activeProxy == nullptr)
        return;
    m_activeProxy->m_status = StatusReady;
    m_view.RedrawRows(static_cast<int32_t>(m_activeProxy->m_index), static_cast<int32_t>(m_activeProxy->m_index));
}

void FrameModel::MakeActive(ProxyItem& item) {
    m_activeProxy = &item;
    item.m_status = StatusActive;
    m_view.RedrawRows(static_cast<int32_t>(item.m_index), static_cast<int32_t>(item.m_index));
}

void FrameModel::OnSetActiveProxy() {
    ORV_ON_WINDOW_THREAD();
    ProxyItem* selected = RecordAt(m_view.FirstSelectedRow());
    if (selected == nullptr)
        return;
    // The active record set again turns the proxy off.
    SwitchTo(selected == m_activeProxy ? nullptr : selected);
}

void FrameModel::OnSwitchCommand(int id) {
    ORV_ON_WINDOW_THREAD();
    if (id == cmd::DirectConnection) {
        SwitchTo(nullptr);
        return;
    }
    const size_t i = static_cast<size_t>(id - cmd::QuickSwitchFirst);
    if (id < cmd::QuickSwitchFirst || id > cmd::QuickSwitchLast || i >= m_quickSwitchSet.size())
        return;
    SwitchTo(m_quickSwitchSet[i]);
}

void FrameModel::SwitchTo(ProxyItem* item) {
    LeaveActiveProxy();
    if (item == nullptr) {
        m_activeProxy = nullptr;
        SwitchEpilogue(DirectLine);
        return;
    }
    MakeActive(*item);
    SwitchEpilogue("Set " + item->ProxyAddressText() + " as current active proxy.\r\n");
}

void FrameModel::SwitchEpilogue(const std::string& message) {
    AppendLog(message);
    RebuildQuickSwitchSet();
    RequestPanelRefresh();
    NotifyFirefox();
    ApplyIEProxy();
    m_watch.CheckSoon();
    const SwitchStatus now = Status();
    m_view.ActiveProxyChanged(now.address, now.port);
}

void FrameModel::OnSettingsChanged() {
    ORV_ON_WINDOW_THREAD();
    m_watch.CheckSoon();
}

void FrameModel::OnToggleTray() {
    ORV_ON_WINDOW_THREAD();
    const std::vector<uint32_t> rows = m_view.SelectedRows();
    if (rows.empty())
        return;
    for (uint32_t row : rows) {
        ProxyItem* item = RecordAt(row);
        if (item == nullptr)
            continue;
        const int32_t status = item->m_status;
        if (status == StatusReady) {
            item->DeriveStatus(m_settings.Items());
            RebuildQuickSwitchSet();
        } else if (status != StatusActive) {
            item->m_status = StatusReady;
            // Last in the tray menu until the next rebuild puts the set back into list order.
            m_quickSwitchSet.push_back(item);
        }
        m_view.RedrawRows(static_cast<int32_t>(row), static_cast<int32_t>(row));
    }
    RequestPanelRefresh();
}

void FrameModel::NotifyFirefox() {
    if (m_activeProxy == nullptr) {
        m_firefox->NotifyFirefox("", "");
        return;
    }
    platform::ProxyTarget target = ProxyTargetOf(*m_activeProxy);
    m_firefox->NotifyFirefox(m_activeProxy->m_ip, m_activeProxy->m_port,
                             {target.m_protocol, std::move(target.m_user), std::move(target.m_password)});
}

void FrameModel::ApplyIEProxy() {
    if (m_settings.ChangeIEProxy == 0)
        return;
    if (m_activeProxy != nullptr)
        m_desktopProxy.SetProxy(ProxyTargetOf(*m_activeProxy));
    else
        m_desktopProxy.SetDirect();
}

void FrameModel::LeaveBrowsersOnExit(std::chrono::steady_clock::time_point end) {
    // Each exit message waits for its delivery, so that they arrive in order before the process ends: at
    // most ExitMessageLimit, and the first at most half of what is left before end, so that a run that
    // would not end and a stuck extension cannot add their waits up. The listener goes last.
    const auto share = [end](int parts) {
        using std::chrono::milliseconds;
        const auto rest = std::chrono::duration_cast<milliseconds>(end - std::chrono::steady_clock::now());
        return std::clamp(rest / parts, milliseconds(0), ExitMessageLimit);
    };
    m_activeProxy = nullptr;
    NotifyFirefox();
    m_firefox->WaitForSenders(share(2));
    ApplyIEProxy();
    m_firefox->SetClosing();
    NotifyFirefox();
    m_firefox->WaitForSenders(share(1));
    m_firefox->CloseListener();
}

void FrameModel::RebuildQuickSwitchSet() {
    ORV_ON_WINDOW_THREAD();
    m_quickSwitchSet.clear();
    for (size_t i = 0; i < m_list.GetSize(); ++i) {
        ProxyItem* item = m_list[i];
        if (item->m_status == StatusActive || item->m_status == StatusReady)
            m_quickSwitchSet.push_back(item);
    }
}

void FrameModel::ListChanged() {
    ORV_ON_WINDOW_THREAD();
    m_list.RenumberList();
    m_view.RefreshListView();
    RecountList();
    RequestPanelRefresh();
}

void FrameModel::ListAppended() {
    ORV_ON_WINDOW_THREAD();
    m_list.RenumberList();
    m_view.RefreshListView();
    RequestPanelRefresh();
}
