#include "firefox/FirefoxBridge.h"
#include "tests/support/ExtensionStub.h"

#include <arpa/inet.h>
#include <cstring>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

void SendOnce(uint16_t port, const std::string& bytes) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << std::strerror(errno);
    ASSERT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    close(fd);
}

// One native message from the bridge's output: its length, then its JSON text.
std::string ReadNativeMessage(int fd) {
    uint32_t length = 0;
    if (read(fd, &length, sizeof length) != sizeof length || length > 1024)
        return "<no message>";
    std::string json(length, '\0');
    size_t got = 0;
    while (got < length) {
        const ssize_t n = read(fd, json.data() + got, length - got);
        if (n <= 0)
            return "<cut message>";
        got += static_cast<size_t>(n);
    }
    return json;
}

} // namespace

TEST(FirefoxBridge, OnlyWellFormedControlMessagesPass) {
    struct Case {
        const char* text;
        bool passes;
    } cases[] = {
        {"1\r\n10.1.2.3\r\n8080\r\n", true},
        {"0\r\n--\r\n--\r\n", true},
        {"2\r\n--\r\n--\r\n", true},
        {"1\r\n10.1.2.3\r\n65535\r\n", true},
        {"3\r\n--\r\n--\r\n", false},
        {"01\r\n--\r\n--\r\n", false},
        {"1\r\n10.1.2.3\r\n8080\r\nX", false},
        {"1\r\n10.1.2.3\r\n8080", false},
        {"1\n10.1.2.3\n8080\n", false},
        {"1\r\n10.1.2.3\r\n8\r080\r\n", false},
        {"1\r\n10.1.2.300\r\n8080\r\n", false},
        {"1\r\nproxy.example\r\n8080\r\n", false},
        {"1\r\n--\r\n--\r\n", false},
        {"1\r\n10.1.2.3\r\n0\r\n", false},
        {"1\r\n10.1.2.3\r\n65536\r\n", false},
        {"1\r\n10.1.2.3\r\n+8080\r\n", false},
        {"0\r\n10.1.2.3\r\n8080\r\n", false},
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FirefoxBridge::ParseControlMessage(c.text).has_value(), c.passes) << c.text;
    const auto message = FirefoxBridge::ParseControlMessage("1\r\n10.1.2.3\r\n8080\r\n");
    EXPECT_EQ(FirefoxBridge::NativeMessage(*message).substr(4), R"({"mode":1,"host":"10.1.2.3","port":8080})");
}

// Mode 3: a kind and credentials after the proxy; the credentials reach the extension as JSON strings.
TEST(FirefoxBridge, ModeThreeCarriesAKindAndCredentials) {
    const std::string u255(255, 'u');
    const std::string head = R"({"mode":3,"host":"10.1.2.3","port":1080,"kind":)";
    struct Case {
        std::string text;
        std::optional<std::string> json; // nothing: refused
    } cases[] = {
        {"3\r\n10.1.2.3\r\n1080\r\nsocks5\r\nuser\r\np\"a\\s\ts\r\n",
         head + R"("socks5","user":"user","password":"p\"a\\s\ts"})"},
        {"3\r\n10.1.2.3\r\n1080\r\nhttp\r\n\xc3\xa9t\xc3\xa9\r\n" + u255 + "\r\n",
         head + "\"http\",\"user\":\"\xc3\xa9t\xc3\xa9\",\"password\":\"" + u255 + "\"}"},
        {"3\r\n10.1.2.3\r\n1080\r\nhttp\r\nu\r\n" + u255 + "u\r\n", std::nullopt},
        {"3\r\n10.1.2.3\r\n1080\r\nhttp\r\n\xff\r\np\r\n", std::nullopt},
        {std::string("3\r\n10.1.2.3\r\n1080\r\nhttp\r\nu\0v\r\np\r\n", 31), std::nullopt},
        {"3\r\n10.1.2.3\r\n1080\r\nsocks5h\r\nu\r\np\r\n", std::nullopt},
        {"3\r\n10.1.2.3\r\n1080\r\nsocks5\r\nu\r\np\r\nx\r\n", std::nullopt},
        {"1\r\n10.1.2.3\r\n1080\r\nsocks5\r\nu\r\np\r\n", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto message = FirefoxBridge::ParseControlMessage(c.text);
        ASSERT_EQ(message.has_value(), c.json.has_value());
        if (message) {
            EXPECT_EQ(FirefoxBridge::NativeMessage(*message).substr(4), *c.json);
        }
    }
}

// Over real loopback sockets: the start request once the bridge listens, then each connection's message
// in order, bad ones dropped; the bridge ends when its input closes.
TEST(FirefoxBridge, PassesMessagesUntilFirefoxLetsGo) {
    ExtensionStub orv(ExtensionStub::Reads);
    int input[2], output[2];
    ASSERT_EQ(pipe(input), 0);
    ASSERT_EQ(pipe(output), 0);
    FirefoxBridge bridge({0, orv.Port()});
    int result = -1;
    std::thread run([&] { result = bridge.Run(input[0], output[1]); });

    ASSERT_EQ(orv.WaitFor(1), std::vector<std::string>{"firefox_start"});
    ASSERT_NE(bridge.ListeningPort(), 0);
    for (const char* text : {"1\r\n10.1.2.3\r\n8080\r\n", "1\r\n10.1.2.3\r\n99999\r\n", "garbage", "",
                             "0\r\n--\r\n--\r\n", "2\r\n--\r\n--\r\n"})
        SendOnce(bridge.ListeningPort(), text);
    EXPECT_EQ(ReadNativeMessage(output[0]), R"({"mode":1,"host":"10.1.2.3","port":8080})");
    EXPECT_EQ(ReadNativeMessage(output[0]), R"({"mode":0,"host":"","port":0})");
    EXPECT_EQ(ReadNativeMessage(output[0]), R"({"mode":2,"host":"","port":0})");

    close(input[1]);
    run.join();
    EXPECT_EQ(result, 0);

    // A second bridge finds the port taken and says so at once.
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    listen(listener, 1);
    EXPECT_EQ(FirefoxBridge({ntohs(address.sin_port), orv.Port()}).Run(input[0], output[1]), 1);
    close(listener);
    close(input[0]);
    close(output[0]);
    close(output[1]);
}

// Idle connections to the control port are held side by side, so orv's message behind 20 of them passes
// at once; one at a time, they held it back 40 s.
TEST(FirefoxBridge, SilentConnectionsDoNotDelayOrvsMessage) {
    ExtensionStub orv(ExtensionStub::Reads);
    int input[2], output[2];
    ASSERT_EQ(pipe(input), 0);
    ASSERT_EQ(pipe(output), 0);
    FirefoxBridge bridge({0, orv.Port()});
    std::thread run([&] { bridge.Run(input[0], output[1]); });
    ASSERT_EQ(orv.WaitFor(1), std::vector<std::string>{"firefox_start"});
    {
        const auto crowd = OpenSilentConnections(bridge.ListeningPort(), 20);
        EXPECT_EQ(crowd.size(), 20u);
        SendOnce(bridge.ListeningPort(), "0\r\n--\r\n--\r\n");
        pollfd passed{output[0], POLLIN, 0};
        EXPECT_EQ(poll(&passed, 1, 3000), 1) << "not passed on within 3 s";
    }
    EXPECT_EQ(ReadNativeMessage(output[0]), R"({"mode":0,"host":"","port":0})");
    close(input[1]);
    run.join();
    for (int fd : {input[0], output[0], output[1]})
        close(fd);
}
