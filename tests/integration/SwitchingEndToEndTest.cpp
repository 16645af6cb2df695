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
bool WaitForSetting(const std::string& child, const std::string& key, const std::string& value) {
    for (int i = 0; i < 200; ++i) {
        if (Gsettings(child, key) == value)
            return true;
        std::this_thread::sleep_for(100ms);
    }
    return false;
}

bool WaitForMode(const std::string& value) {
    return WaitForSetting("", "mode", value);
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

// child, key and value, as gsettings names and prints them.
struct Setting {
    std::string m_child;
    std::string m_key;
    std::string m_value;
};
using Settings = std::vector<Setting>;

// What the desktop holds of every key a switch may change.
Settings Snapshot() {
    Settings now;
    for (const auto& [child, key] : std::vector<std::pair<std::string, std::string>>{{"", "mode"},
                                                                                     {"", "autoconfig-url"},
                                                                                     {"", "ignore-hosts"},
                                                                                     {"http", "host"},
                                                                                     {"http", "port"},
                                                                                     {"http", "use-authentication"},
                                                                                     {"http", "authentication-user"},
                                                                                     {"https", "host"},
                                                                                     {"ftp", "port"}})
        now.push_back({child, key, Gsettings(child, key)});
    return now;
}

bool operator==(const Setting& a, const Setting& b) {
    return a.m_child == b.m_child && a.m_key == b.m_key && a.m_value == b.m_value;
}

std::ostream& operator<<(std::ostream& out, const Setting& setting) {
    return out << setting.m_child << " " << setting.m_key << "=" << setting.m_value;
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

// A user's own GNOME settings (an automatic configuration; a manual proxy with an exception and
// credentials) are the same before orv starts, while it runs with nothing active, and after it ends, by
// exit or by a kill and the next start; while our proxy is set the user's exception stays.
TEST(SwitchingEndToEnd, TheDesktopIsTheUsersBeforeAndAfterTheProgram) {
    struct Case {
        const char* m_name;
        Settings m_users;
        bool m_active;
        bool m_killed;
    };
    const Settings pac = {{"", "mode", "'auto'"}, {"", "autoconfig-url", "\"http://wpad.example/a,b'c[1].pac\""}};
    const Settings manual = {
        {"", "mode", "'manual'"}, {"", "ignore-hosts", "['mycorp.example']"}, {"http", "host", "'corp.example'"},
        {"http", "port", "3128"}, {"http", "use-authentication", "true"},     {"http", "authentication-user", "'me'"}};
    const Case cases[] = {
        {"automatic configuration, nothing active", pac, false, false},
        {"manual proxy, ours active, exit", manual, true, false},
        {"manual proxy, ours active, killed, started with none", manual, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_name);
        TempDir dir;
        std::filesystem::create_directories(dir.File("data"));
        std::filesystem::create_directories(dir.File("config"));
        ASSERT_TRUE(SaveTwoProxies(dir.File("data/"), c.m_active ? StatusActive : StatusReady));
        ExtensionStub firefox{ExtensionStub::Reads};
        const uint16_t listenPort = ClosedPort();
        const std::string ports = std::to_string(firefox.Port()) + "," + std::to_string(listenPort);
        ScopedEnv data("ORV_DATA_DIR", dir.File("data").c_str());
        ScopedEnv backend("GSETTINGS_BACKEND", "keyfile");
        ScopedEnv config("XDG_CONFIG_HOME", dir.File("config").c_str());
        ScopedEnv desktop("ORV_SYSTEM_PROXY", "gnome");
        ScopedEnv firefoxPorts("ORV_FIREFOX_PORTS", ports.c_str());
        ScopedEnv platform("QT_QPA_PLATFORM", "offscreen");
        for (const Setting& setting : c.m_users)
            RunProgram({"gsettings", "set",
                        "org.gnome.system.proxy" + (setting.m_child.empty() ? "" : "." + setting.m_child),
                        setting.m_key, setting.m_value});
        const Settings before = Snapshot();
        for (const Setting& setting : c.m_users)
            EXPECT_EQ(Gsettings(setting.m_child, setting.m_key), setting.m_value);
        const std::string record = dir.File("data/desktop-proxy-gnome.txt");

        ChildProcess orv;
        ASSERT_TRUE(orv.Start({ORV_EXECUTABLE}, dir.File("orv.log")));
        // The start-up timer starts the listener once the window, and the desktop's switch, are done.
        ASSERT_TRUE(WaitForListener("127.0.0.1", listenPort, 30s)) << dir.Read("orv.log");
        if (c.m_active) {
            EXPECT_TRUE(WaitForSetting("http", "host", "'10.0.0.2'"));
            EXPECT_EQ(Gsettings("", "ignore-hosts"), "['mycorp.example', 'localhost', '127.0.0.0/8', '::1']");
            EXPECT_EQ(Gsettings("http", "use-authentication"), "false");
            EXPECT_TRUE(std::filesystem::exists(record));
        } else {
            EXPECT_EQ(Snapshot(), before);
        }
        if (c.m_killed) {
            orv.Kill();
            EXPECT_EQ(Gsettings("", "mode"), "'manual'");
            EXPECT_EQ(Gsettings("http", "host"), "'10.0.0.2'");
            ASSERT_TRUE(SaveTwoProxies(dir.File("data/"), StatusReady));
            ASSERT_TRUE(orv.Start({ORV_EXECUTABLE}, dir.File("orv2.log")));
            EXPECT_TRUE(WaitForSetting("http", "host", "'corp.example'")) << dir.Read("orv2.log");
            ASSERT_TRUE(WaitForListener("127.0.0.1", listenPort, 30s)) << dir.Read("orv2.log");
        }
        orv.Stop(10s);
        EXPECT_EQ(Snapshot(), before);
        EXPECT_FALSE(std::filesystem::exists(record));
    }
}
