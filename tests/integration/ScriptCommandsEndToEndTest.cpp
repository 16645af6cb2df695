// orv --use, --next, --direct, --check and --status as scripts use them: the same commands without a window
// (on the saved list) and with one (over a private session bus), against two tinyproxy instances, the
// loopback judge, GSettings in keyfile form and a stand-in Firefox extension on the channel's port.
#include "app/ScriptCommands.h"
#include "switching/SessionBus.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ExtensionStub.h"
#include "tests/support/RealProxyParts.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

namespace {

using namespace std::chrono_literals;

std::string Gsettings(const std::string& schema, const std::string& key) {
    const ProgramResult result = RunProgram({"gsettings", "get", "org.gnome.system.proxy" + schema, key});
    return result.m_output.substr(0, result.m_output.find_last_not_of('\n') + 1);
}

struct Session {
    TempDir dir;
    RealProxyParts parts;
    ExtensionStub firefox{ExtensionStub::Reads};
    ChildProcess bus;
    std::string host = parts.PageHost();
    std::string ports = std::to_string(firefox.Port()) + ",0";
    std::string address = "unix:path=" + dir.File("bus");
    ScopedEnv page{"ORV_TEST_PAGE_HOST", host.c_str()};
    ScopedEnv marker{"ORV_TEST_PAGE_MARKER", RealProxyParts::PageMarker};
    ScopedEnv data{"ORV_DATA_DIR", dir.File("data").c_str()};
    ScopedEnv backend{"GSETTINGS_BACKEND", "keyfile"};
    ScopedEnv config{"XDG_CONFIG_HOME", dir.File("config").c_str()};
    ScopedEnv desktop{"ORV_SYSTEM_PROXY", "gnome"};
    ScopedEnv firefoxPorts{"ORV_FIREFOX_PORTS", ports.c_str()};
    ScopedEnv platform{"QT_QPA_PLATFORM", "offscreen"};
    ScopedEnv session{"DBUS_SESSION_BUS_ADDRESS", address.c_str()};

    Session() {
        std::filesystem::create_directories(dir.File("data"));
        std::filesystem::create_directories(dir.File("config"));
        dir.Write("data/ORV_Setting.ini", "[Settings]\nProxyJudge=" + parts.JudgeUrl() + "\nTimeout=5\n");
        bus.Start({"dbus-daemon", "--session", "--nofork", "--address=" + address}, dir.File("bus.log"));
    }
    bool BusAnswers() {
        for (int i = 0; i < 200 && !SessionBus::Answers(1s); ++i)
            std::this_thread::sleep_for(100ms);
        return SessionBus::Answers(1s);
    }
    // Until the window with this session's data folder answers on the bus.
    bool WindowAnswers() {
        for (int i = 0; i < 300; ++i) {
            const auto reply = SessionBus::CallMethod(ScriptCommands::ServiceName, ScriptCommands::ObjectPath,
                                                      "org.freedesktop.DBus.Properties", "Get",
                                                      {ScriptCommands::InterfaceName, "DataFolder"}, 1s);
            if (reply.Ok() && reply.m_values == std::vector<SessionBus::Value>{dir.File("data/")})
                return true;
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }
};

// Polls the desktop's http host: the window applies it right after it tells Firefox.
bool WaitForDesktopHost(const std::string& host) {
    for (int i = 0; i < 600 && Gsettings(".http", "host") != host; ++i)
        std::this_thread::sleep_for(100ms);
    return Gsettings(".http", "host") == host;
}

std::string OnProxy(const RealProxyParts::Tinyproxy& proxy) {
    return "1\r\n" + proxy.listen + "\r\n" + std::to_string(proxy.port) + "\r\n";
}

ProgramResult Orv(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {ORV_EXECUTABLE};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv);
}

// The same commands with and without a window: each step's exit status, a part of what it prints, and
// where the desktop and Firefox are afterwards (nothing to compare when empty).
void RunTheCommands(Session& s, const std::string& how) {
    const RealProxyParts::Tinyproxy& one = s.parts.level2;
    const RealProxyParts::Tinyproxy& two = s.parts.level1;
    struct Step {
        std::vector<std::string> args;
        int exit;
        std::string printed;
        std::string desktopHost;
        std::string firefox;
    };
    const std::vector<Step> steps = {
        {{"--use", one.Address()}, 0, "http " + one.Address() + ", ", "'" + one.listen + "'", OnProxy(one)},
        {{"--status", "--format", "json"}, 0, R"("address":")" + one.listen + R"(","delay_ms":)", "", ""},
        {{"--use", two.Address()}, 0, "http " + two.Address(), "'" + two.listen + "'", OnProxy(two)},
        // The quick-switch menu holds both, in list order: after the second comes the first.
        {{"--next"}, 0, "http " + one.Address(), "'" + one.listen + "'", OnProxy(one)},
        {{"--check"}, 0, "Checked the active proxy " + one.Address() + ": delay ", "", ""},
        {{"--status"}, 0, "http " + one.Address() + ", level 2, delay ", "", ""},
        {{"--direct"}, 0, "direct\n", "", "0\r\n--\r\n--\r\n"},
        {{"--check"}, 1, "orv: No proxy is active.\n", "", ""},
        {{"--use", "10.0.0.1"}, 2, "orv: The proxy you input is incorrect.\n", "", ""},
        {{"--use", "10.0.0.1:port"}, 2, "orv: The proxy you input is incorrect.\n", "", ""},
        {{"--status", "--format", "yaml"}, 2, "--status takes only --format text|json", "", ""},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(how + ": orv " + step.args.front() + (step.args.size() > 1 ? " " + step.args[1] : ""));
        const ProgramResult result = Orv(step.args);
        EXPECT_EQ(result.m_exitCode, step.exit) << result.m_output << result.m_errors;
        EXPECT_NE((result.m_output + result.m_errors).find(step.printed), std::string::npos)
            << result.m_output << result.m_errors;
        if (!step.desktopHost.empty()) {
            EXPECT_EQ(Gsettings("", "mode"), "'manual'");
            EXPECT_EQ(Gsettings(".http", "host"), step.desktopHost);
        }
        if (!step.firefox.empty()) {
            EXPECT_TRUE(s.firefox.WaitForLast(step.firefox, 10s));
        }
    }
    EXPECT_EQ(Gsettings("", "mode"), "'none'");
}

} // namespace

TEST(ScriptCommandsEndToEnd, WithoutAWindowThenThroughTheWindowOnTheSessionBus) {
    Session s;
    ASSERT_TRUE(s.parts.error.empty()) << s.parts.error;
    ASSERT_TRUE(s.BusAnswers()) << s.dir.Read("bus.log");

    RunTheCommands(s, "without a window");
    // The next window starts from what the commands saved: the two proxies, none active.
    ChildProcess window;
    ASSERT_TRUE(window.Start({ORV_EXECUTABLE}, s.dir.File("window.log")));
    ASSERT_TRUE(s.WindowAnswers()) << s.dir.Read("window.log");
    RunTheCommands(s, "through the window");

    // A second start raises the first window and leaves the saved list alone.
    const std::string saved = s.dir.Read("data/list.dat");
    const ProgramResult second = Orv({});
    EXPECT_EQ(second.m_exitCode, 0) << second.m_errors;
    EXPECT_EQ(s.dir.Read("data/list.dat"), saved);
    // Without a session bus it cannot, and says why.
    const ProgramResult alone = RunProgram({ORV_EXECUTABLE}, {{"DBUS_SESSION_BUS_ADDRESS", std::nullopt}});
    EXPECT_EQ(alone.m_exitCode, 1);
    EXPECT_NE(alone.m_errors.find("Tarvelo is already running with the data folder"), std::string::npos);

    // A window on another data folder runs beside it, but the name stays with the first.
    {
        ScopedEnv other("ORV_DATA_DIR", s.dir.File("other").c_str());
        ChildProcess otherWindow;
        ASSERT_TRUE(otherWindow.Start({ORV_EXECUTABLE}, s.dir.File("other.log")));
        for (int i = 0; i < 300 && s.dir.Read("other.log").find("another copy answers") == std::string::npos; ++i)
            std::this_thread::sleep_for(100ms);
        EXPECT_NE(s.dir.Read("other.log").find("another copy answers on the session bus"), std::string::npos);
        const ProgramResult refused = Orv({"--status"});
        EXPECT_EQ(refused.m_exitCode, 1);
        EXPECT_NE(refused.m_errors.find("uses another data folder (" + s.dir.File("data/") + ")"), std::string::npos)
            << refused.m_errors;
    }
    EXPECT_TRUE(s.WindowAnswers());
    window.Stop(10s);
}

TEST(ScriptCommandsEndToEnd, TheWatchMovesTheDesktopAndFirefoxOffADeadProxy) {
    Session s;
    ASSERT_TRUE(s.parts.error.empty()) << s.parts.error;
    ASSERT_TRUE(s.BusAnswers()) << s.dir.Read("bus.log");
    s.dir.Write("data/ORV_Setting.ini",
                "[Settings]\nProxyJudge=" + s.parts.JudgeUrl() + "\nTimeout=5\nWatchActive=1\n");
    ScopedEnv pace("ORV_WATCH_SECONDS", "1,1");
    ChildProcess window;
    ASSERT_TRUE(window.Start({ORV_EXECUTABLE}, s.dir.File("window.log")));
    ASSERT_TRUE(s.WindowAnswers()) << s.dir.Read("window.log");
    RealProxyParts::Tinyproxy& one = s.parts.level2;
    RealProxyParts::Tinyproxy& two = s.parts.level1;
    ASSERT_EQ(Orv({"--use", two.Address()}).m_exitCode, 0);
    ASSERT_EQ(Orv({"--use", one.Address()}).m_exitCode, 0);
    ASSERT_TRUE(WaitForDesktopHost("'" + one.listen + "'"));

    one.process.Kill();
    EXPECT_TRUE(WaitForDesktopHost("'" + two.listen + "'")) << s.dir.Read("window.log");
    EXPECT_TRUE(s.firefox.WaitForLast(OnProxy(two), 10s));
    EXPECT_NE(Orv({"--status"}).m_output.find("http " + two.Address()), std::string::npos);
    window.Stop(10s);
}
