#include "app/CommandIds.h"
#include "app/FrameModel.h"
#include "settings/SavedList.h"
#include "tests/support/ExtensionStub.h"
#include "tests/support/FrameFixture.h"
#include "tests/support/LoopbackServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

using Messages = std::vector<std::string>;
using Calls = std::vector<std::string>;

constexpr const char* Direct = "0\r\n--\r\n--\r\n";
constexpr const char* Closing = "2\r\n--\r\n--\r\n";

std::string ProxyMessage(const std::string& ip, const std::string& port) {
    return "1\r\n" + ip + "\r\n" + port + "\r\n";
}

// A frame whose Firefox messages go to a collector, with three records 10.0.0.0..2 port 80.
struct SwitchFrame : BasicFrame<> {
    ExtensionStub firefox{ExtensionStub::Reads};
    SwitchFrame() {
        firefoxPorts = {firefox.Port(), 0};
        model = NewModel();
        for (int i = 0; i < 3; ++i)
            Add("10.0.0." + std::to_string(i) + ":80");
    }
    void Select(std::vector<uint32_t> rows) { view.m_selected = std::move(rows); }
    void SetActive(uint32_t row) {
        Select({row});
        model->OnSetActiveProxy();
    }
    int32_t Status(size_t row) const { return model->List()[row]->m_status; }
    Messages Firefox(size_t count) {
        model->Firefox().WaitForSenders(std::chrono::seconds(10));
        return firefox.WaitFor(count);
    }
};

} // namespace

// Choosing a proxy, another, then the active one again: the statuses, the log, the tray set and both
// browsers follow each step, in the switch's order.
TEST(FrameSwitching, SetActiveProxySwitchesAndTogglesBackToDirect) {
    SwitchFrame frame;
    frame.Select({2, 0}); // only the first selected row counts
    frame.model->OnSetActiveProxy();
    EXPECT_EQ(frame.Status(2), StatusActive);
    frame.SetActive(1);
    EXPECT_EQ(frame.Status(2), StatusReady);
    EXPECT_EQ(frame.Status(1), StatusActive);
    EXPECT_EQ(frame.model->QuickSwitchSet(), (std::vector<ProxyItem*>{frame.model->List()[1], frame.model->List()[2]}));
    EXPECT_TRUE(frame.PanelRefreshRequested());
    frame.model->OnTimer(TimerId::PanelRefresh);
    EXPECT_EQ(frame.view.m_panel["activeproxy"], "10.0.0.1:80");
    EXPECT_EQ(frame.view.m_panel["ready"], "2");
    EXPECT_TRUE(frame.view.m_trayAnimated);

    frame.SetActive(1);
    EXPECT_EQ(frame.model->ActiveProxy(), nullptr);
    EXPECT_EQ(frame.Status(1), StatusReady);
    frame.model->OnTimer(TimerId::PanelRefresh);
    EXPECT_EQ(frame.view.m_panel["activeproxy"], "None");
    EXPECT_FALSE(frame.view.m_trayAnimated);

    EXPECT_EQ(frame.Log(), "Set 10.0.0.2:80 as current active proxy.\r\nSet 10.0.0.1:80 as current active proxy.\r\n"
                           "You are not using any proxies now.\r\n");
    EXPECT_EQ(frame.systemProxy.m_calls, (Calls{"read", "proxy 10.0.0.2:80", "proxy 10.0.0.1:80", "restore"}));
    EXPECT_EQ(frame.Firefox(3), (Messages{ProxyMessage("10.0.0.2", "80"), ProxyMessage("10.0.0.1", "80"), Direct}));
}

TEST(FrameSwitching, SwitchCommandsFollowTheQuickSwitchSet) {
    SwitchFrame frame;
    frame.model->List()[0]->m_status = StatusReady;
    frame.model->List()[2]->m_status = StatusReady;
    FrameModelTestAccess::RebuildQuickSwitchSet(*frame.model);

    frame.model->OnSwitchCommand(cmd::QuickSwitchFirst + 2); // beyond the set: nothing at all
    EXPECT_EQ(frame.Log(), "");
    frame.model->OnSwitchCommand(cmd::QuickSwitchFirst + 1);
    frame.model->OnSwitchCommand(cmd::QuickSwitchFirst + 1); // the active entry stays active
    EXPECT_EQ(frame.Status(2), StatusActive);
    EXPECT_EQ(frame.model->UpdateCommand(cmd::QuickSwitchFirst + 1).text, "10.0.0.2:80");
    EXPECT_TRUE(frame.model->UpdateCommand(cmd::QuickSwitchFirst + 1).checked);
    EXPECT_FALSE(frame.model->UpdateCommand(cmd::DirectConnection).checked);
    EXPECT_EQ(frame.model->UpdateCommand(cmd::QuickSwitchFirst + 2).text, "");

    frame.model->OnSwitchCommand(cmd::DirectConnection);
    frame.model->OnSwitchCommand(cmd::DirectConnection); // logged again; the desktop is the user's already
    EXPECT_EQ(frame.Status(2), StatusReady);
    EXPECT_TRUE(frame.model->UpdateCommand(cmd::DirectConnection).checked);
    EXPECT_EQ(frame.Log(), "Set 10.0.0.2:80 as current active proxy.\r\nSet 10.0.0.2:80 as current active proxy.\r\n"
                           "You are not using any proxies now.\r\nYou are not using any proxies now.\r\n");
    EXPECT_EQ(frame.systemProxy.m_calls, (Calls{"read", "proxy 10.0.0.2:80", "proxy 10.0.0.2:80", "restore"}));
}

TEST(FrameSwitching, CommandStatesOfTheSwitchMenu) {
    SwitchFrame frame;
    const auto state = [&](int id) { return frame.model->UpdateCommand(id); };
    EXPECT_EQ(state(cmd::SetActiveProxy).text, ""); // no selection: the text stays
    frame.SetActive(0);
    EXPECT_EQ(state(cmd::SetActiveProxy).text, "Disconnect from this proxy");
    EXPECT_EQ(state(cmd::ToggleTray).text, "Add to tray for quick switch");
    EXPECT_FALSE(state(cmd::ToggleTray).enabled);
    frame.Select({1});
    EXPECT_EQ(state(cmd::SetActiveProxy).text, "Set as current active proxy");
    FrameModelTestAccess::SetState(*frame.model, RunState::Running); // switching stays allowed during a run
    EXPECT_TRUE(state(cmd::SetActiveProxy).enabled);
    EXPECT_TRUE(state(cmd::DirectConnection).enabled);
    FrameModelTestAccess::SetState(*frame.model, RunState::Idle);
}

// Added entries go last until a rebuild; a Ready record leaves with the status its results give;
// the active one stays.
TEST(FrameSwitching, ToggleTrayAddsLastAndRemovesWithTheTestedStatus) {
    SwitchFrame frame;
    frame.SetActive(2);
    frame.Select({0, 2});
    frame.model->OnToggleTray();
    EXPECT_EQ(frame.Status(0), StatusReady);
    EXPECT_EQ(frame.Status(2), StatusActive);
    EXPECT_EQ(frame.model->QuickSwitchSet(), (std::vector<ProxyItem*>{frame.model->List()[2], frame.model->List()[0]}));
    EXPECT_EQ(frame.model->UpdateCommand(cmd::ToggleTray).text, "Remove from the tray menu");

    frame.model->List()[0]->m_anonymity = TimedOut;
    frame.Select({0});
    frame.model->OnToggleTray();
    EXPECT_EQ(frame.Status(0), StatusBad);
    frame.model->List()[1]->m_status = StatusReady;
    frame.Select({1});
    frame.model->OnToggleTray();
    EXPECT_EQ(frame.Status(1), StatusUnknown); // never tested, default test items
    EXPECT_EQ(frame.model->QuickSwitchSet(), (std::vector<ProxyItem*>{frame.model->List()[2]}));
}

TEST(FrameSwitching, DeletingTheActiveRecordFallsBackToDirect) {
    SwitchFrame frame;
    frame.SetActive(1);
    frame.Select({1});
    frame.model->OnDelete();
    EXPECT_EQ(frame.model->ActiveProxy(), nullptr);
    EXPECT_TRUE(frame.model->QuickSwitchSet().empty());
    EXPECT_NE(frame.Log().find("Removed 1 proxies from the list.\r\nCurrent active proxy is removed from the list.\r\n"
                               "You are now using direct connection.\r\n"),
              std::string::npos);
    EXPECT_EQ(frame.systemProxy.m_calls, (Calls{"read", "proxy 10.0.0.1:80", "restore"}));
    EXPECT_EQ(frame.Firefox(2), (Messages{ProxyMessage("10.0.0.1", "80"), Direct}));
}

// Test All drops duplicates without recounting; an active record that was a later copy must not be
// left behind as a pointer to a deleted record.
TEST(FrameSwitching, TestAllThatDropsTheActiveDuplicateFallsBackToDirect) {
    SwitchFrame frame;
    frame.Add("10.0.0.0:80");
    frame.SetActive(3);
    frame.model->EditSettings().TestDelay = 0;
    frame.model->EditSettings().TestAnon = 0; // no test item: the run refuses to start
    frame.model->OnTestAll();
    EXPECT_EQ(frame.model->List().GetSize(), 3u);
    EXPECT_EQ(frame.model->ActiveProxy(), nullptr);
    EXPECT_EQ(frame.systemProxy.m_calls.back(), "restore");
}

TEST(FrameSwitching, ChangeIEProxyOffNeverTouchesTheDesktopAndChangeFFProxyOffSendsNothing) {
    SwitchFrame frame;
    frame.model->EditSettings().ChangeIEProxy = 0;
    frame.model->EditSettings().ChangeFFProxy = 0;
    frame.model->AnnounceActiveProxy();
    frame.SetActive(0);
    frame.model->OnSwitchCommand(cmd::DirectConnection);
    frame.model->ShutDown();
    EXPECT_TRUE(frame.systemProxy.m_calls.empty());
    EXPECT_TRUE(frame.firefox.WaitFor(1, std::chrono::milliseconds(300)).empty());
}

// A record saved Active comes back active; both browsers follow at start-up; at exit the list is saved
// first, then Firefox hears "direct" and "closing" in that order and the desktop gets the user's values
// back, which the first run kept and the second did not read again over its own proxy.
TEST(FrameSwitching, StartUpRestoresAndExitLeavesEverythingDirect) {
    SwitchFrame frame;
    frame.SetActive(1);
    ASSERT_TRUE(frame.model->SaveList());
    frame.Firefox(1);

    frame.model = frame.NewModel();
    frame.model->LoadSettingsAndList();
    frame.model->AnnounceActiveProxy();
    ASSERT_NE(frame.model->ActiveProxy(), nullptr);
    EXPECT_EQ(frame.model->ActiveProxy()->ProxyAddressText(), "10.0.0.1:80");
    EXPECT_TRUE(frame.model->ShutDown());

    EXPECT_EQ(frame.firefox.WaitFor(4),
              (Messages{ProxyMessage("10.0.0.1", "80"), ProxyMessage("10.0.0.1", "80"), Direct, Closing}));
    EXPECT_EQ(frame.systemProxy.m_calls, (Calls{"read", "proxy 10.0.0.1:80", "proxy 10.0.0.1:80", "restore"}));
    ProxyList saved;
    const SavedList::LoadResult loaded = SavedList::LoadList(frame.dir.Path(), saved);
    ASSERT_TRUE(loaded.m_loaded);
    EXPECT_EQ(saved[1]->m_status, StatusActive);
}

// The window's thread switches at every moment of a run, its summary and save included (run under
// the thread checker by ./test.sh --tsan).
TEST(FrameSwitching, SwitchingWhileARunEndsIsRaceFree) {
    SwitchFrame frame;
    FrameModel& model = *frame.model;
    // The country alone needs no network: the run goes straight to its workers and summary.
    model.EditSettings().TestDelay = 0;
    model.EditSettings().TestAnon = 0;
    model.EditSettings().TestCountry = 1;
    model.OnTestAll();
    for (int i = 0; i < 200 || !model.Run().WaitUntilIdle(std::chrono::milliseconds(0)); ++i) {
        frame.SetActive(static_cast<uint32_t>(i % 3));
        model.OnSwitchCommand(i % 2 == 0 ? cmd::QuickSwitchFirst : cmd::DirectConnection);
        frame.view.RunPosted();
        model.OnTimer(TimerId::PanelRefresh);
        ASSERT_LT(i, 100000) << "the run did not end";
    }
    frame.view.RunPosted();
    EXPECT_EQ(model.State(), RunState::Idle);
    int active = 0;
    for (size_t i = 0; i < model.List().GetSize(); ++i)
        active += model.List()[i]->m_status == StatusActive ? 1 : 0;
    EXPECT_EQ(active, model.ActiveProxy() == nullptr ? 0 : 1);
    EXPECT_TRUE(model.ShutDown());
}

// The desktop is the user's until a proxy is set, and theirs again after a direct connection or, after a
// kill, the next start: the values kept in DataFolder come back byte for byte. Where they could not be kept,
// direct changes only the mode; where they would not go back, they stay for the next try.
TEST(FrameSwitching, TheDesktopGetsTheUsersValuesBack) {
    const platform::ProxyValues users = {{"mode", "'auto'"}, {"url", "http://a/b,c'd[\"e\"]\\\r\nf=g"}};
    const platform::ProxyValues ours = {{"server", "10.0.0.0:80"}};
    enum Run { Idle, Direct, Killed, Unkept, Refused };
    struct Case {
        const char* m_name;
        Run m_run;
        Calls m_calls;
        platform::ProxyValues m_after;
    };
    const Case cases[] = {
        {"start and exit with nothing active", Idle, {}, users},
        {"a proxy, then direct", Direct, {"read", "proxy 10.0.0.0:80", "restore"}, users},
        {"killed with a proxy, started with none", Killed, {"read", "proxy 10.0.0.0:80", "restore"}, users},
        {"the record cannot be written", Unkept, {"read", "proxy 10.0.0.0:80", "direct"}, ours},
        {"the desktop refuses the values",
         Refused,
         {"read", "proxy 10.0.0.0:80", "restore", "direct", "restore", "direct"},
         ours},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_name);
        SwitchFrame frame;
        frame.systemProxy.m_values = users;
        DesktopProxyKeeper keeper(frame.systemProxy, frame.dir.Path());
        if (c.m_run == Unkept)
            std::filesystem::create_directory(keeper.RecordPath());
        frame.model->AnnounceActiveProxy();
        if (c.m_run != Idle)
            frame.SetActive(0);
        frame.systemProxy.m_result = c.m_run != Refused;
        if (c.m_run == Killed) {
            frame.model = frame.NewModel(); // no shutdown: the record stays behind
            frame.model->AnnounceActiveProxy();
        } else if (c.m_run != Idle) {
            frame.model->OnSwitchCommand(cmd::DirectConnection);
        }
        frame.model->ShutDown();
        EXPECT_EQ(frame.systemProxy.m_calls, c.m_calls);
        EXPECT_EQ(frame.systemProxy.m_values, c.m_after);
        EXPECT_EQ(std::filesystem::is_regular_file(keeper.RecordPath()), c.m_run == Refused);
        EXPECT_EQ(frame.Log().find(FrameModel::KeptRestoredLine) != std::string::npos, c.m_run == Killed);
    }
}

// What scripts ask of the frame: a bad address changes nothing, a new one is added and switched to, one the list
// has is switched to even while a run holds the list, Next goes round the tray's set, and every check asked for
// is answered, also when the active proxy goes while it runs.
TEST(FrameSwitching, ScriptCommandsSwitchAndEveryCheckAskedForIsAnswered) {
    Frame frame;
    FrameModel& model = *frame.model;
    EXPECT_EQ(model.UseProxy("10.0.0.1", "port"), FrameModel::BadProxyText);
    EXPECT_TRUE(frame.Addresses().empty());
    EXPECT_EQ(model.UseProxy("10.0.0.1", "80"), "");
    EXPECT_EQ(model.UseProxy("10.0.0.2", "8080"), "");
    EXPECT_EQ(frame.Addresses(), (std::vector<std::string>{"10.0.0.1:80", "10.0.0.2:8080"}));
    const FrameModel::SwitchStatus status = model.Status();
    EXPECT_EQ(status.mode + " " + status.address + " " + status.port, "http 10.0.0.2 8080");
    EXPECT_EQ(frame.systemProxy.m_calls.back(), "proxy 10.0.0.2:8080");
    model.SwitchNext();
    EXPECT_EQ(model.ActiveProxy()->ProxyAddressText(), "10.0.0.1:80");
    model.SwitchNext();
    EXPECT_EQ(model.ActiveProxy()->ProxyAddressText(), "10.0.0.2:8080");

    FrameModelTestAccess::SetState(model, RunState::Running);
    EXPECT_EQ(model.UseProxy("10.0.0.3", "80"), FrameModel::TestingRefusal);
    EXPECT_EQ(model.UseProxy("10.0.0.1", "80"), "");
    EXPECT_EQ(model.ActiveProxy()->ProxyAddressText(), "10.0.0.1:80");
    FrameModelTestAccess::SetState(model, RunState::Idle);

    std::vector<std::string> replies;
    const auto ask = [&] {
        model.CheckActiveNow([&](bool passed, const std::string& text) {
            replies.push_back((passed ? "passed: " : "failed: ") + text);
        });
    };
    const std::string dead = "127.0.0.1:" + std::to_string(ClosedPort());
    EXPECT_EQ(model.UseProxy("127.0.0.1", dead.substr(dead.find(':') + 1)), "");
    ask();
    for (int i = 0; i < 1000 && replies.empty(); ++i) {
        frame.view.RunPosted();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ask();
    model.OnSwitchCommand(cmd::DirectConnection);
    ask();
    frame.view.RunPosted();
    EXPECT_EQ(replies, (std::vector<std::string>{"failed: Checked the active proxy " + dead + ": no answer.",
                                                 "failed: No proxy is active.", "failed: No proxy is active."}));
}
