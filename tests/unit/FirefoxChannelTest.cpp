#include "switching/FirefoxChannel.h"
#include "tests/support/ExtensionStub.h"
#include "tests/support/LoopbackServer.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <set>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// For outcomes that take milliseconds: generous, so that a loaded machine cannot fail them.
constexpr auto Patience = 10s;
const std::string Direct = "0\r\n--\r\n--\r\n";
const std::string Closing = "2\r\n--\r\n--\r\n";
const std::string Proxy = "1\r\n10.1.2.3\r\n8080\r\n";

int Connect(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

enum class Peer { Sends, SendsAndHalfCloses, Resets };

// A connection to the program's listener. Unless it resets, it waits for the listener to close it and
// returns what the listener wrote, or nothing when it was not closed in time.
std::optional<std::string> Visit(uint16_t port, const std::string& bytes, Peer peer = Peer::Sends) {
    const int fd = Connect(port);
    if (fd < 0)
        return std::nullopt;
    if (peer == Peer::Resets) {
        const linger abort{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        close(fd);
        return "";
    }
    if (!bytes.empty()) {
        [[maybe_unused]] const ssize_t sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    if (peer == Peer::SendsAndHalfCloses)
        shutdown(fd, SHUT_WR);
    std::string written;
    char buffer[256];
    pollfd entry{fd, POLLIN, 0};
    ssize_t n = -1;
    while (poll(&entry, 1, static_cast<int>(std::chrono::milliseconds(Patience).count())) > 0 &&
           (n = recv(fd, buffer, sizeof buffer, 0)) > 0)
        written.append(buffer, static_cast<size_t>(n));
    close(fd);
    return n == 0 ? std::optional(written) : std::nullopt;
}

bool StartRequest(uint16_t port) {
    return Visit(port, "firefox_start") == "";
}

template <typename Condition> bool Eventually(Condition condition) {
    for (const auto end = Clock::now() + Patience; Clock::now() < end; std::this_thread::sleep_for(10ms))
        if (condition())
            return true;
    return condition();
}

} // namespace

// A kind or credentials make mode 3 with three lines more; direct and closing messages never carry them.
TEST(FirefoxChannel, MessagesAreThreeCrLfLinesWithDashesUnlessAProxyIsSent) {
    using platform::ProxyProtocol;
    const struct {
        int mode;
        const char* ip;
        const char* port;
        std::string expected;
        FirefoxChannel::Extras extras = {};
    } cases[] = {
        {1, "10.1.2.3", "8080", Proxy, {ProxyProtocol::Http, "", ""}},
        {1,
         "10.1.2.3",
         "1080",
         "3\r\n10.1.2.3\r\n1080\r\nsocks5\r\nus er\r\np:a@s\"s\r\n",
         {ProxyProtocol::Socks5, "us er", "p:a@s\"s"}},
        {1, "10.1.2.3", "1080", "3\r\n10.1.2.3\r\n1080\r\nsocks4\r\n\r\n\r\n", {ProxyProtocol::Socks4, "", ""}},
        {1, "10.1.2.3", "8080", "3\r\n10.1.2.3\r\n8080\r\nhttp\r\n\r\nsecret\r\n", {ProxyProtocol::Http, "", "secret"}},
        {2, "10.1.2.3", "8080", Closing, {ProxyProtocol::Socks5, "user", "secret"}},
        {1, "10.1.2.3", "8080", Proxy},
        {1, "255.255.255.255", "65535", "1\r\n255.255.255.255\r\n65535\r\n"},
        {1, "10.1.2.3", "", "1\r\n10.1.2.3\r\n--\r\n"},
        {0, "", "", Direct},
        {0, "10.1.2.3", "8080", Direct},
        {2, "10.1.2.3", "8080", Closing},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FirefoxChannel::ComposeMessage(c.mode, c.ip, c.port, c.extras), c.expected) << c.expected;
    EXPECT_EQ(Proxy.size(), 19u);
}

TEST(FirefoxChannel, PortsComeFromTheEnvironmentOrAreTheDefaults) {
    const char* name = "ORV_FIREFOX_PORTS";
    const char* old = std::getenv(name);
    const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    const struct {
        const char* value; // nullptr: unset
        uint16_t send;
        uint16_t listen;
        bool complains;
    } cases[] = {
        {nullptr, 8182, 8183, false}, {"", 8182, 8183, false},          {"9000,9001", 9000, 9001, false},
        {"65535,0", 65535, 0, false}, {"0,9001", 8182, 8183, true},     {"9000,65536", 8182, 8183, true},
        {"9000", 8182, 8183, true},   {" 9000,9001", 8182, 8183, true}, {"-1,9001", 8182, 8183, true},
    };
    for (const auto& c : cases) {
        if (c.value)
            setenv(name, c.value, 1);
        else
            unsetenv(name);
        testing::internal::CaptureStderr();
        const FirefoxChannel::Ports ports = FirefoxChannel::PortsFromEnvironment();
        const std::string complaint = testing::internal::GetCapturedStderr();
        const std::string label = c.value ? c.value : "(unset)";
        EXPECT_EQ(ports.send, c.send) << label;
        EXPECT_EQ(ports.listen, c.listen) << label;
        const bool oneLine = complaint.find(name) != std::string::npos && complaint.find('\n') == complaint.size() - 1;
        EXPECT_EQ(oneLine, c.complains) << label << ": " << complaint;
        EXPECT_EQ(complaint.empty(), !c.complains) << label;
    }
    if (saved)
        setenv(name, saved->c_str(), 1);
    else
        unsetenv(name);
}

TEST(FirefoxChannel, SettingOffSendsNothingButTheListenerStillAcceptsAndTheSettingIsReadLive) {
    ExtensionStub extension(ExtensionStub::Reads);
    RelaxedInt32 changeFFProxy = 0;
    FirefoxChannel channel(changeFFProxy, {extension.Port(), 0});
    ASSERT_TRUE(channel.StartListener());
    channel.NotifyFirefox("10.1.2.3", "8080");
    EXPECT_TRUE(StartRequest(channel.ListeningPort())); // accepted, answered with nothing, closed
    EXPECT_TRUE(channel.WaitForSenders(0ms));

    changeFFProxy = 1;
    EXPECT_TRUE(StartRequest(channel.ListeningPort()));
    ASSERT_TRUE(extension.WaitForMessages(1, Patience));
    EXPECT_EQ(extension.Messages(), std::vector<std::string>{Proxy});
}

// Each visit is followed by a good start request: that one is served after it, so its answer
// arriving proves the listener still runs, and anything the visit triggered arrived before it.
TEST(FirefoxChannel, OnlyAnExactStartRequestUpToItsFirstNulResendsAndNoConnectionStopsTheListener) {
    const struct {
        const char* name;
        std::string bytes;
        Peer peer;
        bool matches;
    } cases[] = {
        {"exact", "firefox_start", Peer::Sends, true},
        {"NUL and garbage after", std::string("firefox_start\0\x01garbage\r\n", 22), Peer::Sends, true},
        {"CR LF after", "firefox_start\r\n", Peer::Sends, false},
        {"cut short", "firefox_star", Peer::Sends, false},
        {"other case", "Firefox_start", Peer::Sends, false},
        {"empty connection", "", Peer::SendsAndHalfCloses, false},
        {"reset connection", "", Peer::Resets, false},
        {"silent peer, dropped after the receive limit", "", Peer::Sends, false},
    };
    ExtensionStub extension(ExtensionStub::Reads);
    RelaxedInt32 changeFFProxy = 1;
    FirefoxChannel channel(changeFFProxy, {extension.Port(), 0});
    ASSERT_TRUE(channel.StartListener());
    channel.NotifyFirefox("10.1.2.3", "8080");
    size_t expected = 1;
    for (const auto& c : cases) {
        EXPECT_TRUE(Visit(channel.ListeningPort(), c.bytes, c.peer).has_value()) << c.name;
        EXPECT_TRUE(StartRequest(channel.ListeningPort())) << c.name;
        expected += c.matches ? 2 : 1;
        EXPECT_TRUE(extension.WaitForMessages(expected, Patience)) << c.name;
        EXPECT_EQ(extension.Messages().size(), expected) << c.name;
    }
    EXPECT_EQ(extension.Messages(), std::vector<std::string>(expected, Proxy));
}

TEST(FirefoxChannel, AfterClosingEveryMessageIsModeTwoWithDashes) {
    ExtensionStub extension(ExtensionStub::Reads);
    RelaxedInt32 changeFFProxy = 1;
    FirefoxChannel channel(changeFFProxy, {extension.Port(), 0});
    ASSERT_TRUE(channel.StartListener());
    channel.NotifyFirefox("10.1.2.3", "8080");
    channel.SetClosing();
    EXPECT_EQ(channel.FirefoxMode(), 2);
    EXPECT_TRUE(StartRequest(channel.ListeningPort()));
    channel.NotifyFirefox("10.9.9.9", "3128");
    EXPECT_EQ(channel.FirefoxMode(), 2);
    ASSERT_TRUE(extension.WaitForMessages(3, Patience));
    EXPECT_EQ(extension.Messages(), (std::vector<std::string>{Proxy, Closing, Closing}));
}

TEST(FirefoxChannel, ASecondCopyCannotListenButStillSends) {
    ExtensionStub extension(ExtensionStub::Reads);
    RelaxedInt32 changeFFProxy = 1;
    FirefoxChannel first(changeFFProxy, {extension.Port(), 0});
    ASSERT_TRUE(first.StartListener());
    FirefoxChannel second(changeFFProxy, {extension.Port(), first.ListeningPort()});
    EXPECT_FALSE(second.StartListener());
    second.NotifyFirefox("10.1.2.3", "8080");
    ASSERT_TRUE(extension.WaitForMessages(1, Patience));
    EXPECT_EQ(extension.Messages(), std::vector<std::string>{Proxy});
}

// Silent peers are held side by side, each for the receive limit at most and never more than the
// connection limit at once: a start request behind any number of them is answered at once. One at a
// time, 20 silent peers would hold it back 40 s.
TEST(FirefoxChannel, SilentConnectionsDoNotDelayAStartRequest) {
    ExtensionStub extension(ExtensionStub::Reads);
    RelaxedInt32 changeFFProxy = 1;
    FirefoxChannel channel(changeFFProxy, {extension.Port(), 0});
    ASSERT_TRUE(channel.StartListener());
    size_t answers = 0;
    for (const size_t silent : {size_t{20}, 4 * FirefoxChannel::ConnectionLimit}) {
        const auto crowd = OpenSilentConnections(channel.ListeningPort(), silent);
        ASSERT_EQ(crowd.size(), silent);
        const auto start = Clock::now();
        EXPECT_TRUE(StartRequest(channel.ListeningPort())) << silent;
        EXPECT_TRUE(extension.WaitForMessages(++answers, Patience)) << silent;
        EXPECT_LT(Clock::now() - start, 3s) << silent << " silent connections";
    }
}

// An extension that never reads takes each short message into the socket buffer; one whose backlog is
// full leaves each connect pending until the send limit. Either way one sender thread at most, and
// nothing left once the channel is gone.
TEST(FirefoxChannel, AStuckExtensionHoldsOneSenderAtMostAndNothingOutlivesTheChannel) {
    // The thread checker's runtime starts a thread of its own with the process's first thread: count after it.
    std::thread([] {}).join();
    for (const auto mode : {ExtensionStub::NeverReads, ExtensionStub::NeverAccepts}) {
        const size_t threads = ThreadCount();
        const size_t descriptors = OpenDescriptors();
        {
            ExtensionStub extension(mode);
            const size_t withExtension = ThreadCount();
            RelaxedInt32 changeFFProxy = 1;
            FirefoxChannel channel(changeFFProxy, {extension.Port(), 0});
            channel.NotifyFirefox("10.1.2.3", "8080");
            if (mode == ExtensionStub::NeverAccepts) {
                EXPECT_FALSE(channel.WaitForSenders(100ms)) << "the connect should be pending";
                EXPECT_TRUE(channel.WaitForSenders(Patience)) << "given up after the send limit";
            }
            for (int i = 0; i < 3 * static_cast<int>(FirefoxChannel::QueueLimit); ++i) {
                channel.NotifyFirefox("10.0.0." + std::to_string(i), "80");
                EXPECT_LE(ThreadCount(), withExtension + 1) << mode;
            }
            if (mode == ExtensionStub::NeverReads) {
                EXPECT_TRUE(channel.WaitForSenders(Patience));
                EXPECT_TRUE(Eventually([&] { return extension.Held() > 0; }));
            } else {
                EXPECT_FALSE(channel.WaitForSenders(0ms));
            }
        }
        EXPECT_TRUE(Eventually([&] { return ThreadCount() == threads; })) << mode << ": " << ThreadCount();
        EXPECT_EQ(OpenDescriptors(), descriptors) << mode;
    }
}

// The frame's exit: direct, then closing, each wait bounded, whatever the extension does.
TEST(FirefoxChannel, ExitSendsDirectThenClosingWithinItsWaits) {
    enum { Reads, Closed, NeverAccepts };
    for (const int extensionKind : {Reads, Closed, NeverAccepts}) {
        std::optional<ExtensionStub> extension;
        if (extensionKind != Closed)
            extension.emplace(extensionKind == Reads ? ExtensionStub::Reads : ExtensionStub::NeverAccepts);
        RelaxedInt32 changeFFProxy = 1;
        const auto start = Clock::now();
        {
            FirefoxChannel channel(changeFFProxy, {extension ? extension->Port() : ClosedPort(), 0});
            ASSERT_TRUE(channel.StartListener());
            channel.NotifyFirefox("10.1.2.3", "8080");
            EXPECT_EQ(channel.FirefoxMode(), 1);
            channel.NotifyFirefox("", "");
            EXPECT_EQ(channel.FirefoxMode(), 0);
            const bool directSent = channel.WaitForSenders(1s);
            channel.SetClosing();
            channel.NotifyFirefox("", "");
            const bool closingSent = channel.WaitForSenders(1s);
            channel.CloseListener();
            if (extensionKind == NeverAccepts) {
                EXPECT_FALSE(directSent || closingSent);
            }
        }
        EXPECT_LT(Clock::now() - start, Patience) << extensionKind;
        if (extensionKind == Reads) {
            ASSERT_TRUE(extension->WaitForMessages(3, Patience));
            EXPECT_EQ(extension->Messages(), (std::vector<std::string>{Proxy, Direct, Closing}));
        }
    }
}

// Run under ThreadSanitizer by ./test.sh --tsan: the window's thread notifies and flips the setting
// while start requests arrive on the listener's thread.
TEST(FirefoxChannel, NotifyingWhileStartRequestsArriveIsRaceFree) {
    ExtensionStub extension(ExtensionStub::Reads);
    RelaxedInt32 changeFFProxy = 1;
    FirefoxChannel channel(changeFFProxy, {extension.Port(), 0});
    ASSERT_TRUE(channel.StartListener());
    int answered = 0;
    std::thread firefox([&] {
        for (int i = 0; i < 40; ++i)
            answered += StartRequest(channel.ListeningPort());
    });
    for (int i = 0; i < 400; ++i) {
        if (i % 2)
            channel.NotifyFirefox("10.1.2.3", "8080");
        else
            channel.NotifyFirefox("", "");
        if (i % 50 == 0)
            changeFFProxy = changeFFProxy ? 0 : 1;
        EXPECT_NE(channel.FirefoxMode(), 2);
        std::this_thread::yield();
    }
    firefox.join();
    EXPECT_EQ(answered, 40);
    changeFFProxy = 1;
    const std::string last = "1\r\n10.9.9.9\r\n9999\r\n";
    channel.NotifyFirefox("10.9.9.9", "9999");
    ASSERT_TRUE(extension.WaitForLast(last, Patience));
    const std::set<std::string> valid = {Proxy, Direct, last};
    for (const std::string& message : extension.Messages())
        EXPECT_TRUE(valid.count(message)) << message;
}
