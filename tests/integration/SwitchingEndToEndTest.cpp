// The orv program itself, offscreen: a saved active proxy reaches the desktop (GSettings in keyfile form)
// and a stand-in Firefox extension at start-up, again on the extension's start request, and at SIGTERM
// both are left on a direct connection while the saved list keeps the record active.
#include "platform/LoopbackAddress.h"
#include "proxy/ProxyList.h"
#include "settings/SavedList.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ExtensionStub.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Messages = std::vector<std::string>;

bool SendStartRequest(uint16_t port) {
    const int connection = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = platform::LoopbackAddress(port);
    const bool sent = connect(connection, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                      send(connection, "firefox_start", 13, MSG_NOSIGNAL) == 13;
    close(connection);
    return sent;
}

// child "" is the schema itself, "http" its http child, and so on.
std::string Gsettings(const std::string& child, const std::string& key) {
    const std::string schema = "org.gnome.system.proxy" + (child.empty() ? "" : "." + child);
    const ProgramResult result = RunProgram({"gsettings", "get", schema, key});
    return result.m_output.substr(0, result.m_output.find_last_not_of('\n') + 1);
}

// Polls the desktop's setting: orv applies it right after it tells Firefox.
bool WaitForMode(const std::string& value) {
    for (int i = 0; i < 200; ++i) {
        if (Gsettings("", "mode") == value)
            return true;
        std::this_thread::sleep_for(100ms);
    }
    return false;
}

bool SaveTwoProxies(const std::string& dataFolder, int32_t secondStatus) {
    ProxyList list;
    for (const char* address : {"10.0.0.1:3128", "10.0.0.2:8080"}) {
        auto item = std::make_unique<ProxyItem>();
        item->SetAddress(address);
        list.Append(std::move(item));
    }
    list[1]->m_status = secondStatus;
    return SavedList::SaveList(dataFolder, list, "");
}

// Everything of the desktop's proxy that a switch may change: GNOME's whole schema, or KDE's file.
std::string DesktopProxy(const std::string& desktop, const TempDir& dir) {
    if (desktop == "kde")
        return std::filesystem::exists(dir.File("config/kioslaverc")) ? dir.Read("config/kioslaverc") : "";
    return RunProgram({"gsettings", "list-recursively", "org.gnome.system.proxy"}).m_output;
}

} // namespace

TEST(SwitchingEndToEnd, TheProgramFollowsTheSavedActiveProxyAndLeavesDirect) {
    TempDir dir;
    std::filesystem::create_directories(dir.File("data"));
    std::filesystem::create_directories(dir.File("config"));
    ASSERT_TRUE(SaveTwoProxies(dir.File("data/"), StatusActive));
    ExtensionStub firefox{ExtensionStub::Reads};
    const uint16_t listenPort = ClosedPort();
    const std::string ports = std::to_string(firefox.Port()) + "," + std::to_string(listenPort);
    ScopedEnv data("ORV_DATA_DIR", dir.File("data").c_str());
    ScopedEnv backend("GSETTINGS_BACKEND", "keyfile");
    ScopedEnv config("XDG_CONFIG_HOME", dir.File("config").c_str());
    ScopedEnv desktop("ORV_SYSTEM_PROXY", "gnome");
    ScopedEnv firefoxPorts("ORV_FIREFOX_PORTS", ports.c_str());
    ScopedEnv platform("QT_QPA_PLATFORM", "offscreen");

    ChildProcess orv;
    ASSERT_TRUE(orv.Start({ORV_EXECUTABLE}, dir.File("orv.log")));
    const std::string proxy = "1\r\n10.0.0.2\r\n8080\r\n";
    EXPECT_EQ(firefox.WaitFor(1, 30s), (Messages{proxy})) << dir.Read("orv.log");
    EXPECT_TRUE(WaitForMode("'manual'"));
    EXPECT_EQ(Gsettings("http", "host"), "'10.0.0.2'");
    EXPECT_EQ(Gsettings("https", "port"), "8080");

    ASSERT_TRUE(WaitForListener("127.0.0.1", listenPort, 30s)) << dir.Read("orv.log");
    ASSERT_TRUE(SendStartRequest(listenPort));
    EXPECT_EQ(firefox.WaitFor(2, 30s), (Messages{proxy, proxy}));

    orv.Stop(10s);
    EXPECT_EQ(firefox.WaitFor(4, 10s), (Messages{proxy, proxy, "0\r\n--\r\n--\r\n", "2\r\n--\r\n--\r\n"}));
    // The user had set nothing: every key is back at its default.
    EXPECT_EQ(Gsettings("", "mode"), "'none'");
    EXPECT_EQ(Gsettings("http", "host"), "''");
    ProxyList saved;
    ASSERT_TRUE(SavedList::LoadList(dir.File("data/"), saved).m_loaded);
    ASSERT_EQ(saved.GetSize(), 2u);
    EXPECT_EQ(saved[1]->m_status, StatusActive);
}

// A user's own settings (an automatic configuration; a manual proxy with an exception and credentials) are
// the same before orv starts, while it runs with nothing active, and after it ends, by exit or by a kill
// and the next start; while our proxy is set the user's exception stays and the credentials are off.
TEST(SwitchingEndToEnd, TheDesktopIsTheUsersBeforeAndAfterTheProgram) {
    using Strings = std::vector<std::string>;
    struct Case {
        const char* m_name;
        const char* m_desktop;
        std::vector<Strings> m_gsettings;
        std::string m_kioslaverc;
        bool m_active;
        bool m_killed;
        Strings m_whileOurs;
    };
    const std::string proxy = "org.gnome.system.proxy";
    const std::vector<Strings> pac = {{proxy, "mode", "'auto'"},
                                      {proxy, "autoconfig-url", "\"http://wpad.example/a,b'c[1].pac\""}};
    // The configuration address, full of quotes, commas and brackets, is kept while the mode is manual.
    std::vector<Strings> manual = pac;
    manual.insert(manual.end(), {{proxy, "mode", "'manual'"},
                                 {proxy, "ignore-hosts", "['mycorp.example']"},
                                 {proxy + ".http", "host", "'corp.example'"},
                                 {proxy + ".http", "use-authentication", "true"}});
    const Strings gnomeOurs = {"proxy ignore-hosts ['mycorp.example', 'localhost', '127.0.0.0/8', '::1']",
                               "proxy.http use-authentication false"};
    const std::string kdeManual = "[Proxy Settings]\nProxyType=1\nhttpProxy=http://corp.example 3128\n"
                                  "NoProxyFor=intranet.corp\n";
    const Case cases[] = {
        {"GNOME, automatic configuration, nothing active", "gnome", pac, "", false, false, {}},
        {"GNOME, manual proxy, ours active, exit", "gnome", manual, "", true, false, gnomeOurs},
        {"GNOME, manual proxy, ours active, killed, started with none", "gnome", manual, "", true, true, gnomeOurs},
        {"KDE, automatic configuration, nothing active",
         "kde",
         {},
         "[Proxy Settings]\nProxyType=2\n",
         false,
         false,
         {}},
        {"KDE, manual proxy, ours active, killed, started with none",
         "kde",
         {},
         kdeManual,
         true,
         true,
         {"NoProxyFor=intranet.corp,localhost,127.0.0.0/8,::1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_name);
        TempDir dir;
        std::filesystem::create_directories(dir.File("data"));
        std::filesystem::create_directories(dir.File("config"));
        ASSERT_TRUE(SaveTwoProxies(dir.File("data/"), c.m_active ? StatusActive : StatusReady));
        const uint16_t listenPort = ClosedPort();
        const std::string ports = "1," + std::to_string(listenPort);
        ScopedEnv data("ORV_DATA_DIR", dir.File("data").c_str());
        ScopedEnv backend("GSETTINGS_BACKEND", "keyfile");
        ScopedEnv config("XDG_CONFIG_HOME", dir.File("config").c_str());
        ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", nullptr);
        ScopedEnv runtime("XDG_RUNTIME_DIR", dir.Path().c_str());
        ScopedEnv desktop("ORV_SYSTEM_PROXY", c.m_desktop);
        ScopedEnv firefoxPorts("ORV_FIREFOX_PORTS", ports.c_str());
        ScopedEnv platform("QT_QPA_PLATFORM", "offscreen");
        for (const Strings& setting : c.m_gsettings)
            ASSERT_EQ(RunProgram({"gsettings", "set", setting[0], setting[1], setting[2]}).m_exitCode, 0);
        if (!c.m_kioslaverc.empty())
            dir.Write("config/kioslaverc", c.m_kioslaverc);
        const std::string before = DesktopProxy(c.m_desktop, dir);
        const auto ours = [&] { return DesktopProxy(c.m_desktop, dir).find("10.0.0.2") != std::string::npos; };

        ChildProcess orv;
        ASSERT_TRUE(orv.Start({ORV_EXECUTABLE}, dir.File("orv.log")));
        // The start-up timer starts the listener once the window, and the desktop's switch, are done.
        ASSERT_TRUE(WaitForListener("127.0.0.1", listenPort, 30s)) << dir.Read("orv.log");
        EXPECT_EQ(ours(), c.m_active);
        if (!c.m_active) {
            EXPECT_EQ(DesktopProxy(c.m_desktop, dir), before);
        }
        for (const std::string& kept : c.m_whileOurs)
            EXPECT_NE(DesktopProxy(c.m_desktop, dir).find(kept), std::string::npos) << kept;
        if (c.m_killed) {
            orv.Kill();
            EXPECT_TRUE(ours());
            ASSERT_TRUE(SaveTwoProxies(dir.File("data/"), StatusReady));
            ASSERT_TRUE(orv.Start({ORV_EXECUTABLE}, dir.File("orv.log")));
            ASSERT_TRUE(WaitForListener("127.0.0.1", listenPort, 30s)) << dir.Read("orv.log");
        }
        orv.Stop(10s);
        EXPECT_EQ(DesktopProxy(c.m_desktop, dir), before);
        EXPECT_FALSE(std::filesystem::exists(dir.File("data/desktop-proxy-" + std::string(c.m_desktop) + ".txt")));
    }
}
