// orv --judge-server as a user runs it: the real program on a loopback port, its options and its
// answers to requests good and bad.
#include "tests/support/ChildProcess.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// What the server sent for request until it closed, and when; nothing closed within 5 s fails the test.
std::pair<std::string, Clock::duration> Exchange(uint16_t port, const std::string& request) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    const auto start = Clock::now();
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string text;
    char buffer[4096];
    ssize_t n = 1;
    for (pollfd entry{fd, POLLIN, 0}; n > 0 && poll(&entry, 1, 5000) == 1;)
        if ((n = recv(fd, buffer, sizeof buffer, 0)) > 0)
            text.append(buffer, static_cast<size_t>(n));
    EXPECT_EQ(n, 0) << "not closed: " << text.substr(0, 100);
    close(fd);
    return {text, Clock::now() - start};
}

class JudgeServerProgram : public testing::Test {
protected:
    void SetUp() override {
        // Slow clients are dropped after a second, not the usual ten.
        ScopedEnv timeout("ORV_JUDGE_TIMEOUT_MS", "1000");
        ASSERT_TRUE(server.Start({ORV_EXECUTABLE, "--judge-server", std::to_string(port)}, dir.File("judge.log")));
        ASSERT_TRUE(WaitForListener("127.0.0.1", port, 5s)) << dir.Read("judge.log");
    }

    TempDir dir;
    ChildProcess server;
    const uint16_t port = FreePort("127.0.0.1");
};

} // namespace

// Each request is answered at once and closed; a slow one is closed at the timeout, without a word.
TEST_F(JudgeServerProgram, AnswersEachRequestAndDropsSlowOnes) {
    const std::string big(15 * 1024, 'b');
    const std::string ok = "HTTP/1.1 200 OK\r\n";
    const std::string bad = "HTTP/1.1 400 Bad Request\r\n";
    const struct {
        const char* what;
        std::string request;
        std::string start;
        std::string holds;
        bool slow;
    } cases[] = {
        {"a proxied request", "GET http://j/ HTTP/1.0\r\nVia: 1.1 p\r\n\r\n", ok, "\nREMOTE_ADDR=127.0.0.1\n", false},
        {"headers of a transparent proxy", "GET / HTTP/1.1\r\nClient-IP: 10.1.1.1\r\nForwarded: for=10.2.2.2\r\n\r\n",
         ok, "\nHTTP_CLIENT_IP=10.1.1.1\nHTTP_FORWARDED=for=10.2.2.2\n", false},
        {"a head near the cap", "GET / HTTP/1.1\r\nX-Big: " + big + "\r\n\r\n", ok, "\nHTTP_X_BIG=" + big + "\n",
         false},
        {"an oversized head", "GET / HTTP/1.1\r\nX-Big: " + big + big + "\r\n\r\n", bad, "", false},
        {"an oversized head still coming", "GET / HTTP/1.1\r\nX-Big: " + big + big, bad, "", false},
        {"a malformed request line", "GET /\r\n\r\n", bad, "", false},
        {"a malformed header", "GET / HTTP/1.1\r\nHost j\r\n\r\n", bad, "", false},
        {"a silent client", "", "", "", true},
        {"a head that never ends", "GET / HTTP/1.1\r\nHost: j\r\n", "", "", true},
    };
    for (const auto& c : cases) {
        const auto [text, after] = Exchange(port, c.request);
        EXPECT_TRUE(c.slow ? text.empty() : text.starts_with(c.start) && text.size() > c.start.size()) << c.what;
        EXPECT_NE(text.find(c.holds), std::string::npos) << c.what << ": " << text;
        if (c.slow) {
            EXPECT_GT(after, 900ms) << c.what;
            EXPECT_LT(after, 4s) << c.what;
        } else {
            EXPECT_LT(after, 700ms) << c.what; // not at the timeout
        }
    }
}

TEST_F(JudgeServerProgram, TermStopsItWithStatusZeroAndBadOptionsSayWhy) {
    const struct {
        std::vector<std::string> args;
        int status;
        std::string says;
    } cases[] = {
        {{}, 2, "orv: --judge-server needs one [ADDR:]PORT\n"},
        {{"example.org:80"}, 2, "orv: --judge-server: 'example.org' is not an IPv4 address"},
        {{"[::1]:70000"}, 2, "orv: --judge-server: '70000' is not a port (0 to 65535)\n"},
        {{std::to_string(port)},
         1,
         "orv: --judge-server: cannot listen on 127.0.0.1:" + std::to_string(port) + ": Address already in use\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv = {ORV_EXECUTABLE, "--judge-server"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const ProgramResult result = RunProgram(argv);
        EXPECT_EQ(result.m_exitCode, c.status) << result.m_errors;
        EXPECT_TRUE(result.m_errors.starts_with(c.says)) << result.m_errors;
    }
    ASSERT_TRUE(server.WaitCatches(SIGTERM, 5s));
    server.Send(SIGTERM);
    EXPECT_EQ(server.WaitExit(5s), 0);
    EXPECT_EQ(dir.Read("judge.log"), "Judge server listening on 127.0.0.1:" + std::to_string(port) + "\n");
}
