// The worker against real proxies and a real judge: three tinyproxy instances that leave from
// 127.0.0.5, and lighttpd on 127.0.0.3 running a CGI script that prints its environment.
#include "tests/support/ChildProcess.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/WorkerHarness.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto PageDelay = 250ms;

struct Tinyproxy {
    std::string listen;
    uint16_t port = 0;
    ChildProcess process;
    std::string Address() const { return listen + ":" + std::to_string(port); }
};

// Everything the tests share, started once for the suite.
struct Parts {
    TempDir dir;
    ChildProcess lighttpd;
    uint16_t judgePort = 0;
    Tinyproxy level1, level2, level3;
    LoopbackServer pages;
    uint16_t pagePort = 0;
    std::string error;

    Parts() {
        pagePort = pages.AddPage(PageDelay, "Searchy");
        pages.Start();
        if (StartJudge())
            StartProxy(level1, "127.0.0.5", "DisableViaHeader Yes\n") && StartProxy(level2, "127.0.0.1", "") &&
                StartProxy(level3, "127.0.0.1", "XTinyproxy Yes\n");
    }

    std::string JudgeUrl() const { return "http://127.0.0.3:" + std::to_string(judgePort) + "/azenv.sh"; }

    bool StartJudge() {
        std::filesystem::create_directory(dir.File("www"));
        dir.Write("www/azenv.sh", "#!/bin/sh\nprintf 'Content-Type: text/plain\\r\\n\\r\\n'\nenv\n");
        chmod(dir.File("www/azenv.sh").c_str(), 0755);
        judgePort = FreePort("127.0.0.3");
        dir.Write("lighttpd.conf", "server.document-root = \"" + dir.File("www") + "\"\n" +
                                       "server.bind = \"127.0.0.3\"\n" + "server.port = " + std::to_string(judgePort) +
                                       "\n" + "server.modules = (\"mod_cgi\")\n" +
                                       "cgi.assign = (\".sh\" => \"/bin/sh\")\n" + "server.errorlog = \"" +
                                       dir.File("lighttpd-error.log") + "\"\n");
        return Launch(lighttpd, {"lighttpd", "-D", "-f", dir.File("lighttpd.conf")}, "lighttpd", "127.0.0.3",
                      judgePort);
    }

    bool StartProxy(Tinyproxy& proxy, const std::string& listen, const std::string& extra) {
        proxy.listen = listen;
        proxy.port = FreePort(listen);
        const std::string name = "tinyproxy-" + std::to_string(proxy.port);
        dir.Write(name + ".conf", "Port " + std::to_string(proxy.port) + "\nListen " + listen +
                                      "\nBind 127.0.0.5\nAllow 127.0.0.0/8\nTimeout 10\nMaxClients 20\n"
                                      "LogLevel Warning\n" +
                                      extra);
        return Launch(proxy.process, {"tinyproxy", "-d", "-c", dir.File(name + ".conf")}, name, listen, proxy.port);
    }

    bool Launch(ChildProcess& process, const std::vector<std::string>& argv, const std::string& name,
                const std::string& address, uint16_t port) {
        const std::string log = dir.File(name + ".log");
        if (process.Start(argv, log)) {
            for (const auto end = Clock::now() + 5s; Clock::now() < end && process.Running();)
                if (WaitForListener(address, port, 50ms))
                    return true;
        }
        error = name + " could not be started on " + address + ":" + std::to_string(port) +
                " (is it installed? "
                "scripts/install-deps.sh installs it). Its output:\n" +
                dir.Read(name + ".log");
        return false;
    }
};

class RealProxies : public testing::Test {
protected:
    static void SetUpTestSuite() { s_parts = new Parts; }
    static void TearDownTestSuite() {
        delete s_parts;
        s_parts = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(s_parts->error.empty()) << s_parts->error;
        h.settings.ProxyJudge = s_parts->JudgeUrl();
        h.settings.TestAnon = 1;
        h.settings.TestGateway = 1;
        h.settings.Timeout = 5;
        h.context.TestPageHost = "127.0.0.1:" + std::to_string(s_parts->pagePort);
        h.context.TestPageMarker = "Searchy";
        h.context.PrepareJudge();
        ASSERT_EQ(h.context.DetectOwnAddress(), 0) << "the judge gave no address";
    }

    static Parts* s_parts;
    WorkerHarness h;
};

Parts* RealProxies::s_parts = nullptr;

} // namespace

TEST_F(RealProxies, JudgeSeesThePcDirectly) {
    EXPECT_EQ(h.context.OwnAddress, "127.0.0.1");
}

TEST_F(RealProxies, EachTinyproxySettingGivesItsLevelAndGateway) {
    const int32_t elite = h.AddRecord(s_parts->level1.Address());
    const int32_t anonymous = h.AddRecord(s_parts->level2.Address());
    const int32_t transparent = h.AddRecord(s_parts->level3.Address());
    auto w1 = h.Worker(elite);
    auto w2 = h.Worker(anonymous);
    auto w3 = h.Worker(transparent);
    for (CInternetThread* worker : {w1.get(), w2.get(), w3.get()})
        worker->Start();
    for (CInternetThread* worker : {w1.get(), w2.get(), w3.get()})
        ASSERT_TRUE(WaitUntilEnded(*worker, 30s));

    EXPECT_EQ(h.Record(elite).m_anonymity, 1);
    EXPECT_EQ(h.Record(anonymous).m_anonymity, 2);
    EXPECT_EQ(h.Record(transparent).m_anonymity, 3);
    // The first listens on the address it leaves from; the other two are reached at 127.0.0.1.
    EXPECT_EQ(h.Record(elite).m_gateway, 0);
    EXPECT_EQ(h.Record(anonymous).m_gateway, 1);
    EXPECT_EQ(h.Record(transparent).m_gateway, 1);
    for (int32_t row : {elite, anonymous, transparent}) {
        EXPECT_EQ(h.Record(row).m_status, StatusGood);
        EXPECT_GE(h.Record(row).m_delay, PageDelay.count()) << row;
        EXPECT_LT(h.Record(row).m_delay, PageDelay.count() + 150) << row;
    }
    EXPECT_EQ(h.list.m_level1Count.Get(), 1);
    EXPECT_EQ(h.list.m_level2Count.Get(), 1);
    EXPECT_EQ(h.list.m_level3Count.Get(), 1);
}

TEST_F(RealProxies, TransparentProxyNamesThePcInItsOwnHeader) {
    CInternetThread worker(h.context);
    worker.m_proxyAddress = s_parts->level3.Address();
    worker.FetchViaProxy("GET " + h.context.JudgeUrl + " HTTP/1.0\r\nHost: " + h.context.JudgeHost + "\r\n\r\n");
    EXPECT_NE(worker.m_reply.find("HTTP_X_TINYPROXY=127.0.0.1\n"), std::string::npos) << worker.m_reply;
    EXPECT_NE(worker.m_reply.find("REMOTE_ADDR=127.0.0.5\n"), std::string::npos);
}

TEST_F(RealProxies, AnonymousProxyShowsItsViaHeader) {
    h.settings.TestDelay = 0;
    const int32_t row = h.AddRecord(s_parts->level2.Address());
    auto worker = h.RunWorker(row);
    EXPECT_EQ(h.Record(row).m_anonymity, 2);
    EXPECT_NE(worker->m_judgeValues[HttpVia].find("tinyproxy"), std::string::npos);
    EXPECT_EQ(h.Record(row).m_delay, Untested);
}

TEST_F(RealProxies, DeadPortIsBadAtOnce) {
    const int32_t row = h.AddRecord("127.0.0.1:" + std::to_string(ClosedPort()));
    const auto start = Clock::now();
    h.RunWorker(row);
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_EQ(h.Record(row).m_delay, TimedOut);
    EXPECT_EQ(h.Record(row).m_anonymity, TimedOut);
    EXPECT_EQ(h.Record(row).m_gateway, TimedOut);
    EXPECT_EQ(h.Record(row).m_status, StatusBad);
}

TEST_F(RealProxies, SilentProxyGivesAnEmptyReplyWithinTwoTimeouts) {
    LoopbackServer server;
    ProxyScript silent;
    silent.mode = ProxyScript::Silent;
    const uint16_t port = server.AddProxy(silent);
    server.Start();
    h.settings.Timeout = 1;
    const int32_t row = h.AddRecord("127.0.0.1:" + std::to_string(port));
    const auto start = Clock::now();
    auto worker = h.RunWorker(row);
    const auto elapsed = Clock::now() - start;
    EXPECT_GT(elapsed, 900ms);
    EXPECT_LT(elapsed, 2500ms);
    EXPECT_EQ(worker->m_reply, "");
    EXPECT_EQ(h.Record(row).m_status, StatusBad);
}

TEST_F(RealProxies, KillEndsAWorkerWaitingOnARealProxy) {
    // tinyproxy waits for a page that takes far longer than this test.
    LoopbackServer slow;
    const uint16_t page = slow.AddPage(60s, "Searchy");
    slow.Start();
    h.context.TestPageHost = "127.0.0.1:" + std::to_string(page);
    h.settings.Timeout = 30;
    const int32_t row = h.AddRecord(s_parts->level1.Address());
    auto worker = h.Worker(row);
    worker->Start();
    while (slow.Requests(page) == 0)
        std::this_thread::sleep_for(1ms);
    const auto start = Clock::now();
    worker->Kill(1, true);
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_FALSE(worker->IsAliveLocked());
    EXPECT_EQ(h.Record(row).m_delay, Untested);
}
