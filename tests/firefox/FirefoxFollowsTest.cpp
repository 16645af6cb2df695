// A real Firefox ESR, headless, with a temporary home and profile: the extension installed by Quillet's
// operations follows control messages to a real tinyproxy, SOCKS5 proxies (with and without a password)
// and a tinyproxy that wants a password, and back to the direct connection, as the lighttpd judge sees
// it, and then follows the orv program itself.
#include "installer/ExtensionInstaller.h"
#include "platform/LinuxFirefoxProcesses.h"
#include "proxy/ProxyList.h"
#include "settings/SavedList.h"
#include "tests/support/ExtensionStub.h"
#include "tests/support/RealProxyParts.h"
#include "tests/support/ScopedEnv.h"

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
const char* const Firefox = "/usr/bin/firefox-esr";
constexpr char Marker[] = "@driver ";

// The puppeteer-core driver: commands on its input, one JSON line per answer on its output; Firefox's
// own output goes to a log that every failure shows.
class Driver {
public:
    explicit Driver(const std::string& log) : m_log(log) {
        // A driver that has ended must fail the test with its log, not end it by a signal.
        std::signal(SIGPIPE, SIG_IGN);
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(in[0], STDIN_FILENO);
            dup2(out[1], STDOUT_FILENO);
            const int err = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(err, STDERR_FILENO);
            chdir(ORV_FIREFOX_TEST_DIR);
            execlp("node", "node", "drive.mjs", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        m_in = in[1];
        m_out = out[0];
    }
    ~Driver() {
        Command("quit");
        for (int i = 0; i < 100 && m_pid > 0 && waitpid(m_pid, nullptr, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(100ms);
        if (m_pid > 0 && waitpid(m_pid, nullptr, WNOHANG) == 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        close(m_in);
        close(m_out);
    }

    void Command(const std::string& line) { (void)!write(m_in, (line + "\n").data(), line.size() + 1); }

    // The next answer of the driver; "" when none comes within limit or the driver has ended.
    std::string ReadLine(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            const size_t end = m_buffer.find('\n');
            if (end != std::string::npos) {
                std::string line = m_buffer.substr(0, end);
                m_buffer.erase(0, end + 1);
                if (line.rfind(Marker, 0) == 0)
                    return line.substr(sizeof Marker - 1);
                continue; // Firefox's own output
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd ready{m_out, POLLIN, 0};
            char chunk[4096];
            ssize_t n = 0;
            if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0 ||
                (n = read(m_out, chunk, sizeof chunk)) <= 0)
                return "";
            m_buffer.append(chunk, static_cast<size_t>(n));
        }
    }

    // Loads url until its text satisfies wanted (the extension applies a message a moment after the
    // bridge receives it); the last answer either way.
    template <typename Wanted> std::string LoadUntil(const std::string& url, Wanted wanted) {
        std::string answer;
        for (int attempt = 0; attempt < 20; ++attempt) {
            Command("load " + url);
            answer = ReadLine(30s);
            if (wanted(answer))
                break;
            std::this_thread::sleep_for(500ms);
        }
        return answer;
    }

    std::string Log() const {
        std::ifstream in(m_log);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return text.size() > 6000 ? text.substr(text.size() - 6000) : text;
    }

private:
    std::string m_log;
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    std::string m_buffer;
};

bool Send(uint16_t port, const std::string& bytes) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool sent = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                      send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    close(fd);
    return sent;
}

// The judge prints its CGI variables: through tinyproxy it sees a Via header and tinyproxy's own address.
bool ThroughProxy(const std::string& answer) {
    return answer.find("HTTP_VIA") != std::string::npos && answer.find("REMOTE_ADDR=127.0.0.5") != std::string::npos;
}
// Through a SOCKS proxy, or tinyproxy without its Via header, the judge sees only the proxies' address.
bool FromTheProxies(const std::string& answer) {
    return answer.find("REMOTE_ADDR=127.0.0.5") != std::string::npos;
}
bool Direct(const std::string& answer) {
    return answer.find("REMOTE_ADDR=127.0.0.1") != std::string::npos && answer.find("HTTP_VIA") == std::string::npos;
}

} // namespace

TEST(FirefoxFollows, ControlMessagesThenOrvItself) {
    ASSERT_EQ(access(Firefox, X_OK), 0) << Firefox << " is missing: scripts/install-deps.sh installs firefox-esr";
    RealProxyParts parts;
    ASSERT_TRUE(parts.error.empty()) << parts.error;
    TempDir home;
    ScopedEnv homeEnv("HOME", home.Path().c_str());
    platform::ScriptedMessageBox box;
    platform::ScriptedFirefoxProcesses scripted;
    scripted.m_checksUntilStarted = 0;
    ExtensionInstaller installer(box, scripted, QuilletFolders::ForUser(ORV_QUILLET_DIR "/"),
                                 [](std::chrono::milliseconds) {});
    ASSERT_EQ(installer.InstallExtension(), ExtensionInstaller::Finished)
        << (box.m_shown.empty() ? "" : box.m_shown.back());

    ExtensionStub orvStandIn{ExtensionStub::Reads};
    const uint16_t controlPort = ClosedPort();
    const std::string ports = std::to_string(controlPort) + "," + std::to_string(orvStandIn.Port());
    ScopedEnv portsEnv("ORV_FIREFOX_PORTS", ports.c_str());
    ScopedEnv firefoxEnv("FIREFOX", Firefox);
    ScopedEnv profileEnv("PROFILE", home.File("profile").c_str());
    std::filesystem::create_directories(home.File("profile"));
    ScopedEnv display("DISPLAY", nullptr);
    // Quillet's close request reaches every Firefox of this user: it is sent only when the test's is the only one.
    const bool otherFirefox = !platform::LinuxFirefoxProcesses::FindMainProcesses().empty();
    Driver driver(home.File("firefox.log"));
    const std::string ready = driver.ReadLine(150s);
    ASSERT_NE(ready.find("\"ready\""), std::string::npos) << "driver: " << ready << "\n" << driver.Log();
    ASSERT_EQ(orvStandIn.WaitFor(1, 60s), std::vector<std::string>{"firefox_start"})
        << "the extension did not start its bridge\n"
        << driver.Log();

    const std::string judge = parts.JudgeUrl();
    ASSERT_TRUE(Send(controlPort, "1\r\n" + parts.level2.listen + "\r\n" + std::to_string(parts.level2.port) + "\r\n"));
    EXPECT_PRED1(ThroughProxy, driver.LoadUntil(judge, ThroughProxy)) << driver.Log();
    ASSERT_TRUE(Send(controlPort, "0\r\n--\r\n--\r\n"));
    EXPECT_PRED1(Direct, driver.LoadUntil(judge, Direct)) << driver.Log();

    // Mode 3: dante's SOCKS5, microsocks' SOCKS5 with a password, tinyproxy with a password; each followed
    // by the direct connection, as all three leave from the same address.
    ASSERT_TRUE(parts.StartSocks()) << parts.error;
    const std::string user = RealProxyParts::SocksUser;
    const std::string password = RealProxyParts::SocksPassword;
    const std::pair<const char*, std::string> proxies[] = {
        {"dante", "127.0.0.1\r\n" + std::to_string(parts.dantePort) + "\r\nsocks5\r\n\r\n"},
        {"microsocks",
         "127.0.0.1\r\n" + std::to_string(parts.microsocksPort) + "\r\nsocks5\r\n" + user + "\r\n" + password},
        {"tinyproxy", parts.basicAuth.listen + "\r\n" + std::to_string(parts.basicAuth.port) + "\r\nhttp\r\n" + user +
                          "\r\n" + password},
    };
    for (const auto& [name, proxy] : proxies) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(Send(controlPort, "3\r\n" + proxy + "\r\n"));
        EXPECT_PRED1(FromTheProxies, driver.LoadUntil(judge, FromTheProxies)) << driver.Log();
        ASSERT_TRUE(Send(controlPort, "0\r\n--\r\n--\r\n"));
        EXPECT_PRED1(Direct, driver.LoadUntil(judge, Direct)) << driver.Log();
    }

    // orv with a saved active record tells Firefox at start and leaves it direct at SIGTERM.
    {
        ProxyList list;
        auto item = std::make_unique<ProxyItem>();
        item->SetAddress(parts.level2.Address().c_str());
        item->m_status = StatusActive;
        list.Append(std::move(item));
        std::filesystem::create_directories(home.File("data"));
        ASSERT_TRUE(SavedList::SaveList(home.File("data/"), list, ""));
    }
    const std::string orvPorts = std::to_string(controlPort) + "," + std::to_string(ClosedPort());
    ScopedEnv orvPortsEnv("ORV_FIREFOX_PORTS", orvPorts.c_str());
    ScopedEnv data("ORV_DATA_DIR", home.File("data").c_str());
    ScopedEnv desktop("ORV_SYSTEM_PROXY", "none");
    ScopedEnv platform("QT_QPA_PLATFORM", "offscreen");
    ChildProcess orv;
    ASSERT_TRUE(orv.Start({ORV_EXECUTABLE}, home.File("orv.log")));
    EXPECT_PRED1(ThroughProxy, driver.LoadUntil(judge, ThroughProxy)) << home.Read("orv.log") << driver.Log();
    orv.Stop(10s);
    EXPECT_PRED1(Direct, driver.LoadUntil(judge, Direct)) << home.Read("orv.log") << driver.Log();

    // Quillet sees this Firefox, and its close request (SIGTERM, as there is no display) ends it.
    platform::LinuxFirefoxProcesses firefox;
    ASSERT_TRUE(firefox.IsRunning());
    if (otherFirefox) {
        std::cout << "note: another Firefox of this user runs: the close request is not tried\n";
        return;
    }
    firefox.RequestClose();
    for (int i = 0; i < 300 && firefox.IsRunning(); ++i)
        std::this_thread::sleep_for(100ms);
    ASSERT_FALSE(firefox.IsRunning()) << driver.Log();

    // Uninstalled, the next start of Firefox drops the extension (and deletes the empty pointer file).
    ASSERT_EQ(installer.UninstallExtension(), ExtensionInstaller::Finished);
    EXPECT_FALSE(std::filesystem::exists(home.File(".mozilla/native-messaging-hosts/tarvelo_orv_bridge.json")));
    ASSERT_NE(home.Read("profile/extensions.json").find(ExtensionId), std::string::npos);
    Driver again(home.File("firefox-again.log"));
    ASSERT_NE(again.ReadLine(150s).find("\"ready\""), std::string::npos) << again.Log();
    bool dropped = false;
    for (int i = 0; i < 300 && !dropped; ++i) {
        dropped = home.Read("profile/extensions.json").find(ExtensionId) == std::string::npos;
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_TRUE(dropped) << again.Log();
}
