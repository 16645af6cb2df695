#include "tests/support/LoopbackServer.h"
#include "tests/support/WorkerHarness.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

// Loopback servers for one worker test: the delay-test page behind a proxy, a judge on an address
// of its own, and proxies that reach it from 127.0.0.5.
class Worker : public testing::Test {
protected:
    void StartServers(ProxyScript script = {}, std::chrono::milliseconds pageDelay = 300ms) {
        m_judge = m_server.AddJudge(JudgeDialect::ColonBr, "", "127.0.0.3");
        script.pageHost = h.context.TestPageHost;
        script.pageMarker = h.context.TestPageMarker;
        script.pageDelay = pageDelay;
        script.outgoingAddress = "127.0.0.5";
        m_proxy = m_server.AddProxy(script);
        m_server.Start();
        h.settings.ProxyJudge = "http://127.0.0.3:" + std::to_string(m_judge) + "/AZenv/azenv.php";
        h.context.PrepareJudge();
        h.context.OwnAddress = "127.0.0.1";
    }
    std::string Proxy() const { return "127.0.0.1:" + std::to_string(m_proxy); }

    WorkerHarness h;
    LoopbackServer m_server;
    uint16_t m_judge = 0;
    uint16_t m_proxy = 0;
};

// Says 23:59:59.900 first and 00:00:00.300 after.
class MidnightClock : public platform::Clock {
public:
    int32_t LocalTimeOfDayMs() override { return m_calls++ == 0 ? 86'399'900 : 300; }
    std::string FormatLocalTime(const char*) override { return {}; }

private:
    int m_calls = 0;
};

} // namespace

TEST_F(Worker, DelayOnlyMeasuresThePageAndMarksTheRecordGood) {
    StartServers();
    const int32_t row = h.AddRecord(Proxy());
    h.RunWorker(row);
    const ProxyItem& item = h.Record(row);
    // One fetch of the page, measured from the request to its arrival: never less than the page's
    // delay, and under the timeout whatever a loaded machine adds.
    EXPECT_EQ(m_server.Requests(m_proxy), 1);
    EXPECT_GE(item.m_delay, 300);
    EXPECT_LT(item.m_delay, 1000);
    EXPECT_EQ(item.m_anonymity, Untested);
    EXPECT_EQ(item.m_status, StatusGood);
    EXPECT_EQ(m_server.Requests(m_judge), 0);
    ASSERT_EQ(h.view.Redrawn().size(), 1u);
    EXPECT_EQ(h.view.Redrawn()[0], std::make_pair(row, row));
}

TEST_F(Worker, PageWithoutTheMarkerIsATimeout) {
    StartServers();
    h.context.TestPageMarker = "NotThere";
    const int32_t row = h.AddRecord(Proxy());
    h.RunWorker(row);
    EXPECT_EQ(h.Record(row).m_delay, TimedOut);
    EXPECT_EQ(h.Record(row).m_status, StatusBad);
}

TEST_F(Worker, FailedDelayTestSkipsTheJudge) {
    StartServers();
    h.settings.TestAnon = 1;
    h.settings.TestGateway = 1;
    const int32_t row = h.AddRecord("127.0.0.1:" + std::to_string(ClosedPort()));
    h.RunWorker(row);
    const ProxyItem& item = h.Record(row);
    EXPECT_EQ(item.m_delay, TimedOut);
    EXPECT_EQ(item.m_anonymity, TimedOut);
    EXPECT_EQ(item.m_gateway, TimedOut);
    EXPECT_EQ(item.m_status, StatusBad);
    EXPECT_EQ(m_server.Requests(m_judge), 0);
}

TEST_F(Worker, DelayAnonymityAndGatewayOfAnAnonymousProxy) {
    ProxyScript via;
    via.setHeaders = {{"Via", "1.1 cache"}};
    StartServers(via, 100ms);
    h.settings.TestAnon = 1;
    h.settings.TestGateway = 1;
    const int32_t row = h.AddRecord(Proxy());
    h.RunWorker(row);
    const ProxyItem& item = h.Record(row);
    EXPECT_GE(item.m_delay, 100);
    EXPECT_EQ(item.m_anonymity, 2);
    EXPECT_EQ(item.m_gateway, 1); // left from 127.0.0.5, reached at 127.0.0.1
    EXPECT_EQ(item.m_status, StatusGood);
    EXPECT_EQ(h.list.m_level2Count.Get(), 1);
}

TEST_F(Worker, AnonymityOnlyAsksTheJudgeAndTheStatusFollowsTheLevel) {
    StartServers();
    h.settings.TestDelay = 0;
    h.settings.TestAnon = 1;
    const int32_t elite = h.AddRecord(Proxy());
    const int32_t dead = h.AddRecord("127.0.0.1:" + std::to_string(ClosedPort()));
    h.RunWorker(elite);
    h.RunWorker(dead);
    EXPECT_EQ(h.Record(elite).m_anonymity, 1);
    EXPECT_EQ(h.Record(elite).m_delay, Untested);
    EXPECT_EQ(h.Record(elite).m_status, StatusGood);
    EXPECT_EQ(h.Record(dead).m_anonymity, TimedOut);
    EXPECT_EQ(h.Record(dead).m_status, StatusBad);
    EXPECT_EQ(m_server.Requests(m_judge), 1);
}

TEST_F(Worker, ActiveRecordKeepsItsStatusAndReadyBecomesGoodOrBad) {
    StartServers({}, 0ms);
    const int32_t active = h.AddRecord("127.0.0.1:" + std::to_string(ClosedPort()));
    const int32_t ready = h.AddRecord(Proxy());
    h.Record(active).m_status = StatusActive;
    h.Record(ready).m_status = StatusReady;
    h.RunWorker(active);
    h.RunWorker(ready);
    EXPECT_EQ(h.Record(active).m_status, StatusActive);
    EXPECT_EQ(h.Record(active).m_delay, TimedOut);
    EXPECT_EQ(h.Record(ready).m_status, StatusGood);
}

TEST_F(Worker, DelayAcrossMidnightWraps) {
    StartServers({}, 0ms);
    MidnightClock clock;
    TestContext context(h.settings, h.list, h.view, clock);
    context.TestPageHost = h.context.TestPageHost;
    context.TestPageMarker = h.context.TestPageMarker;
    CInternetThread worker(context);
    worker.m_proxyAddress = Proxy();
    EXPECT_EQ(worker.MeasureDelay(), 400);
}

TEST_F(Worker, LiveWorkerCountFallsOnlyWhenTheWorkerIsDeleted) {
    StartServers({}, 0ms);
    const int32_t row = h.AddRecord(Proxy());
    auto first = h.Worker(row);
    auto second = h.Worker(row);
    EXPECT_EQ(h.context.LiveWorkerCount, 2);
    first->Start();
    ASSERT_TRUE(WaitUntilEnded(*first, 10s));
    EXPECT_EQ(h.context.LiveWorkerCount, 2);
    first.reset();
    EXPECT_EQ(h.context.LiveWorkerCount, 1);
}

TEST_F(Worker, KilledWorkerStopsAtOnceAndWritesNothing) {
    ProxyScript silent;
    silent.mode = ProxyScript::Silent;
    StartServers(silent);
    h.settings.Timeout = 30;
    h.settings.TestAnon = 1;
    const int32_t row = h.AddRecord(Proxy());
    auto worker = h.Worker(row);
    worker->Start();
    ASSERT_TRUE(m_server.WaitForRequests(m_proxy, 1));
    const auto start = std::chrono::steady_clock::now();
    worker->Kill(1, true);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_FALSE(worker->IsAliveLocked());
    EXPECT_EQ(worker->GetExitCode(), 1);
    const ProxyItem& item = h.Record(row);
    EXPECT_EQ(item.m_delay, Untested);
    EXPECT_EQ(item.m_anonymity, Untested);
    EXPECT_EQ(item.m_status, StatusUnknown);
    EXPECT_TRUE(h.view.Redrawn().empty());
}

TEST_F(Worker, DeletingARunningWorkerEndsItsExchange) {
    ProxyScript silent;
    silent.mode = ProxyScript::Silent;
    StartServers(silent);
    h.settings.Timeout = 30;
    const int32_t row = h.AddRecord(Proxy());
    auto worker = h.Worker(row);
    worker->Start();
    ASSERT_TRUE(m_server.WaitForRequests(m_proxy, 1));
    const auto start = std::chrono::steady_clock::now();
    worker.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(h.context.LiveWorkerCount, 0);
    EXPECT_EQ(h.Record(row).m_delay, Untested);
}

TEST_F(Worker, ManyWorkersAtOnceEachFillTheirOwnRecord) {
    StartServers({}, 50ms);
    h.settings.TestAnon = 1;
    // The list is complete before the first worker starts: it must not change during a run.
    for (int i = 0; i < 24; ++i)
        h.AddRecord(i % 3 == 0 ? "127.0.0.1:" + std::to_string(ClosedPort()) : Proxy());
    std::vector<std::unique_ptr<CInternetThread>> workers;
    for (int i = 0; i < 24; ++i) {
        workers.push_back(h.Worker(i));
        workers.back()->Start();
    }
    for (auto& worker : workers)
        ASSERT_TRUE(WaitUntilEnded(*worker, 20s));
    for (int i = 0; i < 24; ++i) {
        const ProxyItem& item = h.Record(i);
        EXPECT_EQ(item.m_status, i % 3 == 0 ? StatusBad : StatusGood) << i;
        EXPECT_EQ(item.m_anonymity, i % 3 == 0 ? TimedOut : 1) << i;
    }
    EXPECT_EQ(h.list.m_level1Count.Get(), 16);
    EXPECT_EQ(h.view.Redrawn().size(), 24u);
}

// A SOCKS5 proxy is asked for the page and the judge in origin form through its tunnel; detection
// finds it after HTTP got no answer of a web server, and keeps it.
TEST_F(Worker, SocksFiveIsTestedThroughItsTunnelAndDetected) {
    ProxyScript socks;
    socks.socks5 = true;
    StartServers(socks, 100ms);
    h.settings.TestAnon = 1;
    for (const ProxyKind kind : {ProxyKind::Socks5, ProxyKind::Detect}) {
        const int32_t row = h.AddRecord(Proxy());
        h.Record(row).SetKind(kind);
        h.RunWorker(row);
        const ProxyItem& item = h.Record(row);
        EXPECT_EQ(item.Kind(), ProxyKind::Socks5);
        EXPECT_GE(item.m_delay, 100);
        EXPECT_EQ(item.m_anonymity, 1);
        EXPECT_EQ(item.m_status, StatusGood);
        EXPECT_EQ(m_server.LastRequest(m_judge).rfind("GET /AZenv/azenv.php HTTP/1.0\r\n", 0), 0u)
            << m_server.LastRequest(m_judge);
    }
}
