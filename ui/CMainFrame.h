#pragma once

#include "app/FrameModel.h"
#include "app/FrameView.h"
#include "platform/MessageBox.h"
#include "platform/WindowThread.h"
#include "settings/SettingsStore.h"

#include <QList>
#include <QMainWindow>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class CCellListCtrl;
class CColorEdit;
class CHtmlCtrl;
class CSystemTray;
class CToolBar24;
class QAction;
class QDialog;
class QMenu;
class QTimer;

// The main window: toolbar, proxy list, statistics panel and log. It builds the window, maps command ids
// onto the model's operations through one command table, keeps the commands' states current and paints;
// the list and everything done to it live in FrameModel.
class CMainFrame : public QMainWindow, public FrameView {
    Q_OBJECT
public:
    static constexpr int Width = 710;
    static constexpr int Height = 532;
    static constexpr int MinHeight = 400;
    static constexpr const char* Title = "Tarvelo 1.07B";
    static constexpr const char* WindowClass = "TARVELOCLASS";
    static constexpr const char* AboutVersion = "1.07B Build 0406";

    // Both folders end with '/'; DataFolder exists or could not be made.
    CMainFrame(FrameModel::Services services, std::string programFolder, std::string dataFolder,
               FirefoxChannel::Ports firefoxPorts = FirefoxChannel::PortsFromEnvironment());
    ~CMainFrame() override;

    static QFont ListFont();

    // The window-creation sequence. False when a part the window cannot live without failed.
    bool Create();

    FrameModel& Model() { return m_model; }
    CCellListCtrl* ListView() const { return m_listView; }
    CHtmlCtrl* StatusPanel() const { return m_panel; }
    CColorEdit* LogPane() const { return m_logPane; }
    CToolBar24* ToolBar() const { return m_toolBar; }
    QMenu* ContextMenu() const { return m_contextMenu; }
    CSystemTray* Tray() const { return m_tray.get(); }

    // Runs a command as the menus, toolbar, accelerators and tray do.
    void OnCommand(int id);
    // The command's state: the model's enabling rule, and the texts only the window knows.
    CommandState CommandStateOf(int id);
    // Every command id in the table.
    std::vector<int> CommandIds() const;
    // Sets the state of every menu item, button and accelerator of the window.
    void UpdateCommandUI();
    // The list's popup menu at a screen point; nothing when the point lies outside the list.
    bool ShowContextMenu(const QPoint& globalPos);

    // The shutdown sequence; runs once, from any way the window is closed.
    void ShutDown();
    // Fills the panel at once (the screenshot does not wait for the panel refresh).
    void RefreshPanelNow();

    // FrameView
    void RedrawRows(int32_t first, int32_t last) override;
    void RefreshListView() override;
    void StartTimer(TimerId id, int periodMs) override;
    void StopTimer(TimerId id) override;
    std::vector<uint32_t> SelectedRows() override;
    int64_t FirstSelectedRow() override;
    void ShowPanelUpdates(const std::vector<PanelUpdate>& updates) override;
    void ShowBalloon(const std::string& text, const std::string& title, BalloonIcon icon, int seconds) override;
    void PostToWindow(std::function<void()> work) override;
    // Whoever changed the state, the toolbar follows it as the menus do when they open.
    void TestingChanged() override;
    void AnimateTray(bool animate) override;
    void ShowDownloadDone(size_t count, const std::string& updateTime) override;
    void ShowSystemCheckDialog() override;
    void ActiveProxyChanged(const std::string& address, const std::string& port) override;

    // Hides the window into the tray where a tray exists; minimises it elsewhere.
    void MinimiseToTray();
    void MaximiseFromTray();
    // Shown on screen or minimised, rather than hidden in the tray. A window that the window manager
    // minimised still counts as minimised once hidden in the tray, so only visibility tells.
    bool IsOnScreen() const { return isVisible(); }
    // The shutdown has begun: the list is no longer the window's to change.
    bool IsShutDown() const { return m_shutDown; }

signals:
    // After every switch; both empty for a direct connection.
    void activeProxyChanged(const QString& address, const QString& port);
    // The shutdown begins.
    void shuttingDown();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The window's message boxes for any thread: another thread waits until the window's thread has
    // answered, or answers "Yes" itself once the window closes (the judge question's "stop").
    class UiThreadMessageBox : public platform::MessageBox {
    public:
        UiThreadMessageBox(CMainFrame& frame, platform::MessageBox& inner) : m_frame(frame), m_inner(inner) {}
        Answer Show(const std::string& text, Buttons buttons = Ok) override;

    private:
        CMainFrame& m_frame;
        platform::MessageBox& m_inner;
    };
    struct MenuItem {
        int id; // 0: separator
        const char* text;
        const char* shortcut;
    };

    void BuildCommands();
    void BuildMenus();
    void BuildToolBar();
    void BuildContextMenu();
    QMenu* AddMenu(QMenu* menu, const std::vector<MenuItem>& items, bool withShortcuts);
    void UpdateActions(const QList<QAction*>& actions);
    void LayoutChildren();
    void PaintClient();
    void OnTimerFired(TimerId id);
    void OnAdd();
    void OnAbout();
    void OnSelectAll();
    void OnReverseSelection();
    void OnSettings();
    void OnExport(bool selectedOnly);
    void OnShowMainWindow();
    // Opens a dialog without waiting for it; it deletes itself when closed.
    void OpenDialog(QDialog* dialog);
    void RunOnUiThread(std::function<void()> work);
    // Runs work on the window's thread and waits for it; returns false (work skipped or unfinished)
    // once the window is closing, so that no other thread ever waits on a window that is going away.
    bool RunOnUiThreadAndWait(std::function<void()> work);

    // Closed once the window closes: workers waiting for a redraw or an answer are let go.
    std::shared_ptr<platform::WindowWaits> m_closing = std::make_shared<platform::WindowWaits>();
    UiThreadMessageBox m_messageBox;
    FrameModel::Services m_services;
    FrameModel m_model;
    SettingsStore m_settingsStore;
    std::map<int, std::function<void()>> m_commands;
    // Every menu item and button, by command id; the menus' own items are updated when they open.
    std::multimap<int, QAction*> m_actions;
    QWidget* m_client = nullptr;
    CToolBar24* m_toolBar = nullptr;
    CCellListCtrl* m_listView = nullptr;
    CHtmlCtrl* m_panel = nullptr;
    CColorEdit* m_logPane = nullptr;
    QMenu* m_contextMenu = nullptr;
    std::unique_ptr<CSystemTray> m_tray;
    std::map<TimerId, QTimer*> m_timers;
    bool m_shutDown = false;
};
