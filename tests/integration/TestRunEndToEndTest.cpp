// Whole test runs against the real proxies and judge, beside a refusing port and a silent proxy:
// through the test run as the window drives it, and through `orv --test`. Then a long run stopped
// half-way and thrown away at once, as a closing window does.
#include "app/ExportDialogLogic.h"
#include "app/FrameModel.h"
#include "platform/Clipboard.h"
#include "platform/FileDialog.h"
#include "platform/ShellOpen.h"
#include "platform/SystemProxy.h"
#include "settings/SavedList.h"
#include "settings/SettingsStore.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/RealProxyParts.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestRunHarness.h"
#include "tests/support/TlsParts.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;

class EndToEnd : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_parts = new RealProxyParts;
        s_silent = new LoopbackServer;
        ProxyScript silent;
        silent.mode = ProxyScript::Silent;
        s_silentPort = s_silent->AddProxy(silent);
        s_silent->Start();
    }
    static void TearDownTestSuite() {
        delete s_silent;
        delete s_parts;
    }
    void SetUp() override { ASSERT_TRUE(s_parts->error.empty()) << s_parts->error; }

    // The five proxies in list order: Level 1, 2 and 3, refused, silent.
    static std::vector<std::string> Addresses() {
        return {s_parts->level1.Address(), s_parts->level2.Address(), s_parts->level3.Address(),
                "127.0.0.1:" + std::to_string(ClosedPort()), "127.0.0.1:" + std::to_string(s_silentPort)};
    }
    // Checks what a run left in five records tested in Addresses' order.
    static void ExpectResults(const std::vector<const ProxyItem*>& items) {
        ASSERT_EQ(items.size(), 5u);
        const int32_t levels[] = {1, 2, 3, TimedOut, TimedOut};
        // Level 1 listens where it leaves from; the others are reached at 127.0.0.1.
        const int32_t gateways[] = {0, 1, 1, TimedOut, TimedOut};
        for (size_t i = 0; i < 5; ++i) {
            const ProxyItem& item = *items[i];
            EXPECT_EQ(item.m_anonymity, levels[i]) << i;
            EXPECT_EQ(item.m_gateway, gateways[i]) << i;
            EXPECT_EQ(item.m_status, i < 3 ? StatusGood : StatusBad) << i;
            if (i < 3)
                EXPECT_GE(item.m_delay, RealProxyParts::PageDelay.count()) << i;
            else
                EXPECT_EQ(item.m_delay, TimedOut) << i;
        }
    }
    static void ExpectExport(const std::string& text, const std::vector<std::string>& addresses) {
        EXPECT_EQ(text.rfind("Checked by Tarvelo\r\n", 0), 0u) << text;
        EXPECT_NE(text.find("Timeout: 2s\r\n"), std::string::npos) << text;
        const char* sections[] = {"[High Anonymous / Level1 Proxies (1)]\r\n", "[Anonymous / Level2 Proxies (1)]\r\n",
                                  "[Transparent / Level3 Proxies (1)]\r\n"};
        for (size_t i = 0; i < 3; ++i)
            EXPECT_NE(text.find(std::string(sections[i]) + addresses[i]), std::string::npos) << i << text;
        const size_t dead = text.find("[Timeout Proxies (2)]\r\n");
        ASSERT_NE(dead, std::string::npos) << text;
        EXPECT_NE(text.find(addresses[3], dead), std::string::npos);
        EXPECT_NE(text.find(addresses[4], dead), std::string::npos);
    }

    static RealProxyParts* s_parts;
    static LoopbackServer* s_silent;
    static uint16_t s_silentPort;
};

RealProxyParts* EndToEnd::s_parts = nullptr;
LoopbackServer* EndToEnd::s_silent = nullptr;
uint16_t EndToEnd::s_silentPort = 0;

TEST_F(EndToEnd, WholeRunThroughTheTestRunSavesWhatItFound) {
    TempDir data;
    TestRunHarness h;
    h.settings.ProxyJudge = s_parts->JudgeUrl();
    h.settings.TestAnon = 1;
    h.settings.TestGateway = 1;
    h.settings.Timeout = 2;
    h.settings.SaveTimeout = 1;
    h.context.TestPageHost = s_parts->PageHost();
    h.context.TestPageMarker = RealProxyParts::PageMarker;
    const std::vector<std::string> addresses = Addresses();
    for (const std::string& address : addresses)
        h.AddRecord(address);
    // The window's save at the end of the run, with the LastTestedText the run has just set.
    h.onSave = [&] { SavedList::SaveList(data.Path(), h.list, h.LastTested()); };

    h.StartAll();
    ASSERT_TRUE(h.WaitIdle(60s));
    ExpectResults({h.list[0], h.list[1], h.list[2], h.list[3], h.list[4]});
    const std::string log = h.log.Text();
    EXPECT_NE(log.find("Finished testing the proxies at "), std::string::npos) << log;
    EXPECT_NE(log.find("s)\r\nHigh Anonymous: 1, Anonymous: 1, Transparent: 1\r\n"), std::string::npos) << log;

    // The export, as the export dialog composes it from the settings.
    SettingsStore store(h.settings, data.Path());
    platform::ScriptedMessageBox box;
    platform::ScriptedFileDialog files;
    platform::RecordingShellOpen shell;
    ExportDialogLogic exporter(store, {box, files, shell}, ExportDialogLogic::ExportAll(h.list), h.LastTested());
    ExpectExport(exporter.Initialise().m_text, addresses);

    // The saved list holds the results as they stand, and reads back the same.
    EXPECT_EQ(h.saves, 1);
    EXPECT_EQ(data.Read(SavedList::FileName), SavedList::ToBytes(h.list, h.LastTested()));
    ProxyList loaded;
    const SavedList::LoadResult result = SavedList::LoadList(data.Path(), loaded);
    ASSERT_TRUE(result.m_loaded);
    EXPECT_EQ(result.m_lastTestedText, h.LastTested());
    EXPECT_EQ(SavedList::ToBytes(loaded, h.LastTested()), SavedList::ToBytes(h.list, h.LastTested()));
}

// The frame as the window drives it: settings from the data folder, the list pasted in, Test All,
// and this thread acting as the window's, ticking the test tick and running what the run hands over.
TEST_F(EndToEnd, WholeRunThroughTheFrameAndARestart) {
    TempDir data;
    data.Write("ORV_Setting.ini", "[Settings]\r\nProxyJudge=" + s_parts->JudgeUrl() +
                                      "\r\nTimeout=2\r\nTestGateway=1\r\nSaveTimeout=1\r\n");
    RecordingFrameView view;
    LockedMessageBox messages;
    platform::MemoryClipboard clipboard;
    platform::ScriptedFileDialog files;
    platform::RecordingShellOpen shell;
    platform::RecordingSystemProxy systemProxy;
    const auto newFrame = [&] {
        // The delay-test page is read from the environment when the frame is made.
        setenv("ORV_TEST_PAGE_HOST", s_parts->PageHost().c_str(), 1);
        setenv("ORV_TEST_PAGE_MARKER", RealProxyParts::PageMarker, 1);
        auto frame =
            std::make_unique<FrameModel>(view, FrameModel::Services{messages, clipboard, files, shell, systemProxy},
                                         data.Path(), data.Path(), FirefoxChannel::Ports{0, 0});
        unsetenv("ORV_TEST_PAGE_HOST");
        unsetenv("ORV_TEST_PAGE_MARKER");
        frame->LoadSettingsAndList();
        return frame;
    };
    auto frame = newFrame();
    const std::vector<std::string> addresses = Addresses();
    clipboard.m_text = "";
    for (const std::string& address : addresses)
        *clipboard.m_text += address + "\r\n";
    frame->OnPaste();
    ASSERT_EQ(frame->List().GetSize(), 5u);

    frame->OnTestAll();
    ASSERT_EQ(frame->State(), RunState::Running);
    std::vector<int> progress;
    const auto end = std::chrono::steady_clock::now() + 60s;
    while (!(frame->State() == RunState::Idle && frame->Run().WaitUntilIdle(0ms)) &&
           std::chrono::steady_clock::now() < end) {
        frame->OnTimer(TimerId::TestTick);
        view.RunPosted();
        if (view.m_panel.contains("progress"))
            progress.push_back(std::stoi(view.m_panel["progress"]));
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_EQ(frame->State(), RunState::Idle) << frame->Log().Text();
    view.RunPosted();
    EXPECT_TRUE(messages.Shown().empty());
    ExpectResults({frame->List()[0], frame->List()[1], frame->List()[2], frame->List()[3], frame->List()[4]});
    EXPECT_NE(frame->Log().Text().find("s)\r\nHigh Anonymous: 1, Anonymous: 1, Transparent: 1\r\n"), std::string::npos)
        << frame->Log().Text();
    // Timer 1 showed the run under way: the silent proxy holds it at four of five for two seconds.
    EXPECT_TRUE(std::any_of(progress.begin(), progress.end(), [](int p) { return p > 0 && p < 100; }));

    const std::string tested = frame->LastTestedText();
    EXPECT_EQ(tested.rfind("20", 0), 0u) << tested;
    SettingsStore store(frame->EditSettings(), data.Path());
    platform::ScriptedMessageBox box;
    ExportDialogLogic exporter(store, {box, files, shell}, ExportDialogLogic::ExportAll(frame->List()), tested);
    ExpectExport(exporter.Initialise().m_text, addresses);
    EXPECT_EQ(data.Read(SavedList::FileName), SavedList::ToBytes(frame->List(), tested));

    const std::string saved = SavedList::ToBytes(frame->List(), tested);
    ASSERT_TRUE(frame->ShutDown());
    frame.reset();
    frame = newFrame();
    EXPECT_EQ(frame->LastTestedText(), tested);
    EXPECT_EQ(SavedList::ToBytes(frame->List(), tested), saved);
}

TEST_F(EndToEnd, WholeRunThroughTheCommandLine) {
    TempDir data;
    const std::vector<std::string> addresses = Addresses();
    std::string text = "proxies of the day\n";
    for (const std::string& address : addresses)
        text += address + "\n";
    data.Write("proxies.txt", text);
    data.Write("ORV_Setting.ini", "[Settings]\r\nTestGateway=1\r\nSaveTimeout=1\r\nMaxThread=3\r\n");
    const std::string command = "ORV_DATA_DIR='" + data.Path() + "' ORV_TEST_PAGE_HOST='" + s_parts->PageHost() +
                                "' ORV_TEST_PAGE_MARKER=Searchy " ORV_EXECUTABLE " --test '" +
                                data.File("proxies.txt") + "' --timeout 2 --judge '" + s_parts->JudgeUrl() + "' >'" +
                                data.File("out.txt") + "' 2>'" + data.File("err.txt") + "'";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << data.Read("err.txt");
    const std::string out = data.Read("out.txt");
    EXPECT_EQ(out.rfind("Proxies to be tested: 5, Threads: 3, Timeout: 2s\r\n"
                        "Test items: delay, anonymity, gateway\r\n",
                        0),
              0u)
        << out;
    const size_t summary = out.find("s)\r\nHigh Anonymous: 1, Anonymous: 1, Transparent: 1\r\n");
    ASSERT_NE(summary, std::string::npos) << out;
    const size_t exported = out.find("Checked by Tarvelo\r\n");
    ASSERT_GT(exported, summary) << out;
    ExpectExport(out.substr(exported), addresses);
    EXPECT_FALSE(std::filesystem::exists(data.File(SavedList::FileName)));
}

// Every test item on, through the program: the text export and the JSON results of two runs over
// the same real proxies agree, and the address items come from the files the program is given.
TEST_F(EndToEnd, EveryItemThroughTheCommandLineAsTextAndJson) {
    TlsParts tls;
    ASSERT_TRUE(tls.error.empty()) << tls.error;
    TempDir data;
    const std::vector<std::string> addresses = Addresses();
    std::string text;
    for (const std::string& address : addresses)
        text += address + "\n";
    data.Write("proxies.txt", text);
    // 127.0.0.1 in a range whose code is newer than the country table, 127.0.0.5 in a plain one.
    data.Write("geoip", "2130706433,2130706433,RS\n2130706437,2130706437,NL\n");
    data.Write("ORV_Setting.ini",
               "[Settings]\r\nTestGateway=1\r\nTestCountry=1\r\nTestSSL=1\r\nTestDanger=1\r\n"
               "TestCodeen=1\r\nSaveTimeout=1\r\nSaveSSL=1\r\nSaveCountry=1\r\nSaveDelay=0\r\nMaxThread=5\r\n");
    const auto run = [&](const std::string& format) {
        const std::string command = "ORV_DATA_DIR='" + data.Path() + "' ORV_TEST_PAGE_HOST='" + s_parts->PageHost() +
                                    "' ORV_TEST_PAGE_MARKER=Searchy ORV_GEOIP_DB='" + data.File("geoip") +
                                    "' ORV_TLS_PAGE='" + tls.GoodPage() + "' ORV_TLS_CA='" + tls.CaFile() +
                                    "' " ORV_EXECUTABLE " --test '" + data.File("proxies.txt") +
                                    "' --timeout 2 --format " + format + " --judge '" + s_parts->JudgeUrl() + "' >'" +
                                    data.File(format) + "' 2>'" + data.File(format + ".err") + "'";
        const int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << data.Read(format + ".err");
    };
    run("text");
    run("json");
    const std::string exported = data.Read("text");
    EXPECT_NE(exported.find("Test items: delay, anonymity, country, ssl, gateway, danger, codeen\r\n"),
              std::string::npos)
        << exported;
    EXPECT_NE(exported.find("[SSL / HTTPS Proxies (3)]\r\n"), std::string::npos) << exported;
    // The log went to standard error: standard output is JSON alone.
    EXPECT_NE(data.Read("json.err").find("Finished testing the proxies at "), std::string::npos);
    const ProgramResult tool = RunProgram({"python3", "-m", "json.tool", data.File("json")});
    EXPECT_EQ(tool.m_exitCode, 0) << tool.m_errors;

    const nlohmann::json results = nlohmann::json::parse(data.Read("json"));
    EXPECT_EQ(results["outcome"], "finished");
    ASSERT_EQ(results["records"].size(), 5u);
    const char* countries[] = {"NL", "YU", "YU", "YU", "YU"};
    const int32_t https[] = {1, 1, 1, TimedOut, TimedOut};
    const int32_t levels[] = {1, 2, 3, TimedOut, TimedOut};
    for (size_t i = 0; i < 5; ++i) {
        const nlohmann::json& record = results["records"][i];
        const std::string address = record["address"].get<std::string>() + ":" + record["port"].dump();
        EXPECT_EQ(address, addresses[i]);
        EXPECT_EQ(record["country"], countries[i]) << i;
        EXPECT_EQ(record["https"], https[i]) << i;
        EXPECT_EQ(record["anonymity"], levels[i]) << i;
        EXPECT_EQ(record["danger"], 0) << i;
        EXPECT_EQ(record["status"], i < 3 ? "good" : "bad") << i;
        // The text export shows the same country beside the same address.
        EXPECT_NE(exported.find(address + "  \t" + countries[i] + "\r\n"), std::string::npos) << address;
    }
}

// A closed terminal (SIGHUP) and a polite kill (SIGTERM) stop the run as Ctrl+C does.
TEST_F(EndToEnd, CtrlCTermAndHangUpStopTheCommandLineRunAndStillExport) {
    TempDir data;
    std::string text;
    for (int i = 0; i < 20; ++i)
        text += "127.0.0.1:" + std::to_string(s_silentPort) + "\n";
    data.Write("proxies.txt", text);
    for (const char* signal : {"INT", "TERM", "HUP"}) {
        // The signal once the workers are under way (the handler is in place before the run starts), or
        // after 30 s whatever happened.
        // A fresh file: the wait below must not find the last run's lines.
        const std::string out = data.File(std::string(signal) + ".txt");
        const std::string command = "ORV_DATA_DIR='" + data.Path() + "' " ORV_EXECUTABLE " --test '" +
                                    data.File("proxies.txt") + "' --timeout 30 --threads 5 --judge '" +
                                    s_parts->JudgeUrl() + "' >'" + out + "' 2>&1 & pid=$!; i=0; " +
                                    "while [ $i -lt 600 ] && ! grep -q 'Verifying' '" + out +
                                    "'; do sleep 0.05; i=$((i+1)); done; kill -" + signal + " $pid; wait $pid";
        const auto start = std::chrono::steady_clock::now();
        const int status = std::system(command.c_str());
        // Not the silent proxies' 30 s timeout.
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << signal;
        ASSERT_TRUE(WIFEXITED(status)) << signal;
        EXPECT_EQ(WEXITSTATUS(status), 130) << signal;
        const std::string printed = data.Read(std::string(signal) + ".txt");
        EXPECT_NE(printed.find("User stopped testing at "), std::string::npos) << signal << printed;
        EXPECT_NE(printed.find("Checked by Tarvelo\r\n"), std::string::npos) << signal << printed;
    }
}

size_t GoodCount(const ProxyList& list) {
    size_t good = 0;
    for (size_t i = 0; i < list.GetSize(); ++i)
        good += list[i]->m_status == StatusGood;
    return good;
}

// Waits until count records are good; false when limit passed first.
bool WaitForGood(const ProxyList& list, size_t count, std::chrono::milliseconds limit) {
    for (const auto end = std::chrono::steady_clock::now() + limit; GoodCount(list) < count;) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// 300 proxies, a third of them quick and the rest silent; the run is stopped half-way and
// everything is destroyed at once, as when the window closes. What finished workers wrote is
// saved; nothing crashes, leaks or races.
TEST(EndToEndLong, StopHalfWayThenExitKeepsWhatWasWritten) {
    LoopbackServer server;
    ProxyScript quick;
    quick.pageHost = "www.search.test";
    quick.pageMarker = "Searchy";
    quick.pageDelay = 20ms;
    ProxyScript silent;
    silent.mode = ProxyScript::Silent;
    const uint16_t quickPort = server.AddProxy(quick);
    const uint16_t silentPort = server.AddProxy(silent);
    server.Start();
    TempDir data;
    std::string saved;
    {
        auto h = std::make_unique<TestRunHarness>();
        h->settings.Timeout = 30;
        h->settings.MaxThread = 100;
        for (int i = 0; i < 300; ++i)
            h->AddRecord("127.0.0.1:" + std::to_string(i % 3 == 0 ? quickPort : silentPort));
        h->StartAll();
        // The first hundred workers start at once; once its quick third has written, stop.
        ASSERT_TRUE(WaitForGood(h->list, 34, 30s));
        h->run.StopTest();
        // The window closes at once: the run must end within its limit, then the list is saved.
        ASSERT_TRUE(h->run.ShutDown(2s));
        ASSERT_TRUE(SavedList::SaveList(data.Path(), h->list, ""));
        saved = SavedList::ToBytes(h->list, "");
        const size_t good = GoodCount(h->list);
        EXPECT_GE(good, 34u);
        EXPECT_LE(good, 100u);
        EXPECT_NE(h->log.Text().find("User stopped testing at "), std::string::npos);
    }
    EXPECT_EQ(data.Read(SavedList::FileName), saved);
}

} // namespace
