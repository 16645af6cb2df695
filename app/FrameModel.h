#pragma once

#include "app/FrameView.h"
#include "app/LogStore.h"
#include "app/ProxyWatch.h"
#include "download/DownloadUrl.h"
#include "download/ListDownload.h"
#include "platform/Clock.h"
#include "platform/OwnedThread.h"
#include "proxy/ProxyCell.h"
#include "proxy/ProxyList.h"
#include "settings/AppSettings.h"
#include "switching/DesktopProxyKeeper.h"
#include "switching/FirefoxChannel.h"
#include "syscheck/OsVersion.h"
#include "tester/RunState.h"
#include "tester/TestContext.h"
#include "tester/TestRun.h"
#include "tester/TimerId.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

namespace platform {
class Clipboard;
class FileDialog;
class MessageBox;
class ShellOpen;
class SystemProxy;
} // namespace platform

// What a command looks like in the menus and on the toolbar right now.
struct CommandState {
    bool enabled = true;
    bool checked = false;
    // Empty: the item keeps its text.
    std::string text;
};

// The frame without its window: the list, the settings, the folders, the log and the state of the run,
// and every operation on them. The window maps its commands onto these and shows what they leave.
class FrameModel {
public:
    static constexpr const char* HelpUrl = "http://www.halvard.example/help.php";
    static constexpr const char* WelcomeLine = "Thanks for using Tarvelo, a Halvard product.\r\n";
    static constexpr const char* TestingRefusal = "Can't operate the list while testing.";
    static constexpr const char* SortRefusal = "Please don't sort the list while testing the proxies.";
    // The panel refresh waits this long after the saved list is loaded, so that the panel page is up.
    static constexpr int LoadListRefreshDelayMs = 1500;
    // While a test runs the list is saved on the tick after this many.
    static constexpr int AutoSaveTicks = 180;
    // How long the shutdown waits for a test run to end; the window must close within 2 s.
    static constexpr std::chrono::milliseconds ShutDownLimit{1500};
    // How long each of the two exit messages to Firefox may take.
    static constexpr std::chrono::milliseconds ExitMessageLimit{1000};
    // The whole shutdown but its save: the run's end and both exit messages share it.
    static constexpr std::chrono::milliseconds ExitLimit{2000};
    static constexpr const char* DirectLine = "You are not using any proxies now.\r\n";
    static constexpr const char* KeptRestoredLine =
        "The desktop's proxy settings left by an earlier run were restored.\r\n";
    // What failed saves are about, and the title of the balloon that tells of the first.
    static constexpr const char* ListSubject = "The proxy list";
    static constexpr const char* SettingsSubject = "The settings";
    static constexpr const char* NotSavedTitle = "Not saved";

    struct Services {
        platform::MessageBox& messageBox;
        platform::Clipboard& clipboard;
        platform::FileDialog& fileDialog;
        platform::ShellOpen& shellOpen;
        // The desktop's proxy ("Internet Explorer" in the settings).
        platform::SystemProxy& systemProxy;
    };

    // Both folders end with '/'. The Firefox channel's ports are fixed but for ORV_FIREFOX_PORTS and tests.
    FrameModel(FrameView& view, Services services, std::string programFolder, std::string dataFolder,
               FirefoxChannel::Ports firefoxPorts = FirefoxChannel::PortsFromEnvironment());
    ~FrameModel();
    FrameModel(const FrameModel&) = delete;
    FrameModel& operator=(const FrameModel&) = delete;

    const ProxyList& List() const { return m_list; }
    const AppSettings& Settings() const { return m_settings; }
    // The settings sheet's store and the dialogs beside it edit the settings in place and save them;
    // the commands read them when they run.
    AppSettings& EditSettings() { return m_settings; }
    // Stopping also while a list download runs. Any thread.
    RunState State() const { return m_testing; }
    bool IsTesting() const { return m_testing == RunState::Running; }
    bool IsDownloading() const { return m_downloading; }
    const std::string& ProgramFolder() const { return m_programFolder; }
    const std::string& DataFolder() const { return m_dataFolder; }
    const LogStore& Log() const { return m_log; }
    // The log pane listens to the store; appends go through AppendLog.
    LogStore& LogPane() { return m_log; }
    // The record the browsers use; none means a direct connection.
    const ProxyItem* ActiveProxy() const { return m_activeProxy; }
    // Every Active or Ready record, in list order: the tray's quick-switch entries.
    const std::vector<ProxyItem*>& QuickSwitchSet() const { return m_quickSwitchSet; }

    // Where the system check reads the running system's version record; tests make one up.
    void SetOsVersionSource(std::function<OsVersionRecord()> source) { m_osVersion = std::move(source); }
    // How long the download may wait for the service, and the pauses between its log lines.
    void SetDownloadLimits(const DownloadLimits& limits, std::chrono::milliseconds pause);

    // Start-up: the settings, then the saved list (its active record and log line applied).
    void LoadSettingsAndList();
    // The end of the window's creation: Firefox, then the desktop, follow the restored state. With nothing
    // active the desktop stays as the user has it, unless a run that did not end left our proxy there.
    void AnnounceActiveProxy();
    // Shutdown: stop a test run, stop the test tick and the panel refresh, save the list, leave both browsers on a
    // direct connection and tell the extension that the program closes, delete the records. Returns false when the run
    // did not end in time: its threads still use the records, which are then kept, and the process should end without
    // tearing the frame down (the destructor would wait for the run).
    bool ShutDown();
    void OnTimer(TimerId id);
    // Fills the cell (row and column set) as the list view shows it.
    void GetCellInfo(CellInfo& cell) const;

    // The enabling rule of a command at this moment.
    CommandState UpdateCommand(int id);

    void AppendLog(const std::string& text, LogMode mode = LogMode::Append);

    // The list commands. Each writes its log line and ends with the list-change sequence.
    void OnLoadList();
    void OnPaste();
    void OnCopy();
    static constexpr const char* BadProxyText = "The proxy you input is incorrect.";
    // The add dialog's OK: true when the input gave exactly one proxy (the dialog then closes).
    bool AddProxy(const std::string& ip, const std::string& port);
    void OnDelete();
    void OnDeleteDuplicates();
    void OnDeleteTimeout();
    void OnDeleteDangerous();
    void MarkDangerous();
    void OnHelp();
    // "Download List": the download runs on its own thread; its records and its dialog come back to the
    // window's thread.
    void OnDownloadList();
    // The menu's check: "You system is OK." when RunSystemCheck finds nothing.
    void OnSystemCheck();
    // The test commands. Both clear the log before a run starts.
    void OnTestAll();
    void OnTestSelected();
    void OnStop() { m_run->StopTest(); }
    TestRun& Run() { return *m_run; }
    // The switching commands; all are allowed while a test runs.
    void OnSetActiveProxy();
    // DirectConnection, or a quick-switch entry (QuickSwitchFirst + i).
    void OnSwitchCommand(int id);
    void OnToggleTray();
    // The settings sheet's OK: the watch follows its keys.
    void OnSettingsChanged();

    // What scripts are told of the switch: the active record, or a direct connection.
    struct SwitchStatus {
        std::string mode = "direct"; // or the record's kind: "http", "socks4", "socks5"
        std::string address;
        std::string port;
        int32_t level = Untested;
        int32_t delay = Untested; // ms
    };
    SwitchStatus Status() const;
    static SwitchStatus StatusOf(const ProxyItem* active);
    // Switches from outside the window (the session bus, the command line) to the proxy written as the add
    // dialog takes it, adding it when the list lacks it. The refusal's text, or nothing once switched.
    std::string UseProxy(const std::string& ip, const std::string& port);
    // The quick-switch entry after the active one, wrapping; a direct connection when the set is empty.
    void SwitchNext();
    // The watch's check of the active proxy, now.
    void CheckActiveNow(ProxyWatch::CheckReply reply);
    FirefoxChannel& Firefox() { return *m_firefox; }
    // A header click: sorts unless a test runs.
    void OnHeaderClick(int column);

    // Shows the refusal and returns true while a test runs.
    bool RefuseWhileTesting();
    // Saves never overlap: the one that starts last writes the newest state. A failure is reported.
    bool SaveList();
    // SaveList's work: the reason the list was not saved (already reported), or nothing.
    std::string TrySaveList();
    // A save that failed (the old file is kept): one log line; the first of the run also a balloon.
    // Any thread.
    void ReportSaveFailure(const std::string& subject, const std::string& path, const std::string& reason);
    // When the list was last tested, as the panel and the saved list show it. The test controller's
    // summary writes it while the window's thread reads it: every use goes through this and SetLastTestedText.
    std::string LastTestedText() const;

private:
    // Sets up what no command reaches; defined with the tests only.
    friend struct FrameModelTestAccess;

    // The test tick, every second of a test run: the panel's changed counters, and the list saved now and then.
    void OnTestTick();
    // The panel refresh: the whole statistics panel.
    void RefreshPanel();
    // The system check: logs and opens the dialog (true) when the system limits half-open connections.
    bool RunSystemCheck();
    void NotifyFirefox();
    void ApplyIEProxy();
    // Removes later copies of the same address and port; returns how many went.
    size_t RemoveDuplicates();
    void SortByColumn(int column);
    void RecountList();
    void RebuildQuickSwitchSet();
    // RenumberList, RefreshListView, RecountList and the one-shot panel refresh.
    void ListChanged();
    // The parser's follow-up: like ListChanged without RecountList.
    void ListAppended();
    void SetLastTestedText(std::string text);
    // AddProxy without its message box: the refusal's text, or nothing once the record is appended.
    std::string AddOneProxy(const std::string& ip, const std::string& port);
    // The download's end, on its thread: the list is free again before a failure is logged.
    void EndListDownload(const ListDownload::Outcome& outcome);
    TestRun::Hooks RunHooks();
    ProxyWatch::Owner WatchOwner();
    // Clears the log and starts a run over TestSet, when TestSet holds any record.
    void StartRun();
    // RemoveDuplicates without its follow-up.
    size_t DropDuplicates();
    std::string DangerousPath() const { return m_programFolder + "DangerousIP.dat"; }
    // A saved list that could not be read whole is moved aside before any save can replace it.
    void KeepDamagedList(const std::string& damage);
    void RequestPanelRefresh() { m_view.StartTimer(TimerId::PanelRefresh, 0); }
    // The record at a row of the view, or none.
    ProxyItem* RecordAt(int64_t row) const;
    // The active record becomes Ready (it stays in the tray menu) and is redrawn.
    void LeaveActiveProxy();
    void MakeActive(ProxyItem& item);
    // The switch of a double click or a tray entry; none means a direct connection.
    void SwitchTo(ProxyItem* item);
    // Log line, quick-switch set, panel, Firefox, desktop: the end of every switch.
    void SwitchEpilogue(const std::string& message);
    // After records went without RecountList: falls back to a direct connection when the active one is gone.
    void DropActiveIfGone();
    // Both exit messages are delivered or given up by end.
    void LeaveBrowsersOnExit(std::chrono::steady_clock::time_point end);
    void RunListDownload(std::stop_token stop);
    // Ends a running download at once and waits for its thread.
    void EndDownload();

    ProxyList m_list;
    AppSettings m_settings;
    std::atomic<RunState> m_testing = RunState::Idle;
    const std::string m_programFolder;
    const std::string m_dataFolder;
    LogStore m_log;
    // Points into m_list.
    ProxyItem* m_activeProxy = nullptr;
    std::function<OsVersionRecord()> m_osVersion = OsVersion::RunningSystem;
    DownloadLimits m_downloadLimits;
    std::chrono::milliseconds m_downloadPause{500};
    std::vector<ProxyItem*> m_quickSwitchSet;
    FrameView& m_view;
    Services m_services;
    DesktopProxyKeeper m_desktopProxy;
    mutable std::mutex m_lastTestedLock;
    std::string m_lastTestedText;
    std::mutex m_saveLock;
    std::atomic<bool> m_saveFailureShown = false;
    // Set when a damaged saved list could not be moved aside: then it is never saved over.
    std::atomic<bool> m_savedListHeld = false;
    // The values the panel showed last, for the test tick's refresh of what changed.
    StatusPanel m_panel;
    int m_ticks = 0;
    platform::SystemClock m_clock;
    // Where Load List opens: the folder of the last file loaded, the documents folder before the first.
    std::string m_loadFolder;
    TestContext m_context{m_settings, m_list, m_view, m_clock};
    std::unique_ptr<FirefoxChannel> m_firefox;
    // Released without deletion when the shutdown could not wait for it to end.
    std::unique_ptr<TestRun> m_run;
    ProxyWatch m_watch;
    std::atomic<bool> m_downloading = false;
    platform::OwnedThread m_downloadThread;
};
