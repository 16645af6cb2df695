// orv --judge-server as a user runs it: the real program on a loopback port, its options and its
// answers to requests good and bad.
#include "tests/support/ChildProcess.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// What the server sent until it closed, and when it closed; closed false when limit passed first.
struct Answer {
    std::string text;
    bool closed = false;
    Clock::duration after{};
};

Answer Exchange(uint16_t port, const std::string& request, std::chrono::milliseconds limit = 5s) {
    Answer answer;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const auto start = Clock::now();
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    for (char buffer[4096];;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(start + limit - Clock::now());
        pollfd entry{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&entry, 1, static_cast<int>(left.count())) != 1)
            break;
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            answer.closed = true;
            break;
        }
        answer.text.append(buffer, static_cast<size_t>(n));
    }
    answer.after = Clock::now() - start;
    close(fd);
    return answer;
}

class JudgeServerProgram : public testing::Test {
protected:
    void SetUp() override {
        // Slow clients are dropped after a fraction of a second, not the usual ten.
        ScopedEnv timeout("ORV_JUDGE_TIMEOUT_MS", "1000");
        port = FreePort("127.0.0.1");
        ASSERT_TRUE(server.Start({ORV_EXECUTABLE, "--judge-server", std::to_string(port)}, dir.File("judge.log")));
        ASSERT_TRUE(WaitForListener("127.0.0.1", port, 5s)) << dir.Read("judge.log");
    }

    TempDir dir;
    ChildProcess server;
    uint16_t port = 0;
};

} // namespace

TEST_F(JudgeServerProgram, AnswersEachRequestAndCloses) {
    const std::string big(20 * 1024, 'a');
    const std::string nearCap(15 * 1024, 'b');
    const struct {
        const char* what;
        std::string request;
        const char* start;
        std::string holds;
    } cases[] = {
        {"a proxied request", "GET http://judge/ HTTP/1.0\r\nVia: 1.1 p\r\nX-Forwarded-For: 10.9.8.7\r\n\r\n",
         "HTTP/1.1 200 OK\r\n", "\nREMOTE_ADDR=127.0.0.1\n"},
        {"its headers", "GET / HTTP/1.1\r\nClient-IP: 10.1.1.1\r\nForwarded: for=10.2.2.2\r\n\r\n",
         "HTTP/1.1 200 OK\r\n", "\nHTTP_CLIENT_IP=10.1.1.1\nHTTP_FORWARDED=for=10.2.2.2\n"},
        {"a head near the cap", "GET / HTTP/1.1\r\nX-Big: " + nearCap + "\r\n\r\n", "HTTP/1.1 200 OK\r\n",
         "\nHTTP_X_BIG=" + nearCap + "\n"},
        {"an oversized head", "GET / HTTP/1.1\r\nX-Big: " + big + "\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n", ""},
        {"an oversized head still coming", "GET / HTTP/1.1\r\nX-Big: " + big, "HTTP/1.1 400 Bad Request\r\n", ""},
        {"a malformed request line", "GET /\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n", ""},
        {"a malformed header", "GET / HTTP/1.1\r\nHost j\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n", ""},
    };
    for (const auto& c : cases) {
        const Answer answer = Exchange(port, c.request);
        EXPECT_TRUE(answer.text.starts_with(c.start)) << c.what << ": " << answer.text.substr(0, 200);
        EXPECT_NE(answer.text.find(c.holds), std::string::npos) << c.what << ": " << answer.text;
        EXPECT_TRUE(answer.closed) << c.what;
        EXPECT_LT(answer.after, 700ms) << c.what; // answered at once, not at the timeout
    }
}

TEST_F(JudgeServerProgram, SlowClientIsDroppedAtTheTimeoutWhileOthersAreServed) {
    const struct {
        const char* what;
        const char* request;
    } cases[] = {{"silent", ""}, {"a head that never ends", "GET / HTTP/1.1\r\nHost: j\r\n"}};
    for (const auto& c : cases) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        send(fd, c.request, std::strlen(c.request), MSG_NOSIGNAL);
        const auto start = Clock::now();
        // Served while the slow one is held.
        EXPECT_TRUE(Exchange(port, "GET / HTTP/1.0\r\n\r\n").text.starts_with("HTTP/1.1 200 OK\r\n")) << c.what;
        pollfd entry{fd, POLLIN, 0};
        ASSERT_EQ(poll(&entry, 1, 5000), 1) << c.what;
        char byte;
        EXPECT_EQ(recv(fd, &byte, 1, 0), 0) << c.what << ": dropped without a word";
        const auto after = Clock::now() - start;
        EXPECT_GT(after, 800ms) << c.what;
        EXPECT_LT(after, 4s) << c.what;
        close(fd);
    }
}

TEST_F(JudgeServerProgram, TermStopsItWithStatusZero) {
    ASSERT_TRUE(server.WaitCatches(SIGTERM, 5s));
    server.Send(SIGTERM);
    EXPECT_EQ(server.WaitExit(5s), 0);
    EXPECT_EQ(dir.Read("judge.log"), "Judge server listening on 127.0.0.1:" + std::to_string(port) + "\n");
}

TEST_F(JudgeServerProgram, BadArgumentsAndABusyPortSayWhy) {
    const struct {
        std::vector<std::string> args;
        int status;
        std::string says;
    } cases[] = {
        {{}, 2, "orv: --judge-server needs one [ADDR:]PORT\n"},
        {{"8080", "8081"}, 2, "orv: --judge-server needs one [ADDR:]PORT\n"},
        {{"example.org:80"}, 2, "orv: --judge-server: 'example.org' is not an IPv4 address"},
        {{"127.0.0.1:70000"}, 2, "orv: --judge-server: '70000' is not a port (0 to 65535)\n"},
        {{"127.0.0.1:" + std::to_string(port)},
         1,
         "orv: --judge-server: cannot listen on 127.0.0.1:" + std::to_string(port) + ": Address already in use\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv = {ORV_EXECUTABLE, "--judge-server"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const ProgramResult result = RunProgram(argv);
        EXPECT_EQ(result.m_exitCode, c.status) << result.m_errors;
        EXPECT_TRUE(result.m_errors.starts_with(c.says)) << result.m_errors;
        EXPECT_EQ(result.m_output, "");
    }
}
