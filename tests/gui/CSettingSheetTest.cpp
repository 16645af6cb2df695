#include "ui/CSettingSheet.h"
#include "platform/MessageBox.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/QtApp.h"
#include "tests/support/TempDir.h"
#include "ui/CSettingSwitcherDlg.h"
#include "ui/CSettingTesterDlg.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>

namespace {

using Item = TesterPageLogic::TestItem;

class SettingSheetGui : public ::testing::Test {
protected:
    SettingSheetGui() { m_sheet.show(); }

    QApplication& m_app = QtApp(); // before any widget
    TempDir m_dir;
    AppSettings m_settings;
    SettingsStore m_store{m_settings, m_dir.Path()};
    platform::ScriptedMessageBox m_messages;
    AutostartEntry m_autostart{m_dir.Path(), m_dir.Path() + "config/"};
    CSettingSheet m_sheet{m_store, m_messages, m_autostart};

    CSettingTesterDlg& Tester() { return *m_sheet.TesterPage(); }
    QCheckBox* Box(Item item) { return Tester().ItemBox(item); }
    // On the indicator: a check box only takes clicks on its box and text, not on the rest of its cell.
    static void Click(QAbstractButton* button) {
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
    }
    bool SavedFileExists() const { return std::filesystem::exists(m_store.Path()); }
    void ClickOk() { Click(m_sheet.OkButton()); }
};

TEST_F(SettingSheetGui, OpensWithTheSettingsInTheControls) {
    EXPECT_EQ(m_sheet.windowTitle(), QStringLiteral("ORV Settings"));
    ASSERT_EQ(m_sheet.Tabs()->count(), 2);
    EXPECT_EQ(m_sheet.Tabs()->tabText(0), QStringLiteral("Tester"));
    EXPECT_EQ(m_sheet.Tabs()->tabText(1), QStringLiteral("Switcher"));
    EXPECT_EQ(Tester().ProxyJudgeEdit()->text(), QString::fromLatin1(AppSettings::DefaultProxyJudge));
    EXPECT_EQ(Tester().MaxThreadEdit()->text(), QStringLiteral("80"));
    EXPECT_EQ(Tester().TimeoutEdit()->text(), QStringLiteral("30"));
    EXPECT_TRUE(Box(Item::Delay)->isChecked());
    EXPECT_TRUE(Box(Item::Anonymity)->isChecked());
    EXPECT_FALSE(Box(Item::Gateway)->isChecked());
    EXPECT_FALSE(Tester().AllBox()->isChecked());
    EXPECT_TRUE(m_sheet.SwitcherPage()->ChangeIEProxyBox()->isChecked());
    EXPECT_FALSE(m_sheet.SwitcherPage()->ChangeFFProxyBox()->toolTip().isEmpty());
}

TEST_F(SettingSheetGui, DefaultButtonSitsUnderTheTabsLeftEdgeLevelWithOk) {
    const QPushButton* ok = m_sheet.OkButton();
    const QPushButton* def = m_sheet.DefaultButton();
    EXPECT_EQ(def->text(), QStringLiteral("Default"));
    EXPECT_EQ(def->geometry().top(), ok->geometry().top());
    EXPECT_EQ(def->geometry().bottom(), ok->geometry().bottom());
    EXPECT_EQ(def->width(), ok->width());
    EXPECT_EQ(def->geometry().left(), m_sheet.Tabs()->geometry().left());
    EXPECT_EQ(def->focusPolicy() & Qt::TabFocus, Qt::TabFocus);
}

TEST_F(SettingSheetGui, TestItemBoxesKeepAllAnonymityAndGatewayInStep) {
    Click(Tester().AllBox());
    for (Item item :
         {Item::Delay, Item::Anonymity, Item::Gateway, Item::Danger, Item::Country, Item::Https, Item::Codeen})
        EXPECT_TRUE(Box(item)->isChecked());
    EXPECT_FALSE(Tester().StrictModeBox()->isChecked());

    Click(Box(Item::Anonymity));
    EXPECT_FALSE(Box(Item::Gateway)->isChecked());
    EXPECT_FALSE(Tester().AllBox()->isChecked());

    Click(Box(Item::Gateway));
    EXPECT_TRUE(Box(Item::Anonymity)->isChecked());
    EXPECT_TRUE(Tester().AllBox()->isChecked());

    Click(Tester().AllBox());
    EXPECT_FALSE(Box(Item::Delay)->isChecked());
    EXPECT_FALSE(Box(Item::Codeen)->isChecked());
}

TEST_F(SettingSheetGui, StrictModeWarnsOncePerOpening) {
    for (int i = 0; i < 4; ++i)
        Click(Tester().StrictModeBox());
    ASSERT_EQ(m_messages.m_shown.size(), 1u);
    EXPECT_EQ(m_messages.m_shown[0], "Using strict mode will greatly decrease the number of Level 1 proxies.\n"
                                     "It's recommended to use the normal mode.");
    CSettingSheet again(m_store, m_messages, m_autostart);
    Click(again.TesterPage()->StrictModeBox());
    EXPECT_EQ(m_messages.m_shown.size(), 2u);
}

TEST_F(SettingSheetGui, DefaultResetsOnlyThePageShown) {
    Tester().MaxThreadEdit()->setText(QStringLiteral("5"));
    Tester().ProxyJudgeEdit()->setText(QStringLiteral("judge.example/"));
    Click(Tester().AllBox());
    m_sheet.SwitcherPage()->ChangeIEProxyBox()->setChecked(false);

    Click(m_sheet.DefaultButton());
    EXPECT_EQ(Tester().MaxThreadEdit()->text(), QStringLiteral("80"));
    EXPECT_EQ(Tester().ProxyJudgeEdit()->text(), QStringLiteral("judge.example/"));
    EXPECT_TRUE(Box(Item::Anonymity)->isChecked());
    EXPECT_FALSE(Box(Item::Gateway)->isChecked());
    EXPECT_FALSE(Tester().AllBox()->isChecked());
    EXPECT_FALSE(m_sheet.SwitcherPage()->ChangeIEProxyBox()->isChecked());

    m_sheet.Tabs()->setCurrentIndex(1);
    Click(m_sheet.DefaultButton());
    EXPECT_TRUE(m_sheet.SwitcherPage()->ChangeIEProxyBox()->isChecked());
    EXPECT_FALSE(SavedFileExists());
}

TEST_F(SettingSheetGui, OkReportsTheFirstBadValueAndKeepsTheSheetOpen) {
    Tester().MaxThreadEdit()->setText(QStringLiteral("lots"));
    ClickOk();
    Tester().MaxThreadEdit()->setText(QStringLiteral("101"));
    ClickOk();
    Tester().MaxThreadEdit()->setText(QStringLiteral("100"));
    Tester().TimeoutEdit()->setText(QStringLiteral("0"));
    ClickOk();
    Tester().TimeoutEdit()->setText(QStringLiteral("1"));
    Tester().ProxyJudgeEdit()->clear();
    ClickOk();
    Tester().ProxyJudgeEdit()->setText(QStringLiteral("judge.example/azenv.php"));
    Click(Box(Item::Delay));
    Click(Box(Item::Anonymity));
    ClickOk();
    EXPECT_EQ(m_messages.m_shown,
              (std::vector<std::string>{"Please enter an integer.", "Max thread must be between 1 and 100",
                                        "Timeout must be between 1 and 100", "ProxyJudge address must not be empty",
                                        "You must select at least one Test Item."}));
    EXPECT_TRUE(m_sheet.isVisible());
    EXPECT_EQ(m_sheet.result(), QDialog::Rejected);
    // Values that passed before a later refusal are already taken, but nothing is written yet.
    EXPECT_EQ(m_settings.MaxThread, 100);
    EXPECT_EQ(m_settings.Timeout, 1);
    EXPECT_EQ(m_settings.ProxyJudge, "http://judge.example/azenv.php");
    EXPECT_FALSE(SavedFileExists());
}

TEST_F(SettingSheetGui, OkSavesBothPagesToTheIniFile) {
    Tester().MaxThreadEdit()->setText(QStringLiteral("12"));
    Click(Box(Item::Gateway));
    m_sheet.Tabs()->setCurrentIndex(1);
    Click(m_sheet.SwitcherPage()->ChangeFFProxyBox());
    ClickOk();
    EXPECT_TRUE(m_messages.m_shown.empty());
    EXPECT_EQ(m_sheet.result(), QDialog::Accepted);
    EXPECT_FALSE(m_sheet.isVisible());

    AppSettings reloaded;
    SettingsStore(reloaded, m_dir.Path()).LoadSettings("/p/");
    EXPECT_EQ(reloaded.MaxThread, 12);
    EXPECT_EQ(reloaded.TestGateway, 1);
    EXPECT_EQ(reloaded.ChangeFFProxy, 0);
    EXPECT_EQ(reloaded.ChangeIEProxy, 1);
}

TEST_F(SettingSheetGui, CancelTakesNothing) {
    Tester().MaxThreadEdit()->setText(QStringLiteral("12"));
    Click(m_sheet.CancelButton());
    EXPECT_EQ(m_sheet.result(), QDialog::Rejected);
    EXPECT_EQ(m_settings.MaxThread, 80);
    EXPECT_FALSE(SavedFileExists());
}

TEST_F(SettingSheetGui, StartWithTheDesktopShowsTheEntryAndOkWritesOrRemovesIt) {
    struct Round {
        bool folderMade; // false: a file stands where the folder belongs
        bool opened;     // the box when the sheet opens
        bool after;      // the entry and the box after OK
    };
    for (const Round round : {Round{true, false, true}, Round{true, true, false}, Round{false, false, false}}) {
        if (!round.folderMade) {
            std::filesystem::remove_all(m_dir.File("config"));
            m_dir.Write("config", "a file");
        }
        CSettingSheet sheet(m_store, m_messages, m_autostart);
        sheet.show();
        sheet.Tabs()->setCurrentIndex(1);
        QCheckBox* box = sheet.SwitcherPage()->StartWithDesktopBox();
        EXPECT_EQ(box->text(), QStringLiteral("Start with the desktop"));
        EXPECT_EQ(box->isChecked(), round.opened);
        Click(box);
        Click(sheet.OkButton());
        EXPECT_EQ(m_autostart.Exists(), round.after);
        EXPECT_EQ(box->isChecked(), round.after);
        EXPECT_EQ(sheet.isVisible(), !round.folderMade); // a failure keeps the sheet open
    }
    ASSERT_EQ(m_messages.m_shown.size(), 1u);
    EXPECT_EQ(m_messages.m_shown[0].rfind("Could not write the autostart entry " + m_autostart.Path() + ": ", 0), 0u);
}

TEST_F(SettingSheetGui, TheTestPageCheckAnswersOffTheWindowsThread) {
    LoopbackServer server;
    const uint16_t page = server.AddPage(std::chrono::milliseconds(300), "Own words");
    server.Start();
    Tester().TestPageEdit()->setText(QString::fromStdString("http://127.0.0.1:" + std::to_string(page) + "/"));
    Tester().TestPageMarkerEdit()->setText(QStringLiteral("Own words"));
    QTest::mouseClick(Tester().CheckTestPageButton(), Qt::LeftButton);
    // The fetch runs beside the window: the buttons wait for its answer, the edits stay live.
    EXPECT_FALSE(Tester().CheckJudgeButton()->isEnabled());
    EXPECT_TRUE(m_messages.m_shown.empty());
    QTRY_VERIFY_WITH_TIMEOUT(!m_messages.m_shown.empty(), 20000);
    EXPECT_EQ(m_messages.m_shown.back(), "The test page answered and holds the marker \"Own words\".");
    EXPECT_TRUE(Tester().CheckTestPageButton()->isEnabled());
}

} // namespace
