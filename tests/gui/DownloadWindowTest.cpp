#include "app/CommandIds.h"
#include "download/ListDownload.h"
#include "download/ListService.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/ShellOpen.h"
#include "platform/SystemProxy.h"
#include "settings/CIniFile.h"
#include "settings/SettingsStore.h"
#include "syscheck/SystemCheck.h"
#include "tests/support/ByteServer.h"
#include "tests/support/QtApp.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"
#include "ui/CDownloadDoneDlg.h"
#include "ui/CHtmlCtrl.h"
#include "ui/CMainFrame.h"
#include "ui/CSystemCheckDlg.h"
#include "ui/QtClipboard.h"

#include <QCheckBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

namespace {

using Strings = std::vector<std::string>;

OsVersionRecord Windows(uint32_t major, uint32_t minor) {
    OsVersionRecord record;
    record.platformId = OsVersionRecord::WindowsNT;
    record.majorVersion = major;
    record.minorVersion = minor;
    return record;
}

// A shown window over a temporary folder whose list service is the given address.
struct DownloadWindow {
    TempDir dir;
    ScopedEnv service;
    platform::ScriptedMessageBox messages;
    platform::QtClipboard clipboard;
    platform::ScriptedFileDialog files;
    platform::RecordingShellOpen shell;
    platform::RecordingSystemProxy systemProxy;
    std::unique_ptr<CMainFrame> frame;

    explicit DownloadWindow(const std::string& serviceUrl, std::function<void(FrameModel&)> before = {})
        : service(ListService::EnvironmentName, serviceUrl.c_str()) {
        QtApp();
        frame = std::make_unique<CMainFrame>(FrameModel::Services{messages, clipboard, files, shell, systemProxy},
                                             dir.Path(), dir.Path(), FirefoxChannel::Ports{0, 0});
        FrameModel& model = frame->Model();
        model.SetDownloadLimits({}, std::chrono::milliseconds(0));
        model.SetOsVersionSource([] { return Windows(6, 1); });
        if (before)
            before(model);
        EXPECT_TRUE(frame->Create());
        frame->show();
        Turn(); // the start-up timer
    }
    ~DownloadWindow() {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (qobject_cast<QDialog*>(widget) != nullptr)
                widget->close();
    }
    FrameModel& Model() { return frame->Model(); }
    std::string Log() { return Model().Log().Text(); }
    void Turn() { QApplication::processEvents(QEventLoop::AllEvents, 20); }
    // Turns the event loop until the download has ended and its hand-overs are done.
    bool DownloadEnds() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (Model().State() != RunState::Idle && std::chrono::steady_clock::now() < end)
            Turn();
        for (int i = 0; i < 10; ++i)
            Turn();
        return Model().State() == RunState::Idle;
    }
    // The failure lines follow the state's return to idle on the download's thread.
    bool LogBecomes(const std::string& text) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (Log() != text && std::chrono::steady_clock::now() < end)
            Turn();
        return Log() == text;
    }
    Strings Addresses() {
        Strings addresses;
        for (size_t i = 0; i < Model().List().GetSize(); ++i)
            addresses.push_back(Model().List()[i]->ProxyAddressText());
        return addresses;
    }
    bool Exists(const char* name) { return std::filesystem::exists(dir.File(name)); }
    std::string SavedCheckSystem() {
        return CIniFile(dir.File(SettingsStore::FileName)).ReadString(SettingsStore::Section, "CheckSystem");
    }
};

const std::string ExampleList = "127.0.0.1:8080\r\n127.0.0.1:8081\r\nnoise 127.0.0.1:3128\r\n";

} // namespace

TEST(DownloadWindow, TheServicesExampleAddsThreeProxiesAndTheDialogsAnswersDecideTheTest) {
    ByteServer service("#list#encode#update@45296#\r\n" + ByteServer::Gzip(ExampleList));
    DownloadWindow window(service.Url());
    // No test item: a started test stops at its message instead of reaching for anything.
    window.Model().EditSettings().TestDelay = 0;
    window.Model().EditSettings().TestAnon = 0;
    for (const char* answer : {"no", "yes"}) {
        SCOPED_TRACE(answer);
        window.frame->OnCommand(cmd::DownloadList);
        ASSERT_TRUE(window.DownloadEnds());
        EXPECT_EQ(window.Log(), "Downloading the proxy list (updated at 12:34:56 GMT)...\r\n"
                                "Get 3 proxy from Halvard successfully.\r\n");
        // The dialog is posted once the download's thread has set the state back to idle.
        QPointer<CDownloadDoneDlg> dialog;
        for (int i = 0; i < 500 && dialog.isNull(); ++i) {
            window.Turn();
            dialog = window.frame->findChild<CDownloadDoneDlg*>();
        }
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Download Proxy"));
        EXPECT_NE(window.frame->cursor().shape(), Qt::BusyCursor);
        EXPECT_EQ(window.frame->StatusPanel()->Page().InnerHtml("test").value_or("").find("Downloading"),
                  std::string::npos);
        const QString shown = dialog->Html()->toPlainText();
        EXPECT_TRUE(shown.contains(QStringLiteral("Get 3 proxy from Halvard successfully.")));
        EXPECT_TRUE(shown.contains(QStringLiteral("The proxy list is updated at 12:34 GMT.")));
        EXPECT_EQ(window.Model().List().GetSize() % 3, 0u);
        EXPECT_FALSE(window.Exists(ListDownload::TempFile));
        EXPECT_FALSE(window.Exists(ListDownload::Temp2File));
        dialog->findChild<QPushButton*>(QString::fromLatin1(answer))->click();
        for (int i = 0; i < 5; ++i)
            window.Turn();
        EXPECT_TRUE(dialog.isNull() || !dialog->isVisible());
    }
    // "No" left the six records untested; "Yes" ran the test of the whole list, which first drops the copies.
    EXPECT_EQ(window.Addresses(), (Strings{"127.0.0.1:8080", "127.0.0.1:8081", "127.0.0.1:3128"}));
    EXPECT_EQ(window.Model().Run().TestSet.size(), 3u);
    EXPECT_EQ(window.messages.m_shown, Strings{TestRun::NoTestItemText});
}

// The answers are real buttons that Tab reaches and Enter chooses; the dialog is as big as its content: the
// whole page with its message, then the button row, and no band below.
TEST(DownloadWindow, TheFinishedDialogIsAnsweredByKeyboardAndFitsItsContent) {
    QtApp();
    const struct {
        int tabs;
        const char* focused;
        int result;
    } cases[] = {{1, "no", QDialog::Rejected}, {2, "yes", QDialog::Accepted}};
    for (const auto& c : cases) {
        CDownloadDoneDlg dialog("3", "12:34 GMT");
        dialog.open();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
        for (int i = 0; i < 5; ++i)
            QApplication::processEvents(); // the posted message
        const QWidget* view = dialog.Html()->viewport();
        std::unique_ptr<QTextDocument> page(dialog.Html()->document()->clone());
        page->setTextWidth(view->width());
        EXPECT_NEAR(view->height(), page->size().height(), 1.0);
        EXPECT_FALSE(page->toPlainText().contains(QStringLiteral("Yes"))); // not as a link
        const QWidget* row = dialog.findChild<QWidget*>(QStringLiteral("btn"));
        EXPECT_EQ(row->mapTo(&dialog, QPoint(0, row->height())).y() + 2, dialog.height());
        EXPECT_EQ(dialog.size(), dialog.sizeHint());

        for (int i = 0; i < c.tabs; ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget()->objectName().toStdString(), c.focused);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        EXPECT_EQ(dialog.result(), c.result);
    }
}

TEST(DownloadWindow, ABrokenServiceLeavesTheListAsItWasWithTheFailureLines) {
    const std::string gzipped = ByteServer::Gzip(ExampleList);
    struct Case {
        const char* name;
        std::string reply;
        Strings messages;
        bool tempStays;
    };
    const Case cases[] = {
        {"cut body", "#list#encode\n" + gzipped.substr(0, gzipped.size() - 4), {ListDownload::CloseError}, true},
        {"no list", "#encode\n" + gzipped, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ByteServer service(c.reply);
        DownloadWindow window(service.Url());
        window.frame->OnCommand(cmd::DownloadList);
        ASSERT_TRUE(window.DownloadEnds());
        EXPECT_TRUE(window.LogBecomes(ListDownload::FailureLines())) << window.Log();
        EXPECT_EQ(window.messages.m_shown, c.messages);
        EXPECT_TRUE(window.Addresses().empty());
        EXPECT_EQ(window.frame->findChild<CDownloadDoneDlg*>(), nullptr);
        EXPECT_EQ(window.Exists(ListDownload::TempFile), c.tempStays);
        EXPECT_TRUE(window.frame->CommandStateOf(cmd::DownloadList).enabled);
    }
}

TEST(DownloadWindow, ClosingDuringASilentDownloadEndsPromptly) {
    ByteServer silent("", 200, ByteServer::Silent);
    DownloadWindow window(silent.Url());
    window.frame->OnCommand(cmd::DownloadList);
    const auto start = std::chrono::steady_clock::now();
    while (silent.Requests() == 0 && std::chrono::steady_clock::now() - start < std::chrono::seconds(20))
        window.Turn();
    // While the service is silent the log stays cleared; the panel and the cursor show the work.
    for (int i = 0; i < 10; ++i)
        window.Turn();
    EXPECT_EQ(window.Log(), "");
    EXPECT_NE(window.frame->StatusPanel()->Page().InnerHtml("test").value_or("").find("Downloading the proxy list..."),
              std::string::npos);
    EXPECT_EQ(window.frame->cursor().shape(), Qt::BusyCursor);
    EXPECT_FALSE(window.frame->CommandStateOf(cmd::DownloadList).enabled);
    window.frame->close();
    // The low-speed limit is 30 s; closing does not wait for it.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(25));
    EXPECT_EQ(window.Model().State(), RunState::Idle);
}

TEST(SystemCheckWindow, LinuxAndUnaffectedWindowsAreOkAndXpOrVistaOpenTheDialog) {
    struct Case {
        OsVersionRecord record;
        const char* release;
    };
    const Case cases[] = {{OsVersion::RunningSystem(), nullptr},
                          {Windows(6, 1), nullptr},
                          {Windows(5, 0), nullptr},
                          {Windows(5, 2), nullptr},
                          {Windows(5, 1), "XP"},
                          {Windows(6, 0), "Vista"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.record.majorVersion * 10 + c.record.minorVersion);
        // The start-up check runs as CheckSystem is 0.
        DownloadWindow window("http://127.0.0.1:1",
                              [&](FrameModel& model) { model.SetOsVersionSource([&] { return c.record; }); });
        const std::string startUp = window.Log();
        window.frame->OnCommand(cmd::SystemCheck);
        window.Turn();
        const auto dialogs = window.frame->findChildren<CSystemCheckDlg*>();
        if (c.release == nullptr) {
            EXPECT_EQ(window.Log(), startUp);
            EXPECT_EQ(startUp.find("System check"), std::string::npos);
            EXPECT_EQ(window.messages.m_shown, Strings{SystemCheck::OkText});
            EXPECT_EQ(window.messages.m_buttons, std::vector{platform::MessageBox::OkInformation});
            EXPECT_TRUE(dialogs.empty());
        } else {
            const std::string message = "System check: You are using Windows " + std::string(c.release) + ".\r\n";
            EXPECT_NE(startUp.find(message), std::string::npos) << startUp;
            EXPECT_NE(window.Log().find(message, startUp.size()), std::string::npos);
            EXPECT_TRUE(window.messages.m_shown.empty());
            ASSERT_EQ(dialogs.size(), 2u); // start-up and menu: both open, neither blocks the window
            EXPECT_TRUE(dialogs[0]->isVisible() && !dialogs[0]->isModal());
            EXPECT_EQ(dialogs[0]->windowTitle(), QStringLiteral("ORV System Check"));
        }
    }
}

TEST(SystemCheckWindow, TheDialogStoresCheckSystemAsItsAnswersSay) {
    DownloadWindow window("http://127.0.0.1:1", [](FrameModel& model) {
        // No start-up check.
        std::ofstream(model.DataFolder() + SettingsStore::FileName) << "[Settings]\nCheckSystem=1\n";
        model.SetOsVersionSource([] { return Windows(5, 1); });
    });
    EXPECT_EQ(window.Log().find("System check"), std::string::npos);
    // "Yes" with the box cleared still turns the start-up check off and opens the support page.
    window.frame->OnCommand(cmd::SystemCheck);
    auto* dialog = window.frame->findChild<CSystemCheckDlg*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->CheckBox()->isChecked());
    dialog->CheckBox()->click();
    EXPECT_EQ(window.SavedCheckSystem(), "0");
    dialog->findChild<QPushButton*>(QStringLiteral("yes"))->click();
    EXPECT_EQ(window.SavedCheckSystem(), "1");
    EXPECT_EQ(window.shell.m_opened, Strings{SystemCheck::SupportUrl});
    // "No" after ticking the box keeps what the click saved.
    window.Model().EditSettings().CheckSystem = 0;
    window.frame->OnCommand(cmd::SystemCheck);
    window.Turn();
    dialog = nullptr;
    for (CSystemCheckDlg* open : window.frame->findChildren<CSystemCheckDlg*>())
        if (open->isVisible())
            dialog = open;
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(dialog->CheckBox()->isChecked());
    dialog->CheckBox()->click();
    dialog->findChild<QPushButton*>(QStringLiteral("no"))->click();
    EXPECT_EQ(window.SavedCheckSystem(), "1");
    EXPECT_EQ(window.shell.m_opened.size(), 1u);
}
