#include "app/HeadlessTestRun.h"
#include "tester/TestContext.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;

class HeadlessTest : public testing::Test {
protected:
    uint16_t AddProxy(ProxyScript script) {
        script.pageHost = TestContext::DefaultTestPageHost;
        script.pageMarker = TestContext::DefaultTestPageMarker;
        script.pageDelay = 30ms;
        script.outgoingAddress = "127.0.0.5";
        return m_server.AddProxy(script);
    }
    // Two good proxies (Level 1 and 3), a silent one and a refused port, in FILE.
    void WriteProxies() {
        ProxyScript transparent;
        transparent.setHeaders = {{"X-Forwarded-For", "127.0.0.1"}};
        ProxyScript silent;
        silent.mode = ProxyScript::Silent;
        const uint16_t ports[] = {AddProxy({}), AddProxy(transparent), AddProxy(silent), ClosedPort()};
        m_judge = m_server.AddJudge(JudgeDialect::Equals, "", "127.0.0.3");
        m_server.Start();
        std::string text = "<tr><td>proxies</td></tr>\n";
        for (uint16_t port : ports)
            text += "127.0.0.1:" + std::to_string(port) + "\n";
        m_data.Write("proxies.txt", text);
        m_data.Write("ORV_Setting.ini", "[Settings]\r\nMaxThread=2\r\nSaveTimeout=1\r\n");
    }
    std::string Judge() const { return "http://127.0.0.3:" + std::to_string(m_judge) + "/azenv.php"; }
    int Run(std::vector<std::string> args, const std::atomic<bool>& stop) {
        HeadlessTestRun headless(m_out, m_err);
        const auto options = headless.ParseOptions(args);
        if (!options)
            return HeadlessTestRun::BadUsage;
        return headless.Run(*options, m_data.Path(), m_data.Path(), stop);
    }

    LoopbackServer m_server;
    uint16_t m_judge = 0;
    TempDir m_data;
    std::ostringstream m_out;
    std::ostringstream m_err;
    std::atomic<bool> m_noStop = false;
};

TEST_F(HeadlessTest, OptionsAreCheckedBeforeAnythingRuns) {
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"--threads", "5"},
        {"a.txt", "b.txt"},
        {"a.txt", "--threads", "0"},
        {"a.txt", "--threads", "4001"},
        {"a.txt", "--threads", "99999999999"},
        {"a.txt", "--timeout", "101"},
        {"a.txt", "--timeout", "1x"},
        {"a.txt", "--timeout"},
        {"a.txt", "--judge", "ftp://judge/"},
        {"a.txt", "--judge", "http://j/ ftp://judge/"},
        {"a.txt", "--judge", " "},
        {"a.txt", "--colour"},
        {"a.txt", "--format", "xml"},
        {"a.txt", "--format", "JSON"},
        {"a.txt", "--dispatch", "fast"},
        {"a.txt", "--dispatch"},
    };
    for (const auto& args : wrong) {
        HeadlessTestRun headless(m_out, m_err);
        EXPECT_FALSE(headless.ParseOptions(args)) << args.size();
    }
    EXPECT_NE(m_err.str().find("--threads must be a number between 1 and 4000\n"), std::string::npos);
    EXPECT_NE(m_err.str().find("--timeout must be a number between 1 and 100\n"), std::string::npos);

    HeadlessTestRun headless(m_out, m_err);
    EXPECT_EQ(headless.ParseOptions({"a.txt", "--threads", "4000"})->threads, 4000);
    const auto options = headless.ParseOptions(
        {"a.txt", "--threads", "7", "--timeout", "3", "--judge", "http://j/", "--export", "o", "--format", "csv"});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->file, "a.txt");
    EXPECT_EQ(options->threads, 7);
    EXPECT_EQ(options->timeout, 3);
    EXPECT_EQ(options->judge, "http://j/");
    EXPECT_EQ(options->exportPath, "o");
    EXPECT_EQ(options->format, "csv");
    EXPECT_FALSE(options->dispatchOnTick);
    EXPECT_EQ(headless.ParseOptions({"a.txt", "--dispatch", "tick"})->dispatchOnTick, true);
    EXPECT_EQ(headless.ParseOptions({"a.txt", "--dispatch", "prompt"})->dispatchOnTick, false);
    EXPECT_NE(m_err.str().find("--dispatch must be tick or prompt\n"), std::string::npos);
}

TEST_F(HeadlessTest, PrintsTheLogThenTheExportAndLeavesTheSavedListAlone) {
    WriteProxies();
    const int status = Run({m_data.File("proxies.txt"), "--timeout", "1", "--judge", Judge()}, m_noStop);
    EXPECT_EQ(status, 0) << m_err.str();
    const std::string out = m_out.str();
    EXPECT_EQ(out.rfind("Proxies to be tested: 4, Threads: 2, Timeout: 1s\r\nTest items: delay, anonymity\r\n", 0), 0u)
        << out;
    const size_t summary = out.find("High Anonymous: 1, Anonymous: 0, Transparent: 1\r\n");
    const size_t exported = out.find("[High Anonymous / Level1 Proxies (1)]\r\n");
    ASSERT_NE(summary, std::string::npos) << out;
    ASSERT_NE(exported, std::string::npos) << out;
    EXPECT_LT(summary, exported);
    EXPECT_NE(out.find("[Transparent / Level3 Proxies (1)]\r\n"), std::string::npos);
    EXPECT_NE(out.find("[Timeout Proxies (2)]\r\n"), std::string::npos) << out;
    EXPECT_FALSE(std::ifstream(m_data.File("list.dat")).good());
}

TEST_F(HeadlessTest, WritesTheExportToTheGivenFile) {
    WriteProxies();
    const std::string path = m_data.File("out.txt");
    ASSERT_EQ(Run({m_data.File("proxies.txt"), "--timeout", "1", "--judge", Judge(), "--export", path}, m_noStop), 0);
    const std::string text = m_data.Read("out.txt");
    EXPECT_EQ(text.rfind("Checked by Tarvelo\r\n", 0), 0u) << text;
    EXPECT_EQ(m_out.str().find("Checked by"), std::string::npos);
}

TEST_F(HeadlessTest, AJudgeListFallsBackPastADeadJudge) {
    WriteProxies();
    const std::string dead = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/";
    EXPECT_EQ(Run({m_data.File("proxies.txt"), "--timeout", "1", "--judge", dead + " " + Judge()}, m_noStop), 0)
        << m_err.str();
    EXPECT_NE(m_out.str().find("Proxy judge " + dead + " failed: no answer.\r\nVerifying all the proxies"),
              std::string::npos)
        << m_out.str();
    EXPECT_NE(m_out.str().find("High Anonymous: 1, Anonymous: 0, Transparent: 1\r\n"), std::string::npos);
}

TEST_F(HeadlessTest, AnExportPathThatCannotBeWrittenIsRefusedBeforeTheRunOrGetsTheResultsOnStandardOutput) {
    WriteProxies();
    for (const std::string& path : {m_data.File("missing/out.txt"), m_data.Path()}) {
        EXPECT_EQ(Run({m_data.File("proxies.txt"), "--judge", Judge(), "--export", path}, m_noStop),
                  HeadlessTestRun::BadUsage);
        EXPECT_NE(m_err.str().find("orv: cannot write " + path + ": "), std::string::npos) << m_err.str();
    }
    EXPECT_EQ(m_out.str(), "");
    EXPECT_EQ(m_server.Requests(m_judge), 0);

    // The path becomes a folder once the run is under way (the silent proxy holds it for a second).
    const std::string late = m_data.File("late");
    std::thread block([&] {
        m_server.WaitForRequests(m_judge, 1);
        std::filesystem::create_directory(late);
    });
    const int status =
        Run({m_data.File("proxies.txt"), "--timeout", "1", "--judge", Judge(), "--export", late}, m_noStop);
    block.join();
    EXPECT_EQ(status, HeadlessTestRun::Failed);
    EXPECT_NE(m_out.str().find("Checked by Tarvelo\r\n"), std::string::npos) << m_out.str();
    EXPECT_NE(m_err.str().find("orv: cannot write " + late + "; the results are on standard output\n"),
              std::string::npos)
        << m_err.str();
}

TEST_F(HeadlessTest, JudgeWithoutAnAddressEndsWithStatusTwo) {
    WriteProxies();
    const std::string dead = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/";
    EXPECT_EQ(Run({m_data.File("proxies.txt"), "--timeout", "1", "--judge", dead}, m_noStop), 2);
    EXPECT_NE(m_out.str().find("User stopped testing because of the proxyjudge error.\r\n"), std::string::npos);
    EXPECT_NE(m_err.str().find("did not show this PC's address"), std::string::npos) << m_err.str();
    EXPECT_EQ(m_out.str().find("Checked by"), std::string::npos);
}

TEST_F(HeadlessTest, StopStillPrintsTheSummaryAndTheExport) {
    WriteProxies();
    std::atomic<bool> stop = false;
    std::thread interrupt([&] {
        std::this_thread::sleep_for(300ms);
        stop = true;
    });
    const auto start = std::chrono::steady_clock::now();
    const int status = Run({m_data.File("proxies.txt"), "--timeout", "20", "--threads", "1", "--judge", Judge()}, stop);
    interrupt.join();
    EXPECT_EQ(status, HeadlessTestRun::Interrupted);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    const std::string out = m_out.str();
    EXPECT_NE(out.find("User stopped testing at "), std::string::npos) << out;
    EXPECT_NE(out.find("Checked by Tarvelo\r\n"), std::string::npos) << out;
}

TEST_F(HeadlessTest, FileWithoutProxiesFails) {
    m_data.Write("empty.txt", "nothing here\n");
    EXPECT_EQ(Run({m_data.File("empty.txt")}, m_noStop), HeadlessTestRun::Failed);
    EXPECT_NE(m_err.str().find("no proxies found"), std::string::npos);
}

} // namespace
