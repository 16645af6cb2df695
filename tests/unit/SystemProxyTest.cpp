#include "switching/KdeConfigText.h"
#include "switching/KdeSystemProxy.h"
#include "switching/MakeSystemProxy.h"
#include "switching/ProxyServer.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>

namespace {

TEST(ProxyServer, TakesADottedQuadAndAPortAndRefusesTheRest) {
    struct Case {
        const char* m_server;
        std::optional<std::pair<std::string, uint16_t>> m_parsed;
    };
    const Case cases[] = {
        {"10.1.2.3:8080", {{"10.1.2.3", 8080}}},
        {"255.255.255.254:65535", {{"255.255.255.254", 65535}}},
        {"1.2.3.4:00080", {{"1.2.3.4", 80}}},
        // The tester connects with inet_addr, which reads a leading 0 as octal: the same host here.
        {"010.001.002.003:80", {{"8.1.2.3", 80}}},
        {"1.2.3.4:0", std::nullopt},
        {"1.2.3.4:65536", std::nullopt},
        {"1.2.3.4:000080", std::nullopt},
        {"1.2.3.4:+80", std::nullopt},
        {"1.2.3.4", std::nullopt},
        {"1.2.3:80", std::nullopt},
        {"256.1.1.1:80", std::nullopt},
        {"09.1.1.1:80", std::nullopt},
        {"0x7f.0.0.1:80", std::nullopt},
        {" 1.2.3.4:80", std::nullopt},
        {"proxy.example:80", std::nullopt},
        {"1.2.3.4:80:90", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_server);
        const auto parsed = ParseProxyServer(c.m_server);
        ASSERT_EQ(parsed.has_value(), c.m_parsed.has_value());
        if (parsed) {
            EXPECT_EQ(parsed->m_host, c.m_parsed->first);
            EXPECT_EQ(parsed->m_port, c.m_parsed->second);
        }
    }
}

TEST(ChooseSystemProxy, FollowsTheDesktopUnlessForced) {
    struct Case {
        const char* m_desktops;
        const char* m_forced;
        SystemProxyKind m_kind;
        bool m_warns;
    };
    const Case cases[] = {
        {"GNOME", "", SystemProxyKind::Gnome, false},
        {"ubuntu:GNOME", "", SystemProxyKind::Gnome, false},
        {"X-Cinnamon", "", SystemProxyKind::Gnome, false},
        {"kde", "", SystemProxyKind::Kde, false},
        {"XFCE", "", SystemProxyKind::None, false},
        {"", "", SystemProxyKind::None, false},
        // The first desktop this program knows decides.
        {"LXQt:KDE:GNOME", "", SystemProxyKind::Kde, false},
        {"GNOMEish:KDEX", "", SystemProxyKind::None, false},
        {"XFCE", "gnome", SystemProxyKind::Gnome, false},
        {"GNOME", "KDE", SystemProxyKind::Kde, false},
        {"KDE", "none", SystemProxyKind::None, false},
        {"KDE", "bogus", SystemProxyKind::Kde, true},
        {"XFCE", "gnome ", SystemProxyKind::None, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.m_desktops) + " / " + c.m_forced);
        std::string warning = "stale";
        EXPECT_EQ(ChooseSystemProxy(c.m_desktops, c.m_forced, warning), c.m_kind);
        EXPECT_EQ(!warning.empty(), c.m_warns) << warning;
        if (c.m_warns) {
            EXPECT_NE(warning.find(std::string("ORV_SYSTEM_PROXY=") + c.m_forced), std::string::npos) << warning;
            EXPECT_EQ(warning.find('\n'), std::string::npos);
        }
    }
}

// KDE's file in a folder of its own, with no session bus to tell.
class KdeFile : public ::testing::Test {
protected:
    TempDir m_dir;
    ScopedEnv m_config{"XDG_CONFIG_HOME", m_dir.Path().c_str()};
    ScopedEnv m_bus{"DBUS_SESSION_BUS_ADDRESS", nullptr};
    ScopedEnv m_runtime{"XDG_RUNTIME_DIR", nullptr};
    KdeSystemProxy m_proxy;
};

const std::string ProxyLines = "httpProxy=http://10.1.2.3 8080\n"
                               "httpsProxy=http://10.1.2.3 8080\n"
                               "ftpProxy=http://10.1.2.3 8080\n"
                               "NoProxyFor=localhost,127.0.0.0/8,::1\n";

// Everything a user's file may hold: other groups, comments, blank lines, CR LF line ends, the group
// twice, a key with options, a reversed exception list, and a last line without its line end.
const std::string UsersFile = "# kept by hand\n"
                              "[Cookie Policy]\n"
                              "CookieGlobalAdvice=Accept\n"
                              "\n"
                              "[Proxy Settings]\r\n"
                              "httpProxy[$e]=http://$PROXYHOST 3128\r\n"
                              "ReversedException=true\r\n"
                              "socksProxy=socks://9.9.9.9 1080\r\n"
                              "# the user's note\r\n"
                              "\r\n"
                              "[Other]\n"
                              "  ProxyType = 5 \n"
                              "[Proxy Settings]\n"
                              "ProxyType=0\n"
                              "Tail=kept";

const std::string UsersFileWithProxy = "# kept by hand\n"
                                       "[Cookie Policy]\n"
                                       "CookieGlobalAdvice=Accept\n"
                                       "\n"
                                       "[Proxy Settings]\r\n"
                                       "httpProxy=http://10.1.2.3 8080\r\n"
                                       "ReversedException=false\r\n"
                                       "socksProxy=socks://9.9.9.9 1080\r\n"
                                       "# the user's note\r\n"
                                       "httpsProxy=http://10.1.2.3 8080\n"
                                       "ftpProxy=http://10.1.2.3 8080\n"
                                       "NoProxyFor=localhost,127.0.0.0/8,::1\n"
                                       "\r\n"
                                       "[Other]\n"
                                       "  ProxyType = 5 \n"
                                       "[Proxy Settings]\n"
                                       "ProxyType=1\n"
                                       "Tail=kept";

// Every occurrence of from in text replaced by to.
std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

TEST_F(KdeFile, ChangesOnlyItsOwnKeys) {
    const auto proxy = [](const char* server, platform::ProxyProtocol protocol = platform::ProxyProtocol::Http,
                          const char* user = "", const char* password = "") {
        return [=](KdeSystemProxy& kde) { return kde.SetIEProxyAll({server, protocol, user, password}); };
    };
    const std::string socksLines = "httpProxy=\nhttpsProxy=\nftpProxy=\nsocksProxy=socks://10.1.2.3 1080\n"
                                   "NoProxyFor=localhost,127.0.0.0/8,::1\n";
    const auto direct = [](KdeSystemProxy& kde) { return kde.SetIEDirectAll(); };
    struct Case {
        const char* m_name;
        std::optional<std::string> m_before;
        std::function<bool(KdeSystemProxy&)> m_call;
        bool m_result;
        std::optional<std::string> m_after;
    };
    std::string directAfterProxy = UsersFileWithProxy;
    directAfterProxy.replace(directAfterProxy.find("ProxyType=1"), 11, "ProxyType=0");
    const Case cases[] = {
        {"no file, proxy", std::nullopt, proxy("10.1.2.3:8080"), true, "[Proxy Settings]\nProxyType=1\n" + ProxyLines},
        {"no file, direct", std::nullopt, direct, true, "[Proxy Settings]\nProxyType=0\n"},
        {"other group only", "[General]\nA=1", direct, true, "[General]\nA=1\n\n[Proxy Settings]\nProxyType=0\n"},
        {"user's file, proxy", UsersFile, proxy("10.1.2.3:8080"), true, UsersFileWithProxy},
        // KDE asks for credentials itself: an HTTP proxy with them is written as one without.
        {"user's file, proxy with credentials", UsersFile,
         proxy("10.1.2.3:8080", platform::ProxyProtocol::Http, "user", "secret"), true, UsersFileWithProxy},
        {"no file, socks5", std::nullopt, proxy("10.1.2.3:1080", platform::ProxyProtocol::Socks5, "user", "secret"),
         true, "[Proxy Settings]\nProxyType=1\n" + socksLines},
        {"no file, socks4", std::nullopt, proxy("10.1.2.3:1080", platform::ProxyProtocol::Socks4), true,
         "[Proxy Settings]\nProxyType=1\n" + socksLines},
        {"user's file, socks5", UsersFile, proxy("10.1.2.3:1080", platform::ProxyProtocol::Socks5), true,
         Replaced(Replaced(UsersFileWithProxy, "http://10.1.2.3 8080", ""), "socks://9.9.9.9 1080",
                  "socks://10.1.2.3 1080")},
        {"user's file, direct keeps the proxies", UsersFileWithProxy, direct, true, directAfterProxy},
        {"no port", UsersFile, proxy("10.1.2.3"), false, UsersFile},
        {"host name", UsersFile, proxy("proxy.example:8080"), false, UsersFile},
    };
    const std::string file = m_dir.File("kioslaverc");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_name);
        std::filesystem::remove(file);
        if (c.m_before)
            m_dir.Write("kioslaverc", *c.m_before);
        EXPECT_EQ(c.m_call(m_proxy), c.m_result);
        ASSERT_EQ(std::filesystem::exists(file), c.m_after.has_value());
        if (c.m_after) {
            EXPECT_EQ(m_dir.Read("kioslaverc"), *c.m_after);
        }
        // Only the file itself: the replacement left nothing beside it.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.Path()), {}), c.m_after ? 1 : 0);
    }
}

TEST_F(KdeFile, ALinkedFileStaysALink) {
    std::filesystem::create_directory(m_dir.File("dotfiles"));
    m_dir.Write("dotfiles/kioslaverc", "[General]\nA=1\n");
    std::filesystem::create_symlink("dotfiles/kioslaverc", m_dir.File("kioslaverc"));
    EXPECT_TRUE(m_proxy.SetIEDirectAll());
    EXPECT_TRUE(std::filesystem::is_symlink(m_dir.File("kioslaverc")));
    EXPECT_EQ(m_dir.Read("dotfiles/kioslaverc"), "[General]\nA=1\n\n[Proxy Settings]\nProxyType=0\n");
}

TEST_F(KdeFile, FailsWithoutTouchingAnything) {
    // Holds for root as well, who may write where permissions say no.
    m_dir.Write("plain-file", "x");
    std::filesystem::create_directories(m_dir.File("config/kioslaverc"));
    struct Case {
        const char* m_name;
        std::string m_config;
        const char* m_home;
    };
    const Case cases[] = {
        {"folder is a file", m_dir.File("plain-file"), "/nonexistent"},
        {"folder missing", m_dir.File("missing"), "/nonexistent"},
        {"kioslaverc is a folder", m_dir.File("config"), "/nonexistent"},
        {"relative folder, no home", "relative/config", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_name);
        ScopedEnv config("XDG_CONFIG_HOME", c.m_config.c_str());
        ScopedEnv home("HOME", c.m_home);
        EXPECT_FALSE(m_proxy.SetIEProxyAll({"10.1.2.3:8080"}));
        EXPECT_FALSE(m_proxy.SetIEDirectAll());
    }
    EXPECT_EQ(m_dir.Read("plain-file"), "x");
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.File("config/kioslaverc")));
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("missing")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.File("config")), {}), 1);
}

std::optional<std::string> NoProxyFor(const std::string& file) {
    return KdeConfigText(file).Value("Proxy Settings", "NoProxyFor");
}

// Two switches and back: our local addresses join the user's exceptions once, and the user's lines come
// back exactly as they were, options, line ends and places included.
TEST_F(KdeFile, TheUsersLinesComeBackAfterOurProxy) {
    struct Case {
        const char* m_name;
        std::optional<std::string> m_before;
        std::string m_noProxyFor;
        std::string m_after;
    };
    const std::string pac = "[Proxy Settings]\nProxyType=2\nProxy Config Script=http://wpad.example/a,b'c[1].pac\n";
    const std::string manual = "[Proxy Settings]\nProxyType=1\nhttpProxy=http://corp.example "
                               "3128\nNoProxyFor=intranet.corp, .mycorp.example\n";
    const Case cases[] = {
        {"user's file with a reversed list", UsersFile, "localhost,127.0.0.0/8,::1", UsersFile},
        {"user's exceptions", manual, "intranet.corp,.mycorp.example,localhost,127.0.0.0/8,::1", manual},
        {"automatic configuration", pac, "localhost,127.0.0.0/8,::1", pac},
        {"no file", std::nullopt, "localhost,127.0.0.0/8,::1", "[Proxy Settings]\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_name);
        std::filesystem::remove(m_dir.File("kioslaverc"));
        if (c.m_before)
            m_dir.Write("kioslaverc", *c.m_before);
        const auto values = m_proxy.ReadUserValues();
        ASSERT_TRUE(values);
        ASSERT_TRUE(m_proxy.SetIEProxyAll({"10.1.2.3:8080"}));
        ASSERT_TRUE(m_proxy.SetIEProxyAll({"10.1.2.5:1080", platform::ProxyProtocol::Socks5}));
        ASSERT_TRUE(m_proxy.SetIEProxyAll({"10.1.2.4:8080"}));
        EXPECT_EQ(NoProxyFor(m_dir.Read("kioslaverc")), c.m_noProxyFor);
        EXPECT_TRUE(m_proxy.RestoreUserValues(*values));
        EXPECT_EQ(m_dir.Read("kioslaverc"), c.m_after);
        // A damaged record: a line that is not the key's changes nothing.
        EXPECT_FALSE(m_proxy.RestoreUserValues({{"httpProxy", "ProxyType=1"}}));
        EXPECT_EQ(m_dir.Read("kioslaverc"), c.m_after);
    }
}

} // namespace
