#include "platform/PortNumber.h"
#include "tester/HttpGetDirect.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/WorkerHarness.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string Address(uint16_t port) {
    return "127.0.0.1:" + std::to_string(port);
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A worker that fetches through the given address, outside any thread.
struct Fetcher {
    WorkerHarness harness;
    CInternetThread worker{harness.context};

    explicit Fetcher(const std::string& address, int timeout = 1) {
        worker.m_proxyAddress = address;
        harness.settings.Timeout = timeout;
    }
    std::string Fetch(const std::string& request = "GET http://x/ HTTP/1.0\r\n\r\n") {
        worker.FetchViaProxy(request);
        return worker.m_reply;
    }
};

} // namespace

TEST(FetchViaProxy, SendsTheRequestOnceAndCollectsTheWholeReply) {
    LoopbackServer server;
    const uint16_t page = server.AddPage(0ms, "Searchy");
    server.Start();
    Fetcher fetcher(Address(page));
    const std::string request = "GET http://www.search.test/ HTTP/1.0\r\nAccept: */*\r\nHost: www.search.test\r\n\r\n";
    const std::string reply = fetcher.Fetch(request);
    EXPECT_EQ(reply.rfind("HTTP/1.0 200 OK\r\n", 0), 0u);
    EXPECT_NE(reply.find("<title>Searchy</title>"), std::string::npos);
    EXPECT_EQ(server.LastRequest(page), request);
    EXPECT_EQ(server.Requests(page), 1);
}

TEST(FetchViaProxy, PortTextIsItsLeadingDigitsModulo65536) {
    EXPECT_EQ(FoldPort("8080"), 8080);
    EXPECT_EQ(FoldPort("99999"), 99999 - 65536);
    EXPECT_EQ(FoldPort("80ab"), 80);
    EXPECT_EQ(FoldPort("x80"), 0);
    EXPECT_EQ(FoldPort(""), 0);
}

TEST(FetchViaProxy, AddressWithoutPortConnectsToPort80) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(80);
    inet_pton(AF_INET, "127.0.0.87", &where.sin_addr);
    int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&where), sizeof where), 0) << "cannot bind 127.0.0.87:80";
    ASSERT_EQ(listen(listener, 4), 0);
    std::thread answer([&] {
        const int client = accept(listener, nullptr, nullptr);
        char buffer[512];
        [[maybe_unused]] ssize_t n = recv(client, buffer, sizeof buffer, 0);
        n = send(client, "port 80 here", 12, MSG_NOSIGNAL);
        close(client);
    });
    Fetcher fetcher("127.0.0.87");
    EXPECT_EQ(fetcher.Fetch(), "port 80 here");
    answer.join();
    close(listener);
}

TEST(FetchViaProxy, MalformedAddressesMakeNoConnection) {
    LoopbackServer server;
    const uint16_t page = server.AddPage(0ms, "Searchy");
    server.Start();
    const std::string port = std::to_string(page);
    // Six characters of port text, whose value would reach the server.
    EXPECT_EQ(Fetcher("127.0.0.1:" + std::string(6 - port.size(), '0') + port).Fetch(), "");
    EXPECT_EQ(Fetcher(std::string(256, '1') + ":" + port).Fetch(), "");
    EXPECT_EQ(Fetcher("127.0.0.1:").Fetch(), "");        // port 0
    EXPECT_EQ(Fetcher("localhost:" + port).Fetch(), ""); // names are not resolved
    EXPECT_EQ(server.Requests(page), 0);
}

TEST(FetchViaProxy, RefusedConnectionFailsAtOnce) {
    Fetcher fetcher(Address(ClosedPort()), 5);
    const auto start = Clock::now();
    EXPECT_EQ(fetcher.Fetch(), "");
    EXPECT_LT(SecondsSince(start), 1.0);
}

TEST(FetchViaProxy, SilentProxyGivesAnEmptyReplyAfterTheTimeout) {
    LoopbackServer server;
    ProxyScript silent;
    silent.mode = ProxyScript::Silent;
    const uint16_t proxy = server.AddProxy(silent);
    server.Start();
    Fetcher fetcher(Address(proxy));
    const auto start = Clock::now();
    EXPECT_EQ(fetcher.Fetch(), "");
    const double elapsed = SecondsSince(start);
    EXPECT_GT(elapsed, 0.9);
    EXPECT_LT(elapsed, 2.5); // one limit to connect (here at once), one for the first data
}

TEST(FetchViaProxy, DataFollowedBySilenceIsKeptAfterTheTimeout) {
    LoopbackServer server;
    ProxyScript slow;
    slow.mode = ProxyScript::Drip;
    slow.dripInterval = 10s;
    const uint16_t proxy = server.AddProxy(slow);
    server.Start();
    Fetcher fetcher(Address(proxy));
    const auto start = Clock::now();
    EXPECT_EQ(fetcher.Fetch(), "H");
    EXPECT_LT(SecondsSince(start), 2.5);
}

TEST(FetchViaProxy, DrippingProxyIsCutOffAfterFourTimeouts) {
    LoopbackServer server;
    ProxyScript drip;
    drip.mode = ProxyScript::Drip;
    drip.dripInterval = 200ms;
    const uint16_t proxy = server.AddProxy(drip);
    server.Start();
    Fetcher fetcher(Address(proxy));
    const auto start = Clock::now();
    const std::string reply = fetcher.Fetch();
    const double elapsed = SecondsSince(start);
    EXPECT_GT(elapsed, 3.8);
    EXPECT_LT(elapsed, 5.0);
    EXPECT_EQ(reply.rfind("HTTP/1.0", 0), 0u);
    EXPECT_GE(reply.size(), 15u);
}

TEST(FetchViaProxy, EndlessReplyIsCappedAtOneMebibyte) {
    LoopbackServer server;
    ProxyScript endless;
    endless.mode = ProxyScript::Endless;
    const uint16_t proxy = server.AddProxy(endless);
    server.Start();
    Fetcher fetcher(Address(proxy), 5);
    const auto start = Clock::now();
    EXPECT_EQ(fetcher.Fetch().size(), 1u << 20);
    EXPECT_LT(SecondsSince(start), 3.0);
}

TEST(FetchViaProxy, ResetMidReplyKeepsWhatArrived) {
    LoopbackServer server;
    ProxyScript reset;
    reset.mode = ProxyScript::ResetMidReply;
    const uint16_t proxy = server.AddProxy(reset);
    server.Start();
    Fetcher fetcher(Address(proxy));
    EXPECT_EQ(fetcher.Fetch(), "HTTP/1.0 200 OK\r\n\r\nREMOTE_ADDR = 10.1.2.3\nHTTP_VIA = 1.1 ha");
}

TEST(FetchViaProxy, ChunkIsAppendedUpToItsFirstZeroByte) {
    LoopbackServer server;
    ProxyScript garbage;
    garbage.mode = ProxyScript::Garbage;
    const uint16_t proxy = server.AddProxy(garbage);
    server.Start();
    Fetcher fetcher(Address(proxy));
    EXPECT_EQ(fetcher.Fetch(), "HTTP/1.0 200 OK\r\n\r\nREMOTE_ADDR = 10.9.8.7\n");
}

TEST(HttpGetDirect, SplitsTheUrlIntoHostPortAndPath) {
    const HttpUrl full = SplitHttpUrl("http://Judge.Example:8080/AZenv/azenv.php");
    EXPECT_EQ(full.host, "Judge.Example:8080");
    EXPECT_EQ(full.hostName, "Judge.Example");
    EXPECT_EQ(full.port, "8080");
    EXPECT_EQ(full.path, "/AZenv/azenv.php");
    const HttpUrl bare = SplitHttpUrl("http://judge.example");
    EXPECT_EQ(bare.host, "judge.example");
    EXPECT_EQ(bare.port, "80");
    EXPECT_EQ(bare.path, "/");
    EXPECT_EQ(SplitHttpUrl("http:/").host, "");
}

TEST(HttpGetDirect, FetchesWithThePortOfTheUrlAndSendsItInTheHostHeader) {
    LoopbackServer server;
    const uint16_t judge = server.AddJudge(JudgeDialect::Equals);
    server.Start();
    const std::string host = "127.0.0.1:" + std::to_string(judge);
    const std::string reply = HttpGetDirect("http://" + host + "/AZenv/azenv.php", 2);
    EXPECT_NE(reply.find("REMOTE_ADDR = 127.0.0.1\n"), std::string::npos);
    EXPECT_EQ(server.LastRequest(judge), "GET /AZenv/azenv.php HTTP/1.0\r\nAccept: */*\r\nHost: " + host + "\r\n\r\n");
}

TEST(HttpGetDirect, UrlWithoutPathRequestsTheRootAndResolvesNames) {
    LoopbackServer server;
    const uint16_t judge = server.AddJudge(JudgeDialect::Equals);
    server.Start();
    const std::string host = "localhost:" + std::to_string(judge);
    EXPECT_NE(HttpGetDirect("http://" + host, 2).find("REMOTE_ADDR"), std::string::npos);
    EXPECT_EQ(server.LastRequest(judge), "GET / HTTP/1.0\r\nAccept: */*\r\nHost: " + host + "\r\n\r\n");
}

TEST(HttpGetDirect, FailuresGiveTheEmptyText) {
    LoopbackServer server;
    ProxyScript silent;
    silent.mode = ProxyScript::Silent;
    const uint16_t quiet = server.AddProxy(silent);
    server.Start();
    EXPECT_EQ(HttpGetDirect("", 1), "");
    EXPECT_EQ(HttpGetDirect("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/", 1), "");
    EXPECT_EQ(HttpGetDirect("http://127.0.0.1:80x/", 1), "");
    EXPECT_EQ(HttpGetDirect("http://no-such-host.invalid/", 1), "");
    const auto start = Clock::now();
    EXPECT_EQ(HttpGetDirect("http://127.0.0.1:" + std::to_string(quiet) + "/", 1), "");
    EXPECT_LT(SecondsSince(start), 2.5); // a silent judge no longer holds the caller for ever
}
