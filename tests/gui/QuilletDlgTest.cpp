#include "installer/CQuilletApp.h"
#include "installer/CQuilletDlg.h"
#include "tests/support/QtApp.h"
#include "tests/support/TempDir.h"

#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

struct Quillet {
    TempDir dir;
    platform::ScriptedMessageBox box;
    platform::ScriptedFirefoxProcesses firefox;
    ExtensionInstaller installer{
        box, firefox, {dir.File("orv/"), dir.File("extensions"), dir.File("hosts")}, [](std::chrono::milliseconds) {}};

    Quillet() {
        QtApp();
        fs::create_directories(dir.File("orv/firefox"));
        firefox.m_checksUntilStarted = 0;
    }

    void Press(CQuilletDlg& dlg, const char* text) {
        for (QPushButton* button : dlg.findChildren<QPushButton*>())
            if (button->text() == text)
                QTest::mouseClick(button, Qt::LeftButton);
    }

    std::string Value() const {
        return dir.Read("extensions/{ec8030f7-c20a-464f-9b0e-13a3a9e97384}/orv@tarvelo.invalid");
    }
};

} // namespace

TEST(QuilletDlg, SwitchesPreselectAndDisableTheOtherChoice) {
    struct Case {
        std::string line;
        int choice;
        bool installEnabled, uninstallEnabled;
    } cases[] = {
        {"", CQuilletDlg::Install, true, true},
        {"/install", CQuilletDlg::Install, true, false},
        {"/uninstall", CQuilletDlg::Uninstall, false, true},
        {"/uninstall /install", CQuilletDlg::Install, true, false},
        {"/Install", CQuilletDlg::Install, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Quillet q;
        CQuilletDlg dlg(c.line, q.installer);
        EXPECT_EQ(dlg.windowTitle(), "ORV Firefox Extension");
        EXPECT_EQ(dlg.GetChoice(), c.choice);
        EXPECT_EQ(dlg.InstallRadio()->isEnabled(), c.installEnabled);
        EXPECT_EQ(dlg.UninstallRadio()->isEnabled(), c.uninstallEnabled);
        EXPECT_TRUE(q.box.m_shown.empty()); // a switch only preselects
    }
    char program[] = "/home/u/install/quillet";
    char uninstall[] = "/uninstall";
    char* argv[] = {program, uninstall, nullptr};
    EXPECT_EQ(CQuilletApp::CommandLine(2, argv), "/uninstall");
}

TEST(QuilletDlg, GoRunsTheChosenOperationCancelNothing) {
    Quillet q;
    {
        CQuilletDlg dlg("", q.installer);
        dlg.show();
        q.Press(dlg, "Cancel");
        EXPECT_EQ(dlg.result(), QDialog::Rejected);
    }
    EXPECT_FALSE(fs::exists(q.dir.File("extensions")));
    {
        CQuilletDlg dlg("/install", q.installer);
        dlg.show();
        q.Press(dlg, "Go");
        EXPECT_EQ(dlg.ExitCode(), 0);
        EXPECT_EQ(q.Value(), q.dir.File("orv/firefox"));
    }
    {
        CQuilletDlg dlg("", q.installer);
        dlg.show();
        dlg.UninstallRadio()->click();
        q.Press(dlg, "Go");
        EXPECT_EQ(dlg.ExitCode(), 0);
        EXPECT_EQ(q.Value(), "");
    }
}

TEST(QuilletDlg, RegistryFailureEndsWithMinusOne) {
    Quillet q;
    q.dir.Write("extensions", "a file where the folder belongs");
    CQuilletDlg dlg("/uninstall", q.installer);
    dlg.show();
    q.Press(dlg, "Go");
    EXPECT_EQ(dlg.ExitCode(), -1);
    EXPECT_EQ(q.box.m_shown, std::vector<std::string>{"Error! Cannot create registry key!"});
    EXPECT_TRUE(dlg.isHidden());
}
