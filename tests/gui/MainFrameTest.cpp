#include "app/CommandIds.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/ShellOpen.h"
#include "platform/SystemProxy.h"
#include "settings/SavedList.h"
#include "tests/support/FrameModelTestAccess.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/QtApp.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"
#include "ui/CAddProxyDlg.h"
#include "ui/CCellListCtrl.h"
#include "ui/CColorEdit.h"
#include "ui/CExportDlg.h"
#include "ui/CHtmlCtrl.h"
#include "ui/CMainFrame.h"
#include "ui/CSettingSheet.h"
#include "ui/CSystemTray.h"
#include "ui/CToolBar24.h"
#include "ui/QtClipboard.h"

#include <QAbstractItemModelTester>
#include <QClipboard>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {

// A shown main window over a temporary data folder, with scripted message boxes and file dialog and the
// real clipboard.
struct Window {
    TempDir dir;
    platform::ScriptedMessageBox messages;
    platform::QtClipboard clipboard;
    platform::ScriptedFileDialog files;
    platform::RecordingShellOpen shell;
    platform::RecordingSystemProxy systemProxy;
    std::unique_ptr<CMainFrame> frame;

    explicit Window(const std::string& listText = {}) {
        QtApp();
        if (!listText.empty())
            Paste(listText);
        frame = std::make_unique<CMainFrame>(FrameModel::Services{messages, clipboard, files, shell, systemProxy},
                                             dir.Path(), dir.Path(), FirefoxChannel::Ports{0, 0});
        EXPECT_TRUE(frame->Create());
        frame->show();
        if (!listText.empty()) {
            frame->OnCommand(cmd::Paste);
            frame->Model().AppendLog("", LogMode::Clear);
        }
    }
    ~Window() {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (qobject_cast<QDialog*>(widget) != nullptr)
                widget->close();
    }
    static void Paste(const std::string& text) { QGuiApplication::clipboard()->setText(QString::fromStdString(text)); }
    FrameModel& Model() { return frame->Model(); }
    CCellListCtrl* List() { return frame->ListView(); }
    std::string Log() { return Model().Log().Text(); }
    std::vector<std::string> Addresses() {
        std::vector<std::string> addresses;
        for (size_t i = 0; i < Model().List().GetSize(); ++i)
            addresses.push_back(Model().List()[i]->ProxyAddressText());
        return addresses;
    }
    void Select(std::initializer_list<int> rows) {
        List()->clearSelection();
        for (int row : rows)
            List()->selectionModel()->select(List()->model()->index(row, 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    // The menu items of one top-level menu as "text|id" (separators as "-").
    std::vector<std::string> MenuItems(QMenu* menu) {
        std::vector<std::string> items;
        for (QAction* action : menu->actions())
            items.push_back(action->isSeparator()
                                ? "-"
                                : action->text().toStdString() + "|" + std::to_string(action->data().toInt()));
        return items;
    }
    QMenu* TopMenu(const char* title) {
        for (QAction* action : frame->menuBar()->actions())
            if (action->text() == QLatin1String(title))
                return action->menu();
        return nullptr;
    }
    // The item of the main menu with this command, else that of the list's context menu.
    QAction* MenuAction(int id) {
        std::vector<QMenu*> menus;
        for (QAction* top : frame->menuBar()->actions())
            menus.push_back(top->menu());
        menus.push_back(frame->ContextMenu());
        for (QMenu* menu : menus)
            for (QAction* action : menu->actions())
                if (!action->isSeparator() && action->data().toInt() == id)
                    return action;
        ADD_FAILURE() << "no menu item " << id;
        return nullptr;
    }
};

using Strings = std::vector<std::string>;

} // namespace

TEST(MainFrame, OpensWithItsTitleSizeAndWidthLimits) {
    Window window;
    CMainFrame& frame = *window.frame;
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("Tarvelo 1.07B"));
    EXPECT_EQ(frame.objectName(), QStringLiteral("TARVELOCLASS"));
    EXPECT_EQ(frame.size(), QSize(710, 532));
    EXPECT_EQ(frame.minimumSize(), QSize(710, 400));
    EXPECT_EQ(frame.maximumWidth(), 710);
    EXPECT_EQ(window.Log(), "Thanks for using Tarvelo, a Halvard product.\r\n");
}

TEST(MainFrame, LayoutKeepsTheListAboveTheSeparatorsAtEveryHeight) {
    Window window;
    for (int height : {532, 400, 777}) {
        window.frame->resize(710, height);
        QApplication::processEvents();
        const QWidget* client = window.frame->centralWidget();
        const int w = client->width();
        const int h = client->height();
        EXPECT_EQ(window.List()->geometry(), QRect(4, 46, w - 8, h - 150)) << height;
        EXPECT_EQ(window.List()->geometry().bottom() + 1, h - 104);
        EXPECT_EQ(window.frame->StatusPanel()->geometry(), QRect(4, h - 96, 330, 96));
        EXPECT_EQ(window.frame->LogPane()->geometry(), QRect(338, h - 96, w - 343, 92));
        EXPECT_LE(window.frame->ToolBar()->geometry().bottom(), 41);
    }
}

TEST(MainFrame, MenusHoldTheirItemsInOrder) {
    Window window;
    Strings titles;
    for (QAction* action : window.frame->menuBar()->actions())
        titles.push_back(action->text().toStdString());
    EXPECT_EQ(titles, (Strings{"&File", "&Edit", "&Test", "&Switch", "&Help"}));
    EXPECT_EQ(window.MenuItems(window.TopMenu("&File")),
              (Strings{"&Download List|32822", "System &Check|32826", "-", "&Load List|32774", "&Export All|32775",
                       "Export &Selected|32804", "-", "&Hide to Tray|32823", "E&xit ORV|57665"}));
    EXPECT_EQ(window.MenuItems(window.TopMenu("&Edit")),
              (Strings{"&Select All|32805", "&Reverse Selection|32824", "-", "&Copy|32784", "&Paste|32789", "-",
                       "&Add|32797", "&Delete|32786"}));
    EXPECT_EQ(window.MenuItems(window.TopMenu("&Test")),
              (Strings{"&All|32780", "&Selected|32785", "S&top|32782", "-", "S&etting|32803"}));
    EXPECT_EQ(window.MenuItems(window.TopMenu("&Switch")),
              (Strings{"Use Direct Connection|32819", "-", "Set as current active proxy|32795",
                       "Add to tray for quick switch|32791"}));
    EXPECT_EQ(window.MenuItems(window.TopMenu("&Help")), (Strings{"&Help|32825", "&About|57664"}));
}

TEST(MainFrame, AcceleratorsBelongToTheirCommands) {
    Window window;
    const std::vector<std::pair<int, QKeySequence>> keys = {{cmd::SelectAll, QKeySequence(Qt::CTRL | Qt::Key_A)},
                                                            {cmd::Copy, QKeySequence(Qt::CTRL | Qt::Key_C)},
                                                            {cmd::LoadList, QKeySequence(Qt::CTRL | Qt::Key_O)},
                                                            {cmd::ExportAll, QKeySequence(Qt::CTRL | Qt::Key_S)},
                                                            {cmd::Paste, QKeySequence(Qt::CTRL | Qt::Key_V)},
                                                            {cmd::Delete, QKeySequence(Qt::Key_Delete)},
                                                            {cmd::Add, QKeySequence(Qt::Key_Insert)}};
    for (const auto& [id, key] : keys)
        EXPECT_EQ(window.MenuAction(id)->shortcut(), key) << id;
}

TEST(MainFrame, ToolbarButtonsAndSeparatorsInOrder) {
    Window window;
    Strings buttons;
    for (QAction* action : window.frame->ToolBar()->actions())
        buttons.push_back(action->isSeparator() ? "-" : action->toolTip().toStdString());
    EXPECT_EQ(buttons,
              (Strings{"Load proxy list", "Download proxy list from Halvard", "-", "Save the whole list", "-",
                       "Test the selected proxies", "Stop testing", "-", "Add a proxy", "Delete the selected proxies",
                       "Connect/disconnect to this proxy", "-", "Settings", "-", "About ORV", "Exit ORV"}));
    EXPECT_EQ(window.frame->ToolBar()->iconSize(), QSize(32, 32));
}

TEST(MainFrame, ContextMenuOfTheListAndOnlyInsideIt) {
    Window window;
    EXPECT_EQ(
        window.MenuItems(window.frame->ContextMenu()),
        (Strings{"Set as current active proxy|32795", "Add to tray for quick switch|32791",
                 "Use direct connection|32819", "-", "Verify selected proxies|32785", "Verify all the proxies|32780",
                 "-", "Delete selected proxies|32786", "Delete duplicate proxies|32783", "Delete timeout proxies|32787",
                 "Delete dangerous proxies|32788", "-", "Copy them to the clipboard|32784",
                 "Paste from the clipboard|32789", "-", "Export the select proxies|32804"}));
    const QPoint inside = window.List()->mapToGlobal(QPoint(20, 20));
    EXPECT_FALSE(window.frame->ShowContextMenu(window.frame->mapToGlobal(QPoint(5, 500))));
    EXPECT_TRUE(window.frame->ShowContextMenu(inside));
    EXPECT_TRUE(window.frame->ContextMenu()->isVisible());
    window.frame->ContextMenu()->close();
}

TEST(MainFrame, TrayMenuHasItsFixedEntries) {
    Window window;
    EXPECT_EQ(window.MenuItems(window.frame->Tray()->Menu()),
              (Strings{"Direct connection|32819", "-", "Show main window|32806", "Exit ORV|57665"}));
}

// The tray menu as it opens with 0, 1 and 15 records in the quick-switch set; its entries switch.
TEST(MainFrameTray, QuickSwitchEntriesFollowTheSetAndSwitch) {
    std::string list;
    for (int i = 1; i <= 15; ++i)
        list += "10.0.0." + std::to_string(i) + ":80\n";
    Window window(list);
    QMenu* menu = window.frame->Tray()->Menu();
    const auto opened = [&] {
        emit menu->aboutToShow();
        return window.MenuItems(menu);
    };
    const auto checked = [&](int id) {
        for (QAction* action : menu->actions())
            if (action->data().toInt() == id)
                return action->isChecked();
        return false;
    };
    EXPECT_EQ(opened(), (Strings{"Direct connection|32819", "-", "Minimize to tray|32806", "Exit ORV|57665"}));
    EXPECT_TRUE(checked(cmd::DirectConnection));

    window.Select({3});
    window.frame->OnCommand(cmd::SetActiveProxy);
    EXPECT_EQ(opened(), (Strings{"Direct connection|32819", "-", "10.0.0.4:80|32807", "-", "Minimize to tray|32806",
                                 "Exit ORV|57665"}));
    EXPECT_TRUE(checked(cmd::QuickSwitchFirst));
    EXPECT_FALSE(checked(cmd::DirectConnection));
    // Only the active entry carries a mark; the others draw no empty box, here and in the Switch menu.
    auto* switchMenu = qobject_cast<QMenu*>(window.MenuAction(cmd::DirectConnection)->parent());
    ASSERT_NE(switchMenu, nullptr);
    emit switchMenu->aboutToShow();
    for (QMenu* shown : {menu, switchMenu})
        for (QAction* action : shown->actions())
            EXPECT_EQ(action->isCheckable(), action->isChecked()) << action->text().toStdString();

    window.frame->OnCommand(cmd::SelectAll);
    window.frame->OnCommand(cmd::ToggleTray);
    Strings items = opened();
    ASSERT_EQ(items.size(), 2u + 12u + 3u);
    EXPECT_EQ(items[2], "10.0.0.4:80|32807"); // the active one first: added ones go last until a rebuild
    EXPECT_EQ(items[13], "10.0.0.12:80|32818");
    for (QAction* action : menu->actions())
        if (action->data().toInt() == cmd::QuickSwitchFirst + 1)
            action->trigger();
    EXPECT_EQ(window.Model().ActiveProxy(), window.Model().List()[0]);
    EXPECT_EQ(opened()[2], "10.0.0.1:80|32807"); // the switch rebuilt the set in list order
    // Start-up with nothing active left the desktop alone; the first switch kept the user's values.
    EXPECT_EQ(window.systemProxy.m_calls, (Strings{"read", "proxy 10.0.0.4:80", "proxy 10.0.0.1:80"}));
}

// Without a tray (as here) hiding minimises and the tray command brings the window back; a window
// hidden in the tray reads "Show main window" and comes back the same way.
TEST(MainFrameTray, HideAndShowTheWindow) {
    Window window;
    CMainFrame& frame = *window.frame;
    const auto showText = [&] { return frame.CommandStateOf(cmd::ShowMainWindow).text; };
    EXPECT_EQ(showText(), "Minimize to tray");
    frame.OnCommand(cmd::HideToTray);
    EXPECT_TRUE(frame.isMinimized());
    EXPECT_EQ(showText(), "Minimize to tray");
    frame.OnCommand(cmd::ShowMainWindow);
    EXPECT_FALSE(frame.isMinimized());
    EXPECT_TRUE(frame.isVisible());

    frame.hide();
    EXPECT_EQ(showText(), "Show main window");
    frame.OnCommand(cmd::ShowMainWindow);
    EXPECT_TRUE(frame.isVisible());
}

TEST(MainFrameCommands, EnablingFollowsTheTestingState) {
    Window window("1.2.3.4:80");
    CMainFrame& frame = *window.frame;
    for (uint8_t testing : {0, 1, 2}) {
        FrameModelTestAccess::SetState(window.Model(), static_cast<RunState>(testing));
        frame.UpdateCommandUI();
        for (int id : {cmd::LoadList, cmd::Delete, cmd::Add, cmd::DeleteDuplicates, cmd::DeleteTimeout,
                       cmd::DeleteDangerous, cmd::Paste})
            EXPECT_EQ(window.MenuAction(id)->isEnabled(), testing == 0) << id << " at " << int(testing);
        for (int id : {cmd::TestAll, cmd::TestSelected, cmd::Settings, cmd::ExportAll, cmd::DownloadList})
            EXPECT_EQ(window.MenuAction(id)->isEnabled(), testing == 0) << id << " at " << int(testing);
        EXPECT_EQ(window.MenuAction(cmd::Stop)->isEnabled(), testing == 1) << int(testing);
        EXPECT_EQ(frame.ToolBar()->Action(cmd::Stop)->isEnabled(), testing == 1) << int(testing);
        for (int id :
             {cmd::Copy, cmd::SelectAll, cmd::ReverseSelection, cmd::Help, cmd::About, cmd::Exit, cmd::SystemCheck})
            EXPECT_TRUE(window.MenuAction(id)->isEnabled()) << id;
        // Switching is allowed while a run goes on.
        for (int id : {cmd::HideToTray, cmd::SetActiveProxy, cmd::ToggleTray, cmd::DirectConnection})
            EXPECT_TRUE(window.MenuAction(id)->isEnabled()) << id << " at " << int(testing);
        EXPECT_EQ(frame.ToolBar()->Action(cmd::Delete)->isEnabled(), testing == 0);
    }
}

TEST(MainFrameCommands, EveryCommandOfTheTableRuns) {
    // The list download asks a port where nothing listens.
    ScopedEnv service("ORV_LIST_SERVICE_URL", "http://127.0.0.1:1");
    Window window("1.2.3.4:80 5.6.7.8:8080");
    CMainFrame& frame = *window.frame;
    window.Select({0});
    // No test item: the test commands stop at their message instead of reaching for the network.
    window.Model().EditSettings().TestDelay = 0;
    window.Model().EditSettings().TestAnon = 0;
    for (int id : frame.CommandIds()) {
        if (id == cmd::Exit)
            continue;
        frame.OnCommand(id);
    }
    // About, Add, the settings and the export opened their windows; Help went to the shell.
    EXPECT_NE(frame.findChild<QMessageBox*>(QStringLiteral("about")), nullptr);
    EXPECT_NE(frame.findChild<CAddProxyDlg*>(), nullptr);
    EXPECT_NE(frame.findChild<CSettingSheet*>(), nullptr);
    EXPECT_EQ(frame.findChildren<CExportDlg*>().size(), 2u);
    EXPECT_EQ(window.shell.m_opened.size(), 1u);
    EXPECT_TRUE(frame.isVisible());
}

TEST(MainFrameCommands, AboutNamesTheProductAndBuild) {
    Window window;
    window.frame->OnCommand(cmd::About);
    auto* about = window.frame->findChild<QMessageBox*>(QStringLiteral("about"));
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->text().contains(QStringLiteral("Tarvelo")));
    EXPECT_TRUE(about->text().contains(QStringLiteral("1.07B Build 0406")));
}

TEST(MainFrameList, ModelPassesTheItemModelTesterThroughGrowthAndShrinking) {
    Window window;
    QAbstractItemModelTester tester(window.List()->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    Window::Paste("1.1.1.1:80 2.2.2.2:80");
    window.frame->OnCommand(cmd::Paste);
    Window::Paste("3.3.3.3:80 1.1.1.1:80");
    window.frame->OnCommand(cmd::Paste);
    EXPECT_EQ(window.List()->model()->rowCount(), 4);
    window.frame->OnCommand(cmd::DeleteDuplicates);
    EXPECT_EQ(window.List()->model()->rowCount(), 3);
    window.Select({0, 1, 2});
    window.frame->OnCommand(cmd::Delete);
    EXPECT_EQ(window.List()->model()->rowCount(), 0);
}

TEST(MainFrameList, CellsShowTextsTipsAndColours) {
    Window window("10.0.0.1:8080 10.0.0.2:&80");
    ProxyItem* item = window.Model().List()[0];
    item->m_anonymity = 1;
    item->m_delay = 250;
    item->m_status = StatusUnknown;
    QAbstractItemModel* model = window.List()->model();
    EXPECT_EQ(model->columnCount(), 10);
    const auto text = [&](int column) { return model->index(0, column).data().toString().toStdString(); };
    const auto tip = [&](int column) { return model->index(0, column).data(Qt::ToolTipRole).toString().toStdString(); };
    EXPECT_EQ(text(0), "");
    EXPECT_EQ(tip(0), "# 1 - Unknown");
    EXPECT_EQ(text(1), "10.0.0.1");
    EXPECT_EQ(tip(1), "10.0.0.1:8080");
    EXPECT_EQ(text(3), "250");
    EXPECT_EQ(tip(3), "250ms");
    EXPECT_EQ(text(4), "Level 1");
    // An Unknown row is grey, except the green of a Level 1 anonymity.
    EXPECT_EQ(model->index(0, 1).data(Qt::ForegroundRole).value<QColor>(), QColor(160, 160, 160));
    EXPECT_EQ(model->index(0, 4).data(Qt::ForegroundRole).value<QColor>(), QColor(0, 150, 0));
    Strings headers;
    for (int column = 0; column < 10; ++column)
        headers.push_back(model->headerData(column, Qt::Horizontal).toString().toStdString());
    EXPECT_EQ(headers,
              (Strings{" ", "Proxy", "Port", "Delay", "Anonymity", "Country", "Https", "Gateway", "Danger", "CoDeeN"}));
    EXPECT_EQ(window.List()->horizontalHeader()->sectionSize(1), 120);
    EXPECT_TRUE(window.List()->horizontalHeader()->sectionsMovable());
}

TEST(MainFrameList, DelegateDrawsTheAmpersandAndKeepsTheStatusCellUnselected) {
    Window window("10.0.0.1:8080");
    std::strcpy(window.Model().List()[0]->m_ip, "a&b");
    window.List()->setFocus();
    window.Select({0});
    const QImage image = window.List()->viewport()->grab().toImage();
    const QRect status = window.List()->visualRect(window.List()->model()->index(0, 0));
    const QRect proxy = window.List()->visualRect(window.List()->model()->index(0, 1));
    const QColor base = window.List()->palette().color(QPalette::Base);
    // The status cell keeps the window background; the others take the selection colour.
    EXPECT_EQ(image.pixelColor(status.left() + 2, status.center().y()), base);
    EXPECT_NE(image.pixelColor(proxy.left() + 3, proxy.top() + 2), base);
}

// The key sits just before the address of a record with credentials: that cell's ink starts further left
// than that of an address as wide without them. The tray's entry and the switch name the kind.
TEST(MainFrameList, CredentialsShowAKeyAndTheTrayShowsTheKind) {
    Window window("10.0.0.1:3128\nhttp://user:pw@10.0.0.2:3128\nsocks5://user:pw@10.0.0.3:1080\n");
    ASSERT_EQ(window.Model().List().GetSize(), 3u);
    const QImage image = window.List()->viewport()->grab().toImage();
    const QColor base = window.List()->palette().color(QPalette::Base);
    const auto firstInk = [&](int row) {
        const QRect cell = window.List()->visualRect(window.List()->model()->index(row, ColumnProxy));
        for (int x = cell.left(); x <= cell.right(); ++x)
            for (int y = cell.top(); y <= cell.bottom(); ++y)
                if (image.pixelColor(x, y) != base)
                    return x - cell.left();
        return -1;
    };
    ASSERT_GT(firstInk(0), 0);
    EXPECT_LT(firstInk(1), firstInk(0) - 3);

    QMenu* menu = window.frame->Tray()->Menu();
    window.Select({2});
    window.frame->OnCommand(cmd::SetActiveProxy);
    window.Select({1});
    window.frame->OnCommand(cmd::SetActiveProxy);
    emit menu->aboutToShow();
    const Strings items = window.MenuItems(menu);
    ASSERT_GE(items.size(), 4u);
    EXPECT_EQ(items[2], "10.0.0.2:3128|32807");
    EXPECT_EQ(items[3], "socks5://10.0.0.3:1080|32808");
    EXPECT_EQ(window.systemProxy.m_calls, (Strings{"read", "proxy socks5://10.0.0.3:1080 with credentials",
                                                   "proxy 10.0.0.2:3128 with credentials"}));
}

TEST(MainFrameList, SelectAllAndReverseSelection) {
    Window window("1.1.1.1:80 2.2.2.2:80 3.3.3.3:80 4.4.4.4:80 5.5.5.5:80");
    window.Select({1, 3});
    window.frame->OnCommand(cmd::ReverseSelection);
    EXPECT_EQ(window.List()->SelectedRows(), (std::vector<uint32_t>{0, 2, 4}));
    EXPECT_EQ(window.List()->FirstSelectedRow(), 0);
    window.frame->OnCommand(cmd::SelectAll);
    EXPECT_EQ(window.List()->SelectedRows().size(), 5u);
    window.frame->OnCommand(cmd::ReverseSelection);
    EXPECT_TRUE(window.List()->SelectedRows().empty());
    EXPECT_EQ(window.List()->FirstSelectedRow(), -1);
}

TEST(MainFrameList, HeaderClickSortsAndIsRefusedWhileTesting) {
    Window window("10.0.0.1:80 9.0.0.1:80");
    QHeaderView* header = window.List()->horizontalHeader();
    const QPoint proxyHeader(header->sectionViewportPosition(1) + 10, header->height() / 2);
    FrameModelTestAccess::SetState(window.Model(), RunState::Running);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, proxyHeader);
    EXPECT_EQ(window.messages.m_shown, Strings{"Please don't sort the list while testing the proxies."});
    EXPECT_EQ(window.Log(), "");
    FrameModelTestAccess::SetState(window.Model(), RunState::Idle);
    QTest::mouseClick(header->viewport(), Qt::RightButton, {}, proxyHeader);
    EXPECT_EQ(window.Log(), "");
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, proxyHeader);
    EXPECT_EQ(window.Log(), "Sorted the list by the \"IP\" of the proxies.\r\n");
    EXPECT_EQ(window.Addresses(), (Strings{"9.0.0.1:80", "10.0.0.1:80"}));
}

TEST(MainFrameEdit, CopyAndPasteGoThroughTheDesktopClipboard) {
    Window window("1.1.1.1:80 2.2.2.2:8080 3.3.3.3:3128");
    window.Select({0, 2});
    window.frame->OnCommand(cmd::Copy);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "1.1.1.1:80\r\n3.3.3.3:3128");
    EXPECT_EQ(window.Log(), "Copy 2 proxies into the clipboard.\r\n");

    Window::Paste("4.4.4.4:80\n5.5.5.5 81");
    window.frame->UpdateCommandUI();
    EXPECT_TRUE(window.MenuAction(cmd::Paste)->isEnabled());
    window.frame->OnCommand(cmd::Paste);
    EXPECT_EQ(window.Model().List().GetSize(), 5u);
    EXPECT_EQ(window.List()->model()->rowCount(), 5);
    QGuiApplication::clipboard()->clear();
    window.frame->UpdateCommandUI();
    EXPECT_FALSE(window.MenuAction(cmd::Paste)->isEnabled());
}

TEST(MainFrameEdit, AddDialogAcceptsOneProxyAndKeepsWrongInput) {
    Window window;
    window.frame->OnCommand(cmd::Add);
    auto* dialog = window.frame->findChild<CAddProxyDlg*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Add Proxy"));
    dialog->IpEdit()->setText(QStringLiteral("1.2.3.4"));
    dialog->PortEdit()->setText(QStringLiteral("8"));
    dialog->accept();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(window.messages.m_shown, Strings{"The proxy you input is incorrect."});
    EXPECT_EQ(dialog->IpEdit()->text(), QStringLiteral("1.2.3.4"));
    dialog->PortEdit()->setText(QStringLiteral("8080"));
    dialog->accept();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(window.Addresses(), Strings{"1.2.3.4:8080"});
    EXPECT_NE(window.Log().find("Add one proxy to the list.\r\n"), std::string::npos);
}

TEST(MainFrameEdit, AddDialogIsActiveAgainAfterItsErrorBox) {
    Window window;
    CMainFrame* frame = window.frame.get();
    // The window the desktop made active, within five seconds.
    const auto becomesActive = [](QWidget* widget) {
        QElapsedTimer clock;
        clock.start();
        while (QApplication::activeWindow() != widget && clock.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        return QApplication::activeWindow() == widget;
    };
    // As the desktop does when an error box owned by the main window closes: the main window is active.
    CAddProxyDlg dialog(
        [&](const std::string&, const std::string&) {
            frame->activateWindow();
            EXPECT_TRUE(becomesActive(frame));
            return false;
        },
        frame);
    dialog.open();
    dialog.activateWindow();
    ASSERT_TRUE(becomesActive(&dialog));
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(becomesActive(&dialog));
}

TEST(MainFrameEdit, LoadListAndDeleteWalk) {
    Window window;
    window.dir.Write("list.txt", "1.1.1.1:80 2.2.2.2:80 3.3.3.3:80 4.4.4.4:80 5.5.5.5:80");
    window.files.m_file = window.dir.File("list.txt");
    window.frame->OnCommand(cmd::LoadList);
    EXPECT_EQ(window.List()->model()->rowCount(), 5);
    window.Select({1, 2, 4});
    window.frame->OnCommand(cmd::Delete);
    EXPECT_EQ(window.Addresses(), (Strings{"1.1.1.1:80", "4.4.4.4:80"}));
    EXPECT_NE(window.Log().find("Removed 3 proxies from the list.\r\n"), std::string::npos);
}

TEST(MainFramePanel, ShowsTheCountsAfterAChangeAndTheLogPaneFollows) {
    Window window("1.1.1.1:80 2.2.2.2:80");
    window.frame->RefreshPanelNow();
    EXPECT_EQ(window.frame->StatusPanel()->Page().InnerHtml("total"), "2");
    EXPECT_EQ(window.frame->StatusPanel()->Page().InnerHtml("activeproxy"), "None");
    window.Model().AppendLog("A line.\r\n");
    window.frame->LogPane()->Refresh();
    EXPECT_TRUE(window.frame->LogPane()->toPlainText().contains(QStringLiteral("A line.")));
}

TEST(MainFramePanel, ShowsItsFiguresOnceThePageIsUpWithoutASavedList) {
    Window window;
    const HtmlPage& page = window.frame->StatusPanel()->Page();
    QElapsedTimer clock;
    clock.start();
    while (page.InnerHtml("activeproxy") == "loading..." && clock.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(page.InnerHtml("total"), "0");
    EXPECT_EQ(page.InnerHtml("activeproxy"), "None");
    EXPECT_NE(page.InnerHtml("test").value_or("").find("(not tested yet)"), std::string::npos);
}

TEST(MainFrameLifecycle, ClosingSavesTheListAndARestartShowsIt) {
    Window window("1.1.1.1:80 2.2.2.2:8080");
    window.frame->OnCommand(cmd::Exit);
    EXPECT_FALSE(window.frame->isVisible());
    ProxyList saved;
    ASSERT_TRUE(SavedList::LoadList(window.dir.Path(), saved).m_loaded);
    EXPECT_EQ(saved.GetSize(), 2u);

    CMainFrame again(
        FrameModel::Services{window.messages, window.clipboard, window.files, window.shell, window.systemProxy},
        window.dir.Path(), window.dir.Path(), FirefoxChannel::Ports{0, 0});
    ASSERT_TRUE(again.Create());
    EXPECT_EQ(again.ListView()->model()->rowCount(), 2);
    EXPECT_NE(again.Model().Log().Text().find("Loaded 2 proxies from the last tested result.\r\n"), std::string::npos);
}

TEST(MainFrameThreads, RedrawFromAWorkerWaitsForTheWindowOrItsClosing) {
    Window window("1.1.1.1:80");
    std::atomic<bool> returned = false;
    std::thread worker([&] {
        window.frame->RedrawRows(0, 0);
        returned = true;
    });
    while (!returned)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    worker.join();

    std::atomic<bool> released = false;
    std::thread late([&] {
        window.frame->RedrawRows(0, 0);
        released = true;
    });
    window.frame->close(); // no event loop turn: only the closing lets the worker go
    late.join();
    EXPECT_TRUE(released);
}

TEST(MainFrameCommands, ExportSelectedWithoutSelectionOpensNothing) {
    Window window("1.1.1.1:80");
    window.frame->OnCommand(cmd::ExportSelected);
    EXPECT_EQ(window.frame->findChild<CExportDlg*>(), nullptr);
    window.frame->OnCommand(cmd::ExportAll);
    EXPECT_NE(window.frame->findChild<CExportDlg*>(), nullptr);
}

TEST(MainFrameTestRun, TestSelectedWithoutSelectionTestsTheWholeListLikeTestAll) {
    Window window("1.1.1.1:80 2.2.2.2:8080 1.1.1.1:80");
    window.Model().AppendLog("before\r\n");
    window.Model().EditSettings().TestDelay = 0;
    window.Model().EditSettings().TestAnon = 0; // the run stops at its message: only the preparation shows
    window.frame->OnCommand(cmd::TestSelected);
    EXPECT_EQ(window.Addresses(), (std::vector<std::string>{"1.1.1.1:80", "2.2.2.2:8080"}));
    EXPECT_EQ(window.Log(), "");
    EXPECT_EQ(window.Model().Run().TestSet.size(), 2u);
    EXPECT_EQ(window.messages.m_shown, std::vector<std::string>{TestRun::NoTestItemText});
}

// A window whose list holds two loopback proxies, its settings pointing at a loopback judge.
struct LoopbackWindow : Window {
    LoopbackServer server;

    explicit LoopbackWindow(ProxyScript::Mode mode = ProxyScript::Forward) {
        ProxyScript script;
        script.mode = mode;
        script.outgoingAddress = "127.0.0.5"; // the judge must not see this PC's own address
        std::string list;
        for (int i = 0; i < 2; ++i)
            list += "127.0.0.1:" + std::to_string(server.AddProxy(script)) + " ";
        const uint16_t judge = server.AddJudge(JudgeDialect::ColonBr, "", "127.0.0.3");
        server.Start();
        Paste(list);
        frame->OnCommand(cmd::Paste);
        FrameModel& model = Model();
        model.EditSettings().ProxyJudge = "http://127.0.0.3:" + std::to_string(judge) + "/azenv.php";
        model.EditSettings().Timeout = 1;
        model.EditSettings().TestDelay = 0;
        model.EditSettings().TestAnon = 1;
    }
    // Turns the window's event loop until the run is idle again or limit passed.
    bool WaitIdle(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            QApplication::processEvents(QEventLoop::AllEvents, 20);
            if (Model().State() == RunState::Idle && Model().Run().WaitUntilIdle(std::chrono::milliseconds(0)))
                return true;
        }
        return false;
    }
};

TEST(MainFrameTestRun, RunThroughTheWindowEndsWithItsSummary) {
    LoopbackWindow window;
    window.frame->OnCommand(cmd::TestAll);
    EXPECT_EQ(window.Model().State(), RunState::Running);
    EXPECT_TRUE(window.MenuAction(cmd::Stop)->isEnabled());
    ASSERT_TRUE(window.WaitIdle(std::chrono::seconds(20))) << window.Log();
    EXPECT_NE(window.Log().find("High Anonymous: 2, Anonymous: 0, Transparent: 0\r\n"), std::string::npos)
        << window.Log();
    EXPECT_EQ(window.Model().List()[0]->m_anonymity, 1);
    EXPECT_TRUE(window.messages.m_shown.empty());
    window.frame->UpdateCommandUI();
    EXPECT_FALSE(window.MenuAction(cmd::Stop)->isEnabled());
}

TEST(MainFrameTestRun, ClosingDuringARunEndsPromptlyAndSavesTheList) {
    LoopbackWindow window(ProxyScript::Silent);
    window.Model().EditSettings().Timeout = 30;
    window.frame->OnCommand(cmd::TestAll);
    ASSERT_EQ(window.Model().State(), RunState::Running);
    const auto start = std::chrono::steady_clock::now();
    window.frame->close();
    // The close ended the run itself, without waiting for the workers' 30 s timeout.
    EXPECT_TRUE(window.Model().Run().WaitUntilIdle(std::chrono::milliseconds(0)));
    EXPECT_LT(std::chrono::steady_clock::now() - start, FrameModel::ShutDownLimit + std::chrono::seconds(5));
    ProxyList saved;
    ASSERT_TRUE(SavedList::LoadList(window.dir.Path(), saved).m_loaded);
    EXPECT_EQ(saved.GetSize(), 2u);
}

TEST(MainFrameTestRun, ToolbarComesBackAfterARunItsOwnButtonsStartedOrStopped) {
    const std::vector<int> idleCommands = {cmd::LoadList, cmd::ExportAll, cmd::TestSelected,
                                           cmd::Add,      cmd::Delete,    cmd::Settings};
    for (bool stop : {false, true}) {
        LoopbackWindow window(stop ? ProxyScript::Silent : ProxyScript::Forward);
        window.Model().EditSettings().Timeout = stop ? 30 : 1;
        CToolBar24* toolBar = window.frame->ToolBar();
        const auto click = [&](int id) {
            QTest::mouseClick(toolBar->widgetForAction(toolBar->Action(id)), Qt::LeftButton);
        };
        click(cmd::TestSelected);
        ASSERT_EQ(window.Model().State(), RunState::Running) << stop;
        if (stop)
            click(cmd::Stop);
        ASSERT_TRUE(window.WaitIdle(std::chrono::seconds(20))) << window.Log();
        // The run ended on another thread: the toolbar hears of it on a later turn of the window's loop.
        const auto idle = [&] {
            return std::all_of(idleCommands.begin(), idleCommands.end(),
                               [&](int id) { return toolBar->Action(id)->isEnabled(); });
        };
        QElapsedTimer clock;
        clock.start();
        while (!idle() && clock.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        for (int id : idleCommands)
            EXPECT_TRUE(toolBar->Action(id)->isEnabled()) << id << (stop ? " after Stop" : "");
        EXPECT_FALSE(toolBar->Action(cmd::Stop)->isEnabled());
        click(cmd::Add);
        EXPECT_NE(window.frame->findChild<CAddProxyDlg*>(), nullptr) << stop;
    }
}
