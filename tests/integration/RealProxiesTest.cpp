// The worker against real proxies and real judges: three tinyproxy instances that leave from
// 127.0.0.5, lighttpd on 127.0.0.3 running a CGI script that prints its environment, and orv's own
// judge server beside it.
#include "tests/support/LoopbackServer.h"
#include "tests/support/RealProxyParts.h"
#include "tests/support/TlsParts.h"
#include "tests/support/WorkerHarness.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto PageDelay = RealProxyParts::PageDelay;

class RealProxies : public testing::Test {
protected:
    static void SetUpTestSuite() { s_parts = new RealProxyParts(ORV_EXECUTABLE); }
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

    static RealProxyParts* s_parts;
    WorkerHarness h;
};

RealProxyParts* RealProxies::s_parts = nullptr;

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
    const int pagesBefore = s_parts->pages.Requests(s_parts->pagePort);
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
    // One page each, through the proxy: its delay and what a loaded machine adds, not a second.
    EXPECT_EQ(s_parts->pages.Requests(s_parts->pagePort) - pagesBefore, 3);
    for (int32_t row : {elite, anonymous, transparent}) {
        EXPECT_EQ(h.Record(row).m_status, StatusGood);
        EXPECT_GE(h.Record(row).m_delay, PageDelay.count()) << row;
        EXPECT_LT(h.Record(row).m_delay, PageDelay.count() + 1000) << row;
    }
    EXPECT_EQ(h.list.m_level1Count.Get(), 1);
    EXPECT_EQ(h.list.m_level2Count.Get(), 1);
    EXPECT_EQ(h.list.m_level3Count.Get(), 1);
}

// orv's judge server stands in for the CGI page: each tinyproxy setting gets the same level from both,
// with the strict test and without.
TEST_F(RealProxies, OrvJudgeServerGivesTheLevelsOfTheCgiPage) {
    h.settings.TestDelay = 0;
    const auto levels = [this](const std::string& judge) {
        h.settings.ProxyJudge = judge;
        h.context.PrepareJudge();
        EXPECT_EQ(h.context.DetectOwnAddress(), 0) << judge;
        std::vector<int32_t> found;
        for (const auto* proxy : {&s_parts->level1, &s_parts->level2, &s_parts->level3}) {
            const int32_t row = h.AddRecord(proxy->Address());
            h.RunWorker(row);
            found.push_back(h.Record(row).m_anonymity);
        }
        return found;
    };
    const struct {
        int32_t strict;
        std::vector<int32_t> levels;
    } cases[] = {{0, {1, 2, 3}}, {1, {2, 2, 3}}};
    for (const auto& c : cases) {
        h.settings.StrictTest = c.strict;
        EXPECT_EQ(levels(s_parts->JudgeUrl()), c.levels) << "the CGI page, strict " << c.strict;
        EXPECT_EQ(levels(s_parts->OrvJudgeUrl()), c.levels) << "orv's judge, strict " << c.strict;
    }
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
    ASSERT_TRUE(slow.WaitForRequests(page, 1));
    const auto start = Clock::now();
    worker->Kill(1, true);
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_FALSE(worker->IsAliveLocked());
    EXPECT_EQ(h.Record(row).m_delay, Untested);
}

// The HTTPS test through real tinyproxy instances to openssl TLS servers on loopback.
class RealHttps : public RealProxies {
protected:
    static void SetUpTestSuite() {
        RealProxies::SetUpTestSuite();
        s_tls = new TlsParts;
    }
    static void TearDownTestSuite() {
        delete s_tls;
        s_tls = nullptr;
        RealProxies::TearDownTestSuite();
    }

    void SetUp() override {
        RealProxies::SetUp();
        ASSERT_TRUE(s_tls->error.empty()) << s_tls->error;
        h.settings.TestAnon = 0;
        h.settings.TestGateway = 0;
        h.settings.TestSSL = 1;
        std::string error;
        ASSERT_TRUE(h.context.Tls.Prepare(s_tls->CaFile(), error)) << error;
    }

    static TlsParts* s_tls;
};

TlsParts* RealHttps::s_tls = nullptr;

TEST_F(RealHttps, TunnelRefusalSilenceAndABadCertificateEachGiveTheirValue) {
    LoopbackServer server;
    ProxyScript silent;
    silent.mode = ProxyScript::Silent;
    const uint16_t silentPort = server.AddProxy(silent);
    server.Start();
    struct Case {
        const char* what;
        std::string proxy;
        std::string page;
        bool delay;
        int32_t https;
    };
    const std::string dead = "127.0.0.1:" + std::to_string(ClosedPort());
    const Case cases[] = {
        {"a proxy that tunnels", s_parts->level2.Address(), s_tls->GoodPage(), true, 1},
        {"a proxy that leaves from elsewhere", s_parts->level1.Address(), s_tls->GoodPage(), false, 1},
        {"a proxy that refuses CONNECT", s_tls->RefusingProxy(), s_tls->GoodPage(), false, 0},
        {"a silent proxy", "127.0.0.1:" + std::to_string(silentPort), s_tls->GoodPage(), false, TimedOut},
        {"a certificate for another host", s_parts->level2.Address(), s_tls->WrongNamePage(), false, 0},
        {"a proxy that failed the delay test", dead, s_tls->GoodPage(), true, TimedOut},
    };
    h.settings.Timeout = 1;
    for (const Case& c : cases) {
        h.settings.TestDelay = c.delay;
        h.context.TlsPage = c.page;
        const int32_t row = h.AddRecord(c.proxy);
        h.RunWorker(row);
        EXPECT_EQ(h.Record(row).m_https, c.https) << c.what;
    }
}

TEST_F(RealHttps, KillEndsAHandshakeThatTheServerNeverAnswers) {
    // A server that takes the tunnelled connection and never says a word.
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
    h.settings.TestDelay = 0;
    h.settings.Timeout = 30;
    h.context.TlsPage = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    const int32_t row = h.AddRecord(s_parts->level2.Address());
    auto worker = h.Worker(row);
    worker->Start();
    // Once the client's first handshake bytes arrive, the worker waits for the server's answer.
    pollfd waiting{listener, POLLIN, 0};
    ASSERT_EQ(poll(&waiting, 1, 20'000), 1);
    const int tunnelled = accept(listener, nullptr, nullptr);
    pollfd hello{tunnelled, POLLIN, 0};
    ASSERT_EQ(poll(&hello, 1, 20'000), 1);
    const auto start = Clock::now();
    worker->Kill(1, true);
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_FALSE(worker->IsAliveLocked());
    EXPECT_EQ(h.Record(row).m_https, Untested);
    close(tunnelled);
    close(listener);
}
