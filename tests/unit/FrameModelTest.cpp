#include "app/FrameModel.h"
#include "app/AppFolders.h"
#include "app/CommandIds.h"
#include "platform/Clipboard.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/ShellOpen.h"
#include "platform/SystemProxy.h"
#include "settings/SavedList.h"
#include "settings/SettingsStore.h"
#include "tests/support/ExtensionStub.h"
#include "tests/support/FrameFixture.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/RecordingFrameView.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

TEST(FrameModelDelete, RemovesExactlyTheSelectedRowsAndRenumbers) {
    Frame frame;
    for (int i = 0; i < 5; ++i)
        frame.Add("10.0.0." + std::to_string(i) + ":80");
    frame.view.m_selected = {1, 2, 4};
    frame.model->OnDelete();
    EXPECT_EQ(frame.Addresses(), (Addresses{"10.0.0.0:80", "10.0.0.3:80"}));
    EXPECT_EQ(frame.model->List()[1]->m_index, 1u);
    EXPECT_EQ(frame.Log(), "Removed 3 proxies from the list.\r\n");
    EXPECT_TRUE(frame.PanelRefreshRequested());
    EXPECT_GT(frame.view.m_refreshes, 0);
}

TEST(FrameModelDelete, WithoutSelectionDoesNothing) {
    Frame frame;
    frame.Add("10.0.0.1:80");
    frame.model->OnDelete();
    EXPECT_EQ(frame.model->List().GetSize(), 1u);
    EXPECT_EQ(frame.Log(), "");
}

TEST(FrameModelDelete, DeletingTheActiveProxyFallsBackToDirectConnection) {
    Frame frame;
    frame.Add("10.0.0.1:80", StatusGood, 1);
    FrameModelTestAccess::SetActiveProxy(*frame.model, frame.Add("10.0.0.2:80", StatusActive, 2));
    frame.Add("10.0.0.3:80", StatusReady, 1);
    frame.view.m_selected = {1};
    frame.model->OnDelete();
    EXPECT_EQ(frame.Log(),
              "Removed 1 proxies from the list.\r\n"
              "Current active proxy is removed from the list.\r\nYou are now using direct connection.\r\n");
    EXPECT_EQ(frame.model->ActiveProxy(), nullptr);
    EXPECT_EQ(frame.model->List().m_level1Count.Get(), 2);
    EXPECT_EQ(frame.model->List().m_level2Count.Get(), 0);
    ASSERT_EQ(frame.model->QuickSwitchSet().size(), 1u);
    EXPECT_EQ(frame.model->QuickSwitchSet()[0]->ProxyAddressText(), "10.0.0.3:80");
}

TEST(FrameModelDelete, TimeoutRemovesBadRecordsOnlyAndLogsZeroToo) {
    Frame frame;
    frame.Add("10.0.0.1:80", StatusBad, 1);
    frame.Add("10.0.0.2:80", StatusGood, TimedOut);
    frame.Add("10.0.0.3:80", StatusBad);
    frame.model->OnDeleteTimeout();
    EXPECT_EQ(frame.Addresses(), (Addresses{"10.0.0.2:80"}));
    frame.model->OnDeleteTimeout();
    EXPECT_EQ(frame.Log(), "Removed 2 timeout proxies from the list.\r\nRemoved 0 timeout proxies from the list.\r\n");
}

TEST(FrameModelDelete, DangerousWithoutTheRangeFileDeletesNothingAndLogsZero) {
    Frame frame;
    frame.Add("10.0.0.1:80");
    frame.model->OnDeleteDangerous();
    EXPECT_EQ(frame.model->List().GetSize(), 1u);
    EXPECT_EQ(frame.Log(), "Removed 0 dangerous (FBI/Army) proxies from the list.\r\n");
}

TEST(FrameModelDuplicates, KeepsTheFirstOfEachAddressAndPortNumber) {
    Frame frame;
    frame.Add("1.2.3.4:080");
    frame.Add("1.02.3.4:80");
    frame.Add("1.2.3.4:80");
    frame.Add("1.2.3.4:8080");
    frame.model->OnDeleteDuplicates();
    EXPECT_EQ(frame.Addresses(), (Addresses{"1.2.3.4:80", "1.02.3.4:80", "1.2.3.4:8080"}));
    EXPECT_EQ(frame.Log(), "Removed 1 duplicate proxies from the list.\r\n");
}

TEST(FrameModelDuplicates, ALeadingZeroOfTheFirstOctetAddsNothingToTheKey) {
    // ProxyKey folds digits from the left, so 010.1.1.1:80 and 10.1.1.1:80 share a key and the
    // later one goes, as it does within one parsed text.
    Frame frame;
    frame.Add("010.1.1.1:80");
    frame.Add("10.1.1.1:80");
    frame.model->OnDeleteDuplicates();
    EXPECT_EQ(frame.Addresses(), (Addresses{"010.1.1.1:80"}));
    EXPECT_EQ(frame.Log(), "Removed 1 duplicate proxies from the list.\r\n");
}

TEST(FrameModelDuplicates, RewritesEveryPortBelow65536EvenWithoutDuplicates) {
    Frame frame;
    frame.Add("1.1.1.1:65536");
    frame.Add("1.1.1.2:99999");
    frame.Add("1.1.1.3:08080");
    frame.model->OnDeleteDuplicates();
    EXPECT_EQ(frame.Addresses(), (Addresses{"1.1.1.1:0", "1.1.1.2:34463", "1.1.1.3:8080"}));
    EXPECT_EQ(frame.Log(), "");
}

TEST(FrameModelRefusal, ListCommandsRefuseWhileATestRuns) {
    Frame frame;
    frame.Add("10.0.0.1:80");
    frame.view.m_selected = {0};
    frame.clipboard.m_text = "10.0.0.2:80";
    FrameModelTestAccess::SetState(*frame.model, RunState::Running);
    frame.model->OnPaste();
    frame.model->OnDelete();
    EXPECT_FALSE(frame.model->AddProxy("10.0.0.3", "80"));
    EXPECT_EQ(frame.messages.m_shown, std::vector<std::string>(3, "Can't operate the list while testing."));
    EXPECT_EQ(frame.Addresses(), (Addresses{"10.0.0.1:80"}));
    EXPECT_EQ(frame.Log(), "");
}

TEST(FrameModelRefusal, StoppingRunDoesNotRefuseTheHandlers) {
    Frame frame;
    frame.Add("10.0.0.1:80");
    frame.view.m_selected = {0};
    FrameModelTestAccess::SetState(*frame.model, RunState::Stopping);
    frame.model->OnDelete();
    EXPECT_TRUE(frame.messages.m_shown.empty());
    EXPECT_EQ(frame.model->List().GetSize(), 0u);
}

TEST(FrameModelSort, HeaderClickIsRefusedOnlyWhileTesting) {
    Frame frame;
    frame.Add("10.0.0.1:80");
    FrameModelTestAccess::SetState(*frame.model, RunState::Running);
    frame.model->OnHeaderClick(1);
    EXPECT_EQ(frame.messages.m_shown,
              std::vector<std::string>{"Please don't sort the list while testing the proxies."});
    EXPECT_EQ(frame.Log(), "");
    FrameModelTestAccess::SetState(*frame.model, RunState::Stopping);
    frame.model->OnHeaderClick(1);
    EXPECT_EQ(frame.messages.m_shown.size(), 1u);
    EXPECT_EQ(frame.Log().rfind("Sorted the list by the \"", 0), 0u);
}

TEST(FrameModelClipboard, CopyJoinsTheSelectedAddressesWithoutTrailingBreak) {
    Frame frame;
    frame.Add("10.0.0.1:80");
    frame.Add("10.0.0.2:8080");
    frame.Add("10.0.0.3:3128");
    frame.view.m_selected = {0, 2};
    frame.model->OnCopy();
    EXPECT_EQ(frame.clipboard.m_text, "10.0.0.1:80\r\n10.0.0.3:3128");
    frame.view.m_selected = {1};
    frame.model->OnCopy();
    EXPECT_EQ(frame.clipboard.m_text, "10.0.0.2:8080");
    EXPECT_EQ(frame.Log(), "Copy 2 proxies into the clipboard.\r\nCopy 1 proxies into the clipboard.\r\n");
}

TEST(FrameModelClipboard, CopyWithoutSelectionChangesNothing) {
    Frame frame;
    frame.Add("10.0.0.1:80");
    frame.clipboard.m_text = "kept";
    frame.model->OnCopy();
    EXPECT_EQ(frame.clipboard.m_text, "kept");
    EXPECT_EQ(frame.Log(), "");
}

TEST(FrameModelClipboard, PasteLogsTheCountAlsoForTextWithoutProxies) {
    Frame frame;
    frame.model->OnPaste();
    frame.clipboard.m_text = "no proxies here";
    frame.model->OnPaste();
    frame.clipboard.m_text = "1.2.3.4:8080 5.6.7.8 3128";
    frame.model->OnPaste();
    EXPECT_EQ(frame.Addresses(), (Addresses{"1.2.3.4:8080", "5.6.7.8:3128"}));
    EXPECT_EQ(frame.Log(), "Load 0 proxies from the clipboard.\r\nLoad 0 proxies from the clipboard.\r\n"
                           "Load 2 proxies from the clipboard.\r\n");
    EXPECT_TRUE(frame.PanelRefreshRequested());
}

TEST(FrameModelLoadList, LogsTheFileAndCountAndNothingWhenCancelledOrUnreadable) {
    Frame frame;
    frame.model->OnLoadList();
    EXPECT_EQ(frame.files.m_titles.size(), 1u);
    frame.files.m_file = frame.dir.File("missing.txt");
    frame.model->OnLoadList();
    EXPECT_EQ(frame.messages.m_shown.size(), 1u);
    EXPECT_EQ(frame.messages.m_shown[0].rfind("Couldn't open source file: ", 0), 0u);
    EXPECT_EQ(frame.Log(), "");
    frame.dir.Write("list.txt", "1.2.3.4:80\n5.6.7.8:8080\n");
    frame.files.m_file = frame.dir.File("list.txt");
    frame.model->OnLoadList();
    EXPECT_EQ(frame.Log(), "Loaded 2 proxies from " + frame.dir.File("list.txt") + "\r\n");
    // The dialog opens in the documents folder, then where the last chosen file lay.
    frame.model->OnLoadList();
    EXPECT_EQ(frame.files.m_startFolders.front(), AppFolders::DocumentsFolder());
    EXPECT_EQ(frame.files.m_startFolders.back(), frame.dir.Path());
}

TEST(FrameModelLoadList, AsksWhatThePlainPairsAreWithTheFileNamesGuessFirst) {
    struct Case {
        const char* name;
        std::optional<size_t> item; // the user's choice; none keeps the guess
        bool cancel;
        std::vector<std::string> kinds;
    };
    const Case cases[] = {
        {"list.txt", std::nullopt, false, {"http", "socks4"}},
        {"socks5.txt", std::nullopt, false, {"socks5", "socks4"}},
        {"Socks4-fresh.txt", std::nullopt, false, {"socks4", "socks4"}},
        {"list.txt", 3, false, {"detect", "socks4"}},
        {"socks5.txt", std::nullopt, true, {}},
    };
    for (const Case& c : cases) {
        Frame frame;
        frame.dir.Write(c.name, "1.2.3.4:80\nsocks4://5.6.7.8:1080\n");
        frame.files.m_file = frame.dir.File(c.name);
        frame.files.m_item = c.item;
        frame.files.m_cancelChoice = c.cancel;
        frame.model->OnLoadList();
        std::vector<std::string> kinds;
        for (size_t i = 0; i < frame.model->List().GetSize(); ++i)
            kinds.emplace_back(ProxyKindName(frame.model->List()[i]->Kind()));
        EXPECT_EQ(kinds, c.kinds) << c.name;
        EXPECT_EQ(frame.files.m_choiceLabels.size(), 1u);
        EXPECT_EQ(frame.Log().empty(), c.cancel) << c.name;
    }
}

TEST(FrameModelAdd, AcceptsExactlyOnePairAndLogsIt) {
    Frame frame;
    EXPECT_TRUE(frame.model->AddProxy(" 999.999.999.999", "99999 "));
    EXPECT_EQ(frame.Log(), "Add one proxy to the list.\r\n");
    EXPECT_FALSE(frame.model->AddProxy("1.2.3.4", "8"));
    EXPECT_FALSE(frame.model->AddProxy("1.2.3.4 ", "80"));
    EXPECT_EQ(frame.messages.m_shown, std::vector<std::string>(2, "The proxy you input is incorrect."));
    EXPECT_EQ(frame.Addresses(), (Addresses{"999.999.999.999:99999"}));
}

TEST(FrameModelCommands, EnablingFollowsTheTestingState) {
    Frame frame;
    const std::vector<int> idleOnly = {cmd::LoadList,     cmd::ExportAll, cmd::TestAll,       cmd::DeleteDuplicates,
                                       cmd::TestSelected, cmd::Delete,    cmd::DeleteTimeout, cmd::DeleteDangerous,
                                       cmd::Add,          cmd::Settings,  cmd::DownloadList};
    for (uint8_t testing : {0, 1, 2}) {
        FrameModelTestAccess::SetState(*frame.model, static_cast<RunState>(testing));
        for (int id : idleOnly)
            EXPECT_EQ(frame.model->UpdateCommand(id).enabled, testing == 0) << id << " at " << int(testing);
        EXPECT_EQ(frame.model->UpdateCommand(cmd::Stop).enabled, testing == 1);
        EXPECT_TRUE(frame.model->UpdateCommand(cmd::Copy).enabled);
        EXPECT_TRUE(frame.model->UpdateCommand(cmd::SetActiveProxy).enabled);
    }
}

TEST(FrameModelCommands, PasteNeedsTextInTheClipboardAndAnIdleList) {
    Frame frame;
    EXPECT_FALSE(frame.model->UpdateCommand(cmd::Paste).enabled);
    frame.clipboard.m_text = "";
    EXPECT_TRUE(frame.model->UpdateCommand(cmd::Paste).enabled);
    FrameModelTestAccess::SetState(*frame.model, RunState::Stopping);
    EXPECT_FALSE(frame.model->UpdateCommand(cmd::Paste).enabled);
}

TEST(FrameModelCommands, SwitchTextsFollowTheFirstSelectedRecord) {
    Frame frame;
    EXPECT_EQ(frame.model->UpdateCommand(cmd::SetActiveProxy).text, "");
    EXPECT_TRUE(frame.model->UpdateCommand(cmd::DirectConnection).checked);
    FrameModelTestAccess::SetActiveProxy(*frame.model, frame.Add("10.0.0.1:80", StatusActive));
    frame.Add("10.0.0.2:80", StatusReady);
    frame.view.m_selected = {0, 1};
    EXPECT_EQ(frame.model->UpdateCommand(cmd::SetActiveProxy).text, "Disconnect from this proxy");
    EXPECT_FALSE(frame.model->UpdateCommand(cmd::ToggleTray).enabled);
    EXPECT_FALSE(frame.model->UpdateCommand(cmd::DirectConnection).checked);
    frame.view.m_selected = {1};
    EXPECT_EQ(frame.model->UpdateCommand(cmd::SetActiveProxy).text, "Set as current active proxy");
    EXPECT_EQ(frame.model->UpdateCommand(cmd::ToggleTray).text, "Remove from the tray menu");
    EXPECT_TRUE(frame.model->UpdateCommand(cmd::ToggleTray).enabled);
}

TEST(FrameModelLifecycle, ShutdownSavesTheListAndStartUpRestoresIt) {
    Frame frame;
    frame.Add("10.0.0.1:80", StatusGood, 1);
    FrameModelTestAccess::SetActiveProxy(*frame.model, frame.Add("10.0.0.2:8080", StatusActive, 3));
    FrameModelTestAccess::List(*frame.model).m_level1Count.Set(7);
    FrameModelTestAccess::SetLastTestedText(*frame.model, "2026-12-07 10:11:12");
    frame.model->ShutDown();
    EXPECT_EQ(frame.model->List().GetSize(), 0u);

    auto restarted = frame.NewModel();
    frame.view.m_timers.clear();
    restarted->LoadSettingsAndList();
    ASSERT_EQ(restarted->List().GetSize(), 2u);
    EXPECT_EQ(restarted->ActiveProxy(), restarted->List()[1]);
    EXPECT_EQ(restarted->LastTestedText(), "2026-12-07 10:11:12");
    EXPECT_EQ(restarted->List().m_level1Count.Get(), 7);
    EXPECT_EQ(restarted->QuickSwitchSet().size(), 1u);
    EXPECT_EQ(restarted->Log().Text(), "Loaded 2 proxies from the last tested result.\r\n"
                                       "Set 10.0.0.2:8080 as current active proxy.\r\n");
    EXPECT_EQ(frame.view.m_timers, (std::vector<std::pair<TimerId, int>>{{TimerId::PanelRefresh, 1500}}));
}

TEST(FrameModelLifecycle, FirstStartLoadsNothingAndLogsNothing) {
    Frame frame;
    frame.model->LoadSettingsAndList();
    EXPECT_EQ(frame.model->List().GetSize(), 0u);
    EXPECT_EQ(frame.Log(), "");
    EXPECT_TRUE(frame.view.m_timers.empty());
}

// A saved list that cannot be read whole is kept under a dated name before anything can replace it,
// and the records read before the damage are shown.
TEST(FrameModelLifecycle, ADamagedSavedListIsMovedAsideAndWhatCouldBeReadIsShown) {
    ProxyList three;
    for (const char* address : {"10.0.0.1:80", "10.0.0.2:81", "10.0.0.3:82"})
        three.Append(std::make_unique<ProxyItem>())->SetAddress(address);
    const std::string good = SavedList::ToBytes(three, ""); // a 36-byte header, then 3 records of 44 bytes
    auto changed = [&good](size_t at, std::string bytes) { return std::string(good).replace(at, bytes.size(), bytes); };
    std::string noise(1 << 20, '\0');
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>(i * 2654435761u >> 13);
    const std::string longAddress =
        std::string(1, '\x10') + "1234567890123456" + std::string(1, '\x02') + "80" + std::string(32, '\0');
    const struct {
        const char* kind;
        std::string bytes;
        size_t shown;
    } cases[] = {
        {"newer version", changed(15, std::string("e\0\0\0", 4)), 0},
        {"title differing in case", changed(5, "p"), 0},
        {"count of -1", changed(20, "\xFF\xFF\xFF\xFF"), 0},
        {"random bytes", noise, 0},
        {"empty file", "", 0},
        {"a record that fails", good.substr(0, 80) + longAddress + good.substr(124), 2},
        {"fewer records than its count", good.substr(0, 36 + 2 * 44 + 3), 2},
    };
    for (const auto& c : cases) {
        Frame frame;
        frame.dir.Write(SavedList::FileName, c.bytes);
        frame.model->LoadSettingsAndList();
        EXPECT_EQ(frame.model->List().GetSize(), c.shown) << c.kind;
        std::vector<std::string> kept;
        for (const auto& entry : std::filesystem::directory_iterator(frame.dir.Path()))
            if (entry.path().filename().string().starts_with("list.dat."))
                kept.push_back(entry.path().string());
        ASSERT_EQ(kept.size(), 1u) << c.kind;
        EXPECT_NE(frame.Log().find("); it was moved to " + kept[0] + ".\r\n"), std::string::npos) << frame.Log();
        frame.model->ShutDown();
        EXPECT_EQ(frame.dir.Read(std::filesystem::path(kept[0]).filename()), c.bytes) << c.kind;
        EXPECT_EQ(frame.dir.Read(SavedList::FileName).size(), c.shown == 0 ? 36u : 36u + c.shown * 44) << c.kind;
    }
}

TEST(FrameModelLifecycle, StartUpRemovesWhatSavesKilledHalfwayLeftBehind) {
    Frame frame;
    frame.dir.Write("list.dat.tmp4194305_0", "half a list"); // no process has such an id
    frame.model->LoadSettingsAndList();
    EXPECT_FALSE(std::filesystem::exists(frame.dir.File("list.dat.tmp4194305_0")));
}

TEST(FrameModelLifecycle, FailedSavesAreLoggedTheFirstIsBalloonedAndOneAtExitIsShown) {
    Frame frame;
    frame.Add("10.0.0.1:80");
    // A folder where the files belong: every save fails, and nothing may replace the folders.
    std::filesystem::create_directory(frame.dir.File(SavedList::FileName));
    std::filesystem::create_directory(frame.dir.File("ORV_Setting.ini"));
    SettingsStore store(frame.model->EditSettings(), frame.dir.Path());
    store.OnSaveFailure([&frame](const std::string& path, const std::string& reason) {
        frame.model->ReportSaveFailure(FrameModel::SettingsSubject, path, reason);
    });
    const std::string list = "The proxy list could not be saved to " + frame.dir.File("list.dat") + ": Is a directory.";
    EXPECT_FALSE(frame.model->SaveList());
    EXPECT_FALSE(store.SaveSettings());
    frame.model->ShutDown();
    EXPECT_EQ(frame.Log(), list + "\r\nThe settings could not be saved to " + frame.dir.File("ORV_Setting.ini") +
                               ": the file there cannot be read: Is a directory.\r\n" + list + "\r\n");
    ASSERT_EQ(frame.view.Balloons().size(), 1u);
    EXPECT_EQ(frame.view.Balloons()[0].find(list), 0u);
    EXPECT_EQ(frame.messages.m_shown, std::vector<std::string>{list + "\nThe changes since the last save are lost."});
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(frame.dir.Path()), {}), 2);
}

TEST(FrameModelPanel, FullRefreshShowsTheCountsAndForgetsTheTestTimeOfAnEmptyList) {
    Frame frame;
    frame.Add("10.0.0.1:80", StatusReady);
    FrameModelTestAccess::RebuildQuickSwitchSet(*frame.model);
    FrameModelTestAccess::SetLastTestedText(*frame.model, "2026-12-07 10:11:12");
    frame.model->OnTimer(TimerId::PanelRefresh);
    EXPECT_EQ(frame.view.m_panel["total"], "1");
    EXPECT_EQ(frame.view.m_panel["ready"], "1");
    EXPECT_NE(frame.view.m_panel["test"].find("2026-12-07 10:11:12"), std::string::npos);
    EXPECT_EQ(frame.view.m_panel["activeproxy"], "None");

    FrameModelTestAccess::List(*frame.model).RemoveAll();
    frame.model->OnTimer(TimerId::PanelRefresh);
    EXPECT_EQ(frame.model->LastTestedText(), "");
    EXPECT_NE(frame.view.m_panel["test"].find("(not tested yet)"), std::string::npos);
    EXPECT_EQ(frame.view.m_timers.back(), std::make_pair(TimerId::PanelRefresh, -1));
}

TEST(FrameModelPanel, TestTickShowsOnlyChangedCountersAndSavesTheListEvery181Ticks) {
    Frame frame;
    frame.Add("10.0.0.1:80");
    FrameModelTestAccess::List(*frame.model).m_level2Count.Set(4);
    frame.model->OnTimer(TimerId::TestTick);
    EXPECT_EQ(frame.view.m_panel, (std::map<std::string, std::string>{{"level2", "4"}}));
    frame.view.m_panel.clear();
    for (int tick = 2; tick <= 180; ++tick)
        frame.model->OnTimer(TimerId::TestTick);
    EXPECT_TRUE(frame.view.m_panel.empty());
    EXPECT_EQ(frame.dir.Read("list.dat"), "");
    frame.model->OnTimer(TimerId::TestTick);
    EXPECT_NE(frame.dir.Read("list.dat"), "");
}

TEST(FrameModelHelp, OpensTheMakersHelpPageOrNamesItWhereTheDesktopHasNoBrowser) {
    for (bool opens : {true, false}) {
        Frame frame;
        frame.shell.m_opens = opens;
        frame.model->OnHelp();
        ASSERT_EQ(frame.shell.m_opened.size(), 1u);
        EXPECT_NE(frame.shell.m_opened[0].find("/help.php"), std::string::npos);
        ASSERT_EQ(frame.messages.m_shown.size(), opens ? 0u : 1u);
        if (!opens) {
            EXPECT_NE(frame.messages.m_shown[0].find(FrameModel::HelpUrl), std::string::npos);
        }
    }
}

TEST(FrameModelSettings, TheDefaultExportFileLiesInTheDocumentsFolderAndAStoredOneIsKept) {
    TempDir home;
    ASSERT_TRUE(AppFolders::CreateFolders(home.Path() + "Docs/"));
    home.Write("user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n");
    ScopedEnv homeEnv("HOME", home.Path().c_str());
    ScopedEnv config("XDG_CONFIG_HOME", home.Path().c_str());
    Frame frame;
    frame.model->LoadSettingsAndList();
    EXPECT_EQ(frame.model->Settings().SaveFilePath, home.Path() + "Docs/proxy.txt");
    frame.dir.Write("ORV_Setting.ini", "[Settings]\r\nSaveFilePath=/srv/lists/proxy.txt\r\n");
    frame.model->LoadSettingsAndList();
    EXPECT_EQ(frame.model->Settings().SaveFilePath, "/srv/lists/proxy.txt");
}

TEST(FrameModelTestRun, SelectedRowsFormTheSetAndNothingIsRefilledDuringARun) {
    Frame frame;
    for (int i = 0; i < 3; ++i)
        frame.Add("10.0.0." + std::to_string(i) + ":80");
    frame.model->EditSettings().TestDelay = 0;
    frame.model->EditSettings().TestAnon = 0; // the run stops at its message
    frame.view.m_selected = {0, 2};
    frame.model->OnTestSelected();
    ASSERT_EQ(frame.model->Run().TestSet.size(), 2u);
    EXPECT_EQ(frame.model->Run().TestSet[1], frame.model->List()[2]);

    FrameModelTestAccess::SetState(*frame.model, RunState::Running);
    frame.view.m_selected = {1};
    frame.model->AppendLog("kept\r\n");
    frame.model->OnTestSelected();
    frame.model->OnTestAll();
    EXPECT_EQ(frame.model->Run().TestSet.size(), 2u);
    EXPECT_EQ(frame.Log(), "kept\r\n");
    FrameModelTestAccess::SetState(*frame.model, RunState::Idle);
}

namespace {

// A message box whose question stays open until the test lets it go, as a user who walked away.
class HeldMessageBox : public platform::MessageBox {
public:
    Answer Show(const std::string&, Buttons) override {
        std::unique_lock<std::mutex> hold(m_lock);
        m_asked = true;
        m_changed.notify_all();
        m_changed.wait(hold, [this] { return m_released; });
        return AnswerNo;
    }
    bool WaitAsked() {
        std::unique_lock<std::mutex> hold(m_lock);
        return m_changed.wait_for(hold, std::chrono::seconds(10), [this] { return m_asked; });
    }
    void Release() {
        std::lock_guard<std::mutex> hold(m_lock);
        m_released = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_asked = false;
    bool m_released = false;
};

} // namespace

// The judge question is still open when the window closes: the shutdown cannot end the run in
// time, saves the list anyway and keeps the records the run still holds; the frame, once torn
// down, waits for the run.
TEST(FrameModelLifecycle, AShutdownThatCannotEndTheRunSavesAndKeepsTheRecords) {
    BasicFrame<RecordingFrameView, HeldMessageBox> frame;
    frame.Add("10.0.0.1:80");
    frame.Add("10.0.0.2:80");
    HeldMessageBox& question = frame.messages;
    std::unique_ptr<FrameModel>& model = frame.model;
    model->EditSettings().ProxyJudge = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/";
    model->OnTestAll();
    ASSERT_TRUE(question.WaitAsked());

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(model->ShutDown());
    const auto took = std::chrono::steady_clock::now() - start;
    // The run gave up only when its limit had passed, the question still open, and it is still
    // running. It waits in whole milliseconds, so its wait may end up to one short of the limit.
    EXPECT_GE(took, FrameModel::ShutDownLimit - std::chrono::milliseconds(1));
    EXPECT_LT(took, FrameModel::ShutDownLimit + std::chrono::seconds(5));
    EXPECT_FALSE(model->Run().WaitUntilIdle(std::chrono::milliseconds(0)));
    EXPECT_EQ(model->List().GetSize(), 2u);
    ProxyList saved;
    ASSERT_TRUE(SavedList::LoadList(frame.dir.Path(), saved).m_loaded);
    EXPECT_EQ(saved.GetSize(), 2u);

    // Torn down, the frame waits for the run, which ends once the question is answered.
    question.Release();
    model.reset();
}

// A run that cannot end and an extension that never accepts share the exit's time instead of adding
// their waits up (1.5 s, then 1 s for each exit message).
TEST(FrameModelLifecycle, AStuckRunAndAStuckExtensionTogetherKeepTheExitWithinItsLimit) {
    ExtensionStub firefox(ExtensionStub::NeverAccepts);
    BasicFrame<RecordingFrameView, HeldMessageBox> frame;
    frame.firefoxPorts = {firefox.Port(), 0};
    frame.model = frame.NewModel();
    frame.Add("10.0.0.1:80");
    frame.model->EditSettings().ProxyJudge = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/";
    frame.model->OnTestAll();
    ASSERT_TRUE(frame.messages.WaitAsked());

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(frame.model->ShutDown());
    // The limit and a saved list of one record, with room for a loaded machine.
    EXPECT_LT(std::chrono::steady_clock::now() - start, FrameModel::ExitLimit + std::chrono::milliseconds(900));
    frame.messages.Release();
    frame.model.reset();
}

namespace {

// A window whose test tick still fires while the run's summary is written: stopping a timer from
// another thread only queues the stop, and a tick already queued runs meanwhile.
class LateTickView : public RecordingFrameView {
public:
    void StopTimer(TimerId id) override {
        RecordingFrameView::StopTimer(id);
        if (id != TimerId::TestTick || std::this_thread::get_id() == m_window)
            return;
        {
            std::lock_guard<std::mutex> hold(m_stopLock);
            m_stopAsked = true;
        }
        m_stopChanged.notify_all();
        // Nothing orders the window's late tick with what the summary does after this.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    bool WaitStopAsked() {
        std::unique_lock<std::mutex> hold(m_stopLock);
        return m_stopChanged.wait_for(hold, std::chrono::seconds(10), [this] { return m_stopAsked; });
    }

private:
    const std::thread::id m_window = std::this_thread::get_id();
    std::mutex m_stopLock;
    std::condition_variable m_stopChanged;
    bool m_stopAsked = false;
};

} // namespace

// The summary leaves the quick-switch set to the window's thread, which may be ticking at that very
// moment (the thread checker tells if the summary touched it itself).
TEST(FrameModelTestRun, TheSummaryHandsTheQuickSwitchSetToTheWindowsThread) {
    BasicFrame<LateTickView> frame;
    frame.Add("10.0.0.1:80");
    frame.Add("10.0.0.2:80", StatusReady);
    FrameModel& model = *frame.model;
    LateTickView& view = frame.view;
    // The country alone needs no network: the run goes straight to its summary.
    model.EditSettings().TestDelay = 0;
    model.EditSettings().TestAnon = 0;
    model.EditSettings().TestCountry = 1;
    view.m_selected = {0};
    model.OnTestSelected();
    ASSERT_TRUE(view.WaitStopAsked());
    model.OnTimer(TimerId::TestTick);
    ASSERT_TRUE(model.Run().WaitUntilIdle(std::chrono::seconds(10)));
    EXPECT_EQ(model.State(), RunState::Idle);
    EXPECT_GE(view.RunPosted(), 1u);
    ASSERT_EQ(model.QuickSwitchSet().size(), 1u);
    EXPECT_EQ(model.QuickSwitchSet()[0], model.List()[1]);
    EXPECT_NE(model.LastTestedText(), "");
}
