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

} // namespace

TEST(SwitchingEndToEnd, TheProgramFollowsTheSavedActiveProxyAndLeavesDirect) {
    TempDir dir;
    std::filesystem::create_directories(dir.File("data"));
    std::filesystem::create_directories(dir.File("config"));
    {
        ProxyList list;
        for (const char* address : {"10.0.0.1:3128", "10.0.0.2:8080"}) {
            auto item = std::make_unique<ProxyItem>();
            item->SetAddress(address);
            list.Append(std::move(item));
        }
        list[1]->m_status = StatusActive;
        ASSERT_TRUE(SavedList::SaveList(dir.File("data/"), list, ""));
    }
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
    EXPECT_EQ(Gsettings("", "mode"), "'none'");
    EXPECT_EQ(Gsettings("http", "host"), "'10.0.0.2'"); // direct keeps the hosts
    ProxyList saved;
    ASSERT_TRUE(SavedList::LoadList(dir.File("data/"), saved).m_loaded);
    ASSERT_EQ(saved.GetSize(), 2u);
    EXPECT_EQ(saved[1]->m_status, StatusActive);
}
