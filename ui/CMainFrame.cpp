#include "ui/CMainFrame.h"

#include "app/CommandIds.h"
#include "settings/AutostartEntry.h"
#include "ui/CAddProxyDlg.h"
#include "ui/CCellListCtrl.h"
#include "ui/CColorEdit.h"
#include "ui/CDownloadDoneDlg.h"
#include "ui/CExportDlg.h"
#include "ui/CHtmlCtrl.h"
#include "ui/CSettingSheet.h"
#include "ui/CSystemCheckDlg.h"
#include "ui/CSystemTray.h"
#include "ui/CToolBar24.h"
#include "ui/OrvResources.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QThread>
#include <QTimer>

namespace {

QString Text(const char* text) {
    return QString::fromLatin1(text);
}

// The etched separators: shadow above, highlight below.
void EtchedLine(QPainter& painter, const QPalette& palette, int width, int y) {
    painter.setPen(palette.color(QPalette::Dark));
    painter.drawLine(0, y, width, y);
    painter.setPen(palette.color(QPalette::Light));
    painter.drawLine(0, y + 1, width, y + 1);
}

} // namespace

CMainFrame::CMainFrame(FrameModel::Services services, std::string programFolder, std::string dataFolder,
                       FirefoxChannel::Ports firefoxPorts)
    : m_messageBox(*this, services.messageBox), m_services{m_messageBox, services.clipboard, services.fileDialog,
                                                           services.shellOpen, services.systemProxy},
      m_model(*this, m_services, std::move(programFolder), std::move(dataFolder), firefoxPorts),
      m_settingsStore(m_model.EditSettings(), m_model.DataFolder()) {
    platform::WindowThread::Record();
    m_settingsStore.OnSaveFailure([this](const std::string& path, const std::string& reason) {
        m_model.ReportSaveFailure(FrameModel::SettingsSubject, path, reason);
    });
}

CMainFrame::~CMainFrame() {
    m_closing->Close();
    platform::WindowThread::Forget();
    // The children ask the model for cells and log text: they go while it still exists, and no state
    // update reaches their buttons meanwhile.
    m_actions.clear();
    delete takeCentralWidget();
    m_model.LogPane().SetListener(nullptr);
}

QFont CMainFrame::ListFont() {
    // Verdana 13 px, a swiss face where Verdana is missing. The weight asked for (100) names a face
    // Verdana never had, so the list was always drawn in its regular weight.
    QFont font(QStringLiteral("Verdana"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(13);
    return font;
}

bool CMainFrame::Create() {
    InitOrvResources();
    setObjectName(Text(WindowClass));
    BuildCommands();

    m_tray = std::make_unique<CSystemTray>();
    if (!m_tray->Create(
            this, Text("Tarvelo"), [this](int id) { OnCommand(id); }, [this](int id) { return CommandStateOf(id); }))
        return false;

    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    m_client->installEventFilter(this);
    setCentralWidget(m_client);

    BuildToolBar();

    m_panel = new CHtmlCtrl(m_client);
    m_panel->setObjectName(QStringLiteral("panel")); // the names let tests find the parts
    // The figures as soon as the page is up, saved list or none; a loaded list delays this to its own time.
    connect(m_panel, &CHtmlCtrl::pageLoaded, this, [this] { StartTimer(TimerId::PanelRefresh, 0); });
    m_panel->Navigate(QStringLiteral("res://orv.exe/141"));

    m_listView = new CCellListCtrl([this](CellInfo& cell) { m_model.GetCellInfo(cell); }, m_client);
    m_listView->setObjectName(QStringLiteral("list"));
    m_listView->setFont(ListFont());
    connect(m_listView, &CCellListCtrl::HeaderClicked, this, [this](int column) {
        m_model.OnHeaderClick(column);
        UpdateCommandUI();
    });
    connect(m_listView, &CCellListCtrl::RowDoubleClicked, this, [this] { OnCommand(cmd::SetActiveProxy); });
    connect(m_listView, &CCellListCtrl::ContextMenuAt, this, [this](const QPoint& pos) { ShowContextMenu(pos); });
    connect(m_listView, &CCellListCtrl::SelectionChanged, this, [this] { UpdateCommandUI(); });

    m_logPane = CColorEdit::CreateLogPane(m_model.LogPane(), m_client);
    m_logPane->setObjectName(QStringLiteral("log"));
    m_model.AppendLog(FrameModel::WelcomeLine);

    BuildMenus();
    BuildContextMenu();

    m_model.LoadSettingsAndList();
    m_model.AnnounceActiveProxy();

    setWindowTitle(Text(Title));
    setMinimumSize(Width, MinHeight);
    setMaximumWidth(Width);
    resize(Width, Height);
    StartTimer(TimerId::StartUp, 0);

    connect(QApplication::clipboard(), &QClipboard::dataChanged, this, [this] { UpdateCommandUI(); });
    UpdateCommandUI();
    return true;
}

void CMainFrame::BuildCommands() {
    auto model = [this](void (FrameModel::*operation)()) { return [this, operation] { (m_model.*operation)(); }; };
    m_commands = {
        {cmd::LoadList, model(&FrameModel::OnLoadList)},
        {cmd::ExportAll, [this] { OnExport(false); }},
        {cmd::ExportSelected, [this] { OnExport(true); }},
        {cmd::DownloadList, model(&FrameModel::OnDownloadList)},
        {cmd::SystemCheck, model(&FrameModel::OnSystemCheck)},
        {cmd::HideToTray, [this] { MinimiseToTray(); }},
        {cmd::ShowMainWindow, [this] { OnShowMainWindow(); }},
        {cmd::Exit, [this] { close(); }},
        {cmd::SelectAll, [this] { OnSelectAll(); }},
        {cmd::ReverseSelection, [this] { OnReverseSelection(); }},
        {cmd::Copy, model(&FrameModel::OnCopy)},
        {cmd::Paste, model(&FrameModel::OnPaste)},
        {cmd::Add, [this] { OnAdd(); }},
        {cmd::Delete, model(&FrameModel::OnDelete)},
        {cmd::DeleteDuplicates, model(&FrameModel::OnDeleteDuplicates)},
        {cmd::DeleteTimeout, model(&FrameModel::OnDeleteTimeout)},
        {cmd::DeleteDangerous, model(&FrameModel::OnDeleteDangerous)},
        {cmd::MarkDangerous, model(&FrameModel::MarkDangerous)},
        {cmd::TestAll, model(&FrameModel::OnTestAll)},
        {cmd::TestSelected, model(&FrameModel::OnTestSelected)},
        {cmd::Stop, model(&FrameModel::OnStop)},
        {cmd::Settings, [this] { OnSettings(); }},
        {cmd::SetActiveProxy, model(&FrameModel::OnSetActiveProxy)},
        {cmd::ToggleTray, model(&FrameModel::OnToggleTray)},
        {cmd::Help, model(&FrameModel::OnHelp)},
        {cmd::About, [this] { OnAbout(); }},
    };
    // The quick-switch entries and the direct connection: one range, one handler.
    for (int id = cmd::QuickSwitchFirst; id <= cmd::DirectConnection; ++id)
        m_commands.emplace(id, [this, id] { m_model.OnSwitchCommand(id); });
}

std::vector<int> CMainFrame::CommandIds() const {
    std::vector<int> ids;
    for (const auto& [id, command] : m_commands)
        ids.push_back(id);
    return ids;
}

void CMainFrame::OnCommand(int id) {
    ORV_ON_WINDOW_THREAD();
    const auto found = m_commands.find(id);
    if (found == m_commands.end())
        return;
    found->second();
    UpdateCommandUI();
}

CommandState CMainFrame::CommandStateOf(int id) {
    CommandState state = m_model.UpdateCommand(id);
    if (id == cmd::ShowMainWindow)
        state.text = IsOnScreen() ? "Minimize to tray" : "Show main window";
    return state;
}

void CMainFrame::UpdateActions(const QList<QAction*>& actions) {
    std::map<int, CommandState> states;
    for (QAction* action : actions) {
        const int id = action->data().toInt();
        auto found = states.find(id);
        if (found == states.end())
            found = states.emplace(id, CommandStateOf(id)).first;
        const CommandState& state = found->second;
        action->setEnabled(state.enabled);
        if (id == cmd::DirectConnection)
            CSystemTray::SetMark(action, state.checked);
        if (!state.text.empty() && action->parent() != m_toolBar)
            action->setText(QString::fromStdString(state.text));
    }
}

void CMainFrame::UpdateCommandUI() {
    ORV_ON_WINDOW_THREAD();
    QList<QAction*> actions;
    for (const auto& [id, action] : m_actions)
        actions.push_back(action);
    UpdateActions(actions);
}

QMenu* CMainFrame::AddMenu(QMenu* menu, const std::vector<MenuItem>& items, bool withShortcuts) {
    for (const MenuItem& item : items) {
        if (item.id == 0) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(Text(item.text));
        action->setData(item.id);
        if (withShortcuts && item.shortcut != nullptr)
            action->setShortcut(QKeySequence(Text(item.shortcut)));
        const int id = item.id;
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        m_actions.emplace(id, action);
    }
    connect(menu, &QMenu::aboutToShow, this, [this, menu] { UpdateActions(menu->actions()); });
    return menu;
}

void CMainFrame::BuildMenus() {
    QMenuBar* bar = menuBar();
    AddMenu(bar->addMenu(Text("&File")),
            {{cmd::DownloadList, "&Download List", nullptr},
             {cmd::SystemCheck, "System &Check", nullptr},
             {0, nullptr, nullptr},
             {cmd::LoadList, "&Load List", "Ctrl+O"},
             {cmd::ExportAll, "&Export All", "Ctrl+S"},
             {cmd::ExportSelected, "Export &Selected", nullptr},
             {0, nullptr, nullptr},
             {cmd::HideToTray, "&Hide to Tray", nullptr},
             {cmd::Exit, "E&xit ORV", nullptr}},
            true);
    AddMenu(bar->addMenu(Text("&Edit")),
            {{cmd::SelectAll, "&Select All", "Ctrl+A"},
             {cmd::ReverseSelection, "&Reverse Selection", nullptr},
             {0, nullptr, nullptr},
             {cmd::Copy, "&Copy", "Ctrl+C"},
             {cmd::Paste, "&Paste", "Ctrl+V"},
             {0, nullptr, nullptr},
             {cmd::Add, "&Add", "Ins"},
             {cmd::Delete, "&Delete", "Del"}},
            true);
    AddMenu(bar->addMenu(Text("&Test")),
            {{cmd::TestAll, "&All", nullptr},
             {cmd::TestSelected, "&Selected", nullptr},
             {cmd::Stop, "S&top", nullptr},
             {0, nullptr, nullptr},
             {cmd::Settings, "S&etting", nullptr}},
            true);
    AddMenu(bar->addMenu(Text("&Switch")),
            {{cmd::DirectConnection, "Use Direct Connection", nullptr},
             {0, nullptr, nullptr},
             {cmd::SetActiveProxy, "Set as current active proxy", nullptr},
             {cmd::ToggleTray, "Add to tray for quick switch", nullptr}},
            true);
    AddMenu(bar->addMenu(Text("&Help")), {{cmd::Help, "&Help", nullptr}, {cmd::About, "&About", nullptr}}, true);
}

void CMainFrame::BuildContextMenu() {
    m_contextMenu = AddMenu(new QMenu(this),
                            {{cmd::SetActiveProxy, "Set as current active proxy", nullptr},
                             {cmd::ToggleTray, "Add to tray for quick switch", nullptr},
                             {cmd::DirectConnection, "Use direct connection", nullptr},
                             {0, nullptr, nullptr},
                             {cmd::TestSelected, "Verify selected proxies", nullptr},
                             {cmd::TestAll, "Verify all the proxies", nullptr},
                             {0, nullptr, nullptr},
                             {cmd::Delete, "Delete selected proxies", nullptr},
                             {cmd::DeleteDuplicates, "Delete duplicate proxies", nullptr},
                             {cmd::DeleteTimeout, "Delete timeout proxies", nullptr},
                             {cmd::DeleteDangerous, "Delete dangerous proxies", nullptr},
                             {0, nullptr, nullptr},
                             {cmd::Copy, "Copy them to the clipboard", nullptr},
                             {cmd::Paste, "Paste from the clipboard", nullptr},
                             {0, nullptr, nullptr},
                             {cmd::ExportSelected, "Export the select proxies", nullptr}},
                            false);
    m_contextMenu->setObjectName(QStringLiteral("contextMenu"));
}

void CMainFrame::BuildToolBar() {
    m_toolBar = new CToolBar24(m_client);
    m_toolBar->setObjectName(QStringLiteral("toolbar"));
    // Each button's drawing is named after its command.
    const auto image = [](int id) { return QStringLiteral(":/icons/toolbar/%1.svg").arg(id); };
    m_toolBar->LoadButtons({{cmd::LoadList, image(cmd::LoadList), Text("Load proxy list")},
                            {cmd::DownloadList, image(cmd::DownloadList), Text("Download proxy list from Halvard")},
                            {},
                            {cmd::ExportAll, image(cmd::ExportAll), Text("Save the whole list")},
                            {},
                            {cmd::TestSelected, image(cmd::TestSelected), Text("Test the selected proxies")},
                            {cmd::Stop, image(cmd::Stop), Text("Stop testing")},
                            {},
                            {cmd::Add, image(cmd::Add), Text("Add a proxy")},
                            {cmd::Delete, image(cmd::Delete), Text("Delete the selected proxies")},
                            {cmd::SetActiveProxy, image(cmd::SetActiveProxy), Text("Connect/disconnect to this proxy")},
                            {},
                            {cmd::Settings, image(cmd::Settings), Text("Settings")},
                            {},
                            {cmd::About, image(cmd::About), Text("About ORV")},
                            {cmd::Exit, image(cmd::Exit), Text("Exit ORV")}},
                           [this](int id) { OnCommand(id); });
    for (const auto& [id, action] : m_toolBar->Actions())
        m_actions.emplace(id, action);
}

bool CMainFrame::ShowContextMenu(const QPoint& globalPos) {
    const QRect listRect(m_listView->mapToGlobal(QPoint(0, 0)), m_listView->size());
    if (!listRect.contains(globalPos))
        return false;
    UpdateActions(m_contextMenu->actions());
    m_contextMenu->popup(globalPos);
    return true;
}

void CMainFrame::OnAdd() {
    if (m_model.RefuseWhileTesting())
        return;
    auto* dialog = new CAddProxyDlg(
        [this](const std::string& ip, const std::string& port) { return m_model.AddProxy(ip, port); }, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::finished, this, [this] { UpdateCommandUI(); });
    dialog->open();
}

void CMainFrame::OnAbout() {
    auto* box = new QMessageBox(this);
    box->setObjectName(QStringLiteral("about"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(QStringLiteral("About ORV"));
    box->setIconPixmap(windowIcon().pixmap(48, 48));
    box->setText(QStringLiteral("<b>Tarvelo</b><br>Version %1").arg(Text(AboutVersion)));
    box->setInformativeText(QStringLiteral("Keeps a list of public HTTP proxies, tests them for delay and "
                                           "anonymity, and switches the desktop and Firefox to the one you "
                                           "choose.<br><br>A Halvard product."));
    box->open();
}

void CMainFrame::OnSettings() {
    // The workers read the settings during a run.
    if (m_model.State() != RunState::Idle)
        return;
    auto* sheet = new CSettingSheet(m_settingsStore, m_messageBox, AutostartEntry(m_model.ProgramFolder()), this);
    sheet->setObjectName(QStringLiteral("settings"));
    connect(sheet, &QDialog::accepted, this, [this] { m_model.OnSettingsChanged(); });
    OpenDialog(sheet);
}

void CMainFrame::OnExport(bool selectedOnly) {
    std::vector<ProxyItem*> exportSet;
    if (selectedOnly) {
        const std::vector<uint32_t> rows = SelectedRows();
        std::optional<std::vector<ProxyItem*>> selected =
            ExportDialogLogic::ExportSelected(m_model.List(), std::vector<size_t>(rows.begin(), rows.end()));
        if (!selected)
            return;
        exportSet = std::move(*selected);
    } else {
        exportSet = ExportDialogLogic::ExportAll(m_model.List());
    }
    auto* dialog = new CExportDlg(m_settingsStore, {m_messageBox, m_services.fileDialog, m_services.shellOpen},
                                  std::move(exportSet), m_model.LastTestedText(), this);
    dialog->setObjectName(QStringLiteral("export"));
    OpenDialog(dialog);
}

void CMainFrame::OpenDialog(QDialog* dialog) {
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::finished, this, [this] { UpdateCommandUI(); });
    dialog->open();
}

void CMainFrame::ShowDownloadDone(size_t count, const std::string& updateTime) {
    auto* dialog = new CDownloadDoneDlg(std::to_string(count), updateTime, this);
    dialog->setObjectName(QStringLiteral("downloadDone"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::finished, this, [this](int result) {
        // Posted, as the test of the whole list starts after the dialog has gone.
        if (result == QDialog::Accepted)
            QMetaObject::invokeMethod(
                this, [this] { OnCommand(cmd::TestAll); }, Qt::QueuedConnection);
        UpdateCommandUI();
    });
    dialog->open();
}

void CMainFrame::ShowSystemCheckDialog() {
    // Shown, not opened: the main window stays usable while it is up.
    auto* dialog = new CSystemCheckDlg(m_settingsStore, m_services.shellOpen, m_messageBox, this);
    dialog->setObjectName(QStringLiteral("systemCheck"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void CMainFrame::OnSelectAll() {
    m_listView->setFocus();
    m_listView->SelectAllRows();
}

void CMainFrame::OnReverseSelection() {
    m_listView->setFocus();
    m_listView->ReverseSelection();
}

void CMainFrame::LayoutChildren() {
    const int w = m_client->width();
    const int h = m_client->height();
    m_toolBar->setGeometry(0, 0, w, m_toolBar->sizeHint().height());
    m_listView->setGeometry(4, 46, w - 8, h - 150);
    m_panel->setGeometry(4, h - 96, 330, 96);
    m_logPane->setGeometry(338, h - 96, w - 343, 92);
}

void CMainFrame::PaintClient() {
    QPainter painter(m_client);
    const QPalette& palette = m_client->palette();
    painter.fillRect(m_client->rect(), palette.color(QPalette::Button));
    EtchedLine(painter, palette, m_client->width(), 41);
    EtchedLine(painter, palette, m_client->width(), m_client->height() - 101);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_client && event->type() == QEvent::Resize)
        LayoutChildren();
    else if (watched == m_client && event->type() == QEvent::Paint)
        PaintClient();
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    ShutDown();
    event->accept();
    QApplication::quit();
}

void CMainFrame::changeEvent(QEvent* event) {
    // Minimising hides the window into the tray, as "Hide to Tray" does.
    if (event->type() == QEvent::WindowStateChange && isMinimized() && m_tray && m_tray->IsAvailable())
        QTimer::singleShot(0, this, [this] {
            if (isMinimized())
                MinimiseToTray();
        });
    QMainWindow::changeEvent(event);
}

void CMainFrame::MinimiseToTray() {
    if (!m_tray || !m_tray->IsAvailable()) {
        showMinimized();
        return;
    }
    hide();
}

void CMainFrame::MaximiseFromTray() {
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void CMainFrame::OnShowMainWindow() {
    // Without a tray a minimised window comes back instead: it has nowhere else to go.
    const bool minimisedWithoutTray = isMinimized() && !(m_tray && m_tray->IsAvailable());
    if (IsOnScreen() && !minimisedWithoutTray)
        MinimiseToTray();
    else
        MaximiseFromTray();
}

void CMainFrame::AnimateTray(bool animate) {
    if (m_tray && !m_closing->IsClosed())
        m_tray->Animate(animate);
}

void CMainFrame::ShutDown() {
    ORV_ON_WINDOW_THREAD();
    if (m_shutDown)
        return;
    m_shutDown = true;
    emit shuttingDown();
    m_closing->Close();
    if (m_tray)
        m_tray->HideIcon();
    m_model.ShutDown();
}

void CMainFrame::ActiveProxyChanged(const std::string& address, const std::string& port) {
    emit activeProxyChanged(QString::fromStdString(address), QString::fromStdString(port));
}

void CMainFrame::RefreshPanelNow() {
    m_model.OnTimer(TimerId::PanelRefresh);
}

void CMainFrame::OnTimerFired(TimerId id) {
    ORV_ON_WINDOW_THREAD();
    m_model.OnTimer(id);
    UpdateCommandUI();
}

void CMainFrame::RunOnUiThread(std::function<void()> work) {
    if (QThread::currentThread() == thread())
        work();
    else
        QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

bool CMainFrame::RunOnUiThreadAndWait(std::function<void()> work) {
    if (QThread::currentThread() == thread()) {
        work();
        return true;
    }
    // The caller waits until the window has done the work, or until the window closes; never the reverse.
    auto closing = m_closing;
    auto handoff = std::make_shared<platform::WindowWaits::Handoff>();
    QMetaObject::invokeMethod(
        this,
        [closing, handoff, work = std::move(work)] {
            if (!closing->IsClosed())
                work();
            closing->Finish(*handoff);
        },
        Qt::QueuedConnection);
    return closing->Wait(*handoff);
}

void CMainFrame::RedrawRows(int32_t first, int32_t last) {
    RunOnUiThreadAndWait([this, first, last] { m_listView->RedrawRows(first, last); });
}

platform::MessageBox::Answer CMainFrame::UiThreadMessageBox::Show(const std::string& text, Buttons buttons) {
    // A question nobody can answer any more (the window is closing) is answered "Yes".
    auto answer = std::make_shared<Answer>(AnswerYes);
    const bool answered =
        m_frame.RunOnUiThreadAndWait([this, answer, text, buttons] { *answer = m_inner.Show(text, buttons); });
    return answered ? *answer : AnswerYes;
}

void CMainFrame::TestingChanged() {
    PostToWindow([this] {
        UpdateCommandUI();
        // A download may wait long for a silent service; the cursor shows that work goes on.
        if (m_model.IsDownloading())
            setCursor(Qt::BusyCursor);
        else
            unsetCursor();
    });
}

void CMainFrame::PostToWindow(std::function<void()> work) {
    RunOnUiThread([closing = m_closing, work = std::move(work)] {
        if (!closing->IsClosed())
            work();
    });
}

void CMainFrame::RefreshListView() {
    RunOnUiThread([this] { m_listView->SetRowCount(m_model.List().GetSize()); });
}

void CMainFrame::StartTimer(TimerId id, int periodMs) {
    RunOnUiThread([this, id, periodMs] {
        QTimer*& timer = m_timers[id];
        if (timer == nullptr) {
            timer = new QTimer(this);
            connect(timer, &QTimer::timeout, this, [this, id] { OnTimerFired(id); });
        }
        timer->start(periodMs);
    });
}

void CMainFrame::StopTimer(TimerId id) {
    RunOnUiThread([this, id] {
        const auto found = m_timers.find(id);
        if (found != m_timers.end())
            found->second->stop();
    });
}

std::vector<uint32_t> CMainFrame::SelectedRows() {
    return m_listView->SelectedRows();
}

int64_t CMainFrame::FirstSelectedRow() {
    return m_listView->FirstSelectedRow();
}

void CMainFrame::ShowPanelUpdates(const std::vector<PanelUpdate>& updates) {
    m_panel->ApplyPanelUpdates(updates);
}

void CMainFrame::ShowBalloon(const std::string& text, const std::string& title, BalloonIcon icon, int seconds) {
    QMetaObject::invokeMethod(
        this,
        [this, text, title, icon, seconds] {
            if (m_tray && !m_closing->IsClosed())
                m_tray->ShowBalloon(text, title, icon, seconds);
        },
        Qt::QueuedConnection);
}
