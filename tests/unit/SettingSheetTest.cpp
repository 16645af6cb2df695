#include "app/TesterPageLogic.h"
#include "platform/MessageBox.h"
#include "settings/SwitcherPageLogic.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace {

using Item = TesterPageLogic::TestItem;

class SettingSheetTest : public ::testing::Test {
protected:
    TempDir m_dir;
    AppSettings m_settings;
    SettingsStore m_store{m_settings, m_dir.Path()};
    platform::ScriptedMessageBox m_messages;
    TesterPageLogic m_tester{m_store, m_messages};
    AutostartEntry m_autostart{m_dir.Path(), m_dir.Path()};

    bool Saved() const { return !m_dir.Read(SettingsStore::FileName).empty(); }
};

TEST_F(SettingSheetTest, InitialisationCopiesTheSettingsAndComputesAll) {
    m_settings.Timeout = -1;
    auto c = m_tester.Initialise();
    EXPECT_EQ(c.m_maxThread, "80");
    EXPECT_EQ(c.m_timeout, "4294967295"); // an unsigned field
    EXPECT_EQ(c.m_proxyJudge, m_settings.ProxyJudge);
    EXPECT_TRUE(c.m_delay && c.m_anonymity);
    EXPECT_FALSE(c.m_all);

    m_settings.TestCountry = m_settings.TestSSL = m_settings.TestGateway = 1;
    m_settings.TestDanger = m_settings.TestCodeen = 1;
    EXPECT_TRUE(m_tester.Initialise().m_all);
}

TEST_F(SettingSheetTest, TestItemBoxesFollowEachOther) {
    auto c = m_tester.Initialise();
    c.m_strictMode = true;
    c.m_all = true;
    m_tester.OnAllClicked(c);
    EXPECT_TRUE(c.m_gateway && c.m_codeen && c.m_country);
    c.m_all = false;
    m_tester.OnAllClicked(c);
    EXPECT_FALSE(c.m_delay || c.m_anonymity || c.m_https);
    EXPECT_TRUE(c.m_strictMode); // "all" leaves the two modes alone

    c.m_gateway = true;
    m_tester.OnItemClicked(c, Item::Gateway);
    EXPECT_TRUE(c.m_anonymity);
    c.m_anonymity = false;
    m_tester.OnItemClicked(c, Item::Anonymity);
    EXPECT_FALSE(c.m_gateway);

    for (bool* box : {&c.m_delay, &c.m_anonymity, &c.m_gateway, &c.m_danger, &c.m_country, &c.m_https}) {
        *box = true;
        m_tester.OnItemClicked(c, Item::Delay);
        EXPECT_FALSE(c.m_all);
    }
    c.m_codeen = true;
    m_tester.OnItemClicked(c, Item::Codeen);
    EXPECT_TRUE(c.m_all);
}

TEST_F(SettingSheetTest, StrictModeWarnsOncePerOpening) {
    auto c = m_tester.Initialise();
    for (bool on : {true, false, true, false, true}) {
        c.m_strictMode = on;
        m_tester.OnStrictModeClicked(c);
    }
    ASSERT_EQ(m_messages.m_shown.size(), 1u);
    EXPECT_EQ(m_messages.m_shown[0], "Using strict mode will greatly decrease the number of Level 1 proxies.\n"
                                     "It's recommended to use the normal mode.");
    c = m_tester.Initialise();
    c.m_strictMode = true;
    m_tester.OnStrictModeClicked(c);
    EXPECT_EQ(m_messages.m_shown.size(), 2u);
}

TEST_F(SettingSheetTest, DefaultButtonsResetTheControlsButNotTheJudge) {
    auto c = m_tester.Initialise();
    c.m_proxyJudge = "http://judge.example/";
    c.m_maxThread = "5";
    c.m_timeout = "";
    c.m_all = true;
    m_tester.OnAllClicked(c);
    c.m_strictMode = c.m_simulateBrowser = true;
    m_tester.OnDefault(c);
    EXPECT_EQ(c.m_proxyJudge, "http://judge.example/");
    EXPECT_EQ(c.m_maxThread, "80");
    EXPECT_EQ(c.m_timeout, "30");
    EXPECT_TRUE(c.m_delay && c.m_anonymity);
    EXPECT_FALSE(c.m_strictMode || c.m_simulateBrowser || c.m_gateway || c.m_https || c.m_all);
    EXPECT_EQ(m_settings.MaxThread, 80); // nothing is stored until OK
    EXPECT_FALSE(Saved());

    SwitcherPageLogic switcher(m_store, m_messages, m_autostart);
    SwitcherPageControls s{false, false};
    switcher.OnDefault(s);
    EXPECT_TRUE(s.m_changeIEProxy && s.m_changeFFProxy);
}

TEST_F(SettingSheetTest, ValidationChecksInOrderAndKeepsWhatPassedBeforeAFailure) {
    auto c = m_tester.Initialise();
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"0", "Max thread must be between 1 and 100"},
        {"101", "Max thread must be between 1 and 100"},
        {"-3", "Max thread must be between 1 and 100"},
        {"ten", "Please enter an integer."},
        {"99999999999", "Max thread must be between 1 and 100"}};
    for (const auto& [text, message] : refused) {
        c.m_maxThread = text;
        EXPECT_FALSE(m_tester.Validate(c)) << text;
        EXPECT_EQ(m_messages.m_shown.back(), message) << text;
    }
    EXPECT_EQ(m_settings.MaxThread, 80);

    c.m_maxThread = " 100 ";
    c.m_timeout = "0";
    EXPECT_FALSE(m_tester.Validate(c));
    EXPECT_EQ(m_messages.m_shown.back(), "Timeout must be between 1 and 100");
    EXPECT_EQ(m_settings.MaxThread, 100); // taken although a later step failed
    c.m_timeout = "-1";
    EXPECT_FALSE(m_tester.Validate(c));
    EXPECT_EQ(m_messages.m_shown.back(), "Please enter a positive integer.");
    c.m_timeout = "101";
    EXPECT_FALSE(m_tester.Validate(c));

    c.m_timeout = "1";
    c.m_proxyJudge = "";
    EXPECT_FALSE(m_tester.Validate(c));
    EXPECT_EQ(m_messages.m_shown.back(), "ProxyJudge address must not be empty");
    EXPECT_EQ(m_settings.Timeout, 1);

    c.m_proxyJudge = "judge.example/azenv.php";
    c.m_all = false;
    m_tester.OnAllClicked(c);
    EXPECT_FALSE(m_tester.Validate(c));
    EXPECT_EQ(m_messages.m_shown.back(), "You must select at least one Test Item.");
    EXPECT_EQ(m_settings.ProxyJudge, "http://judge.example/azenv.php");
    EXPECT_FALSE(Saved());
}

TEST_F(SettingSheetTest, ASuccessfulValidationTakesEverythingAndSaves) {
    auto c = m_tester.Initialise();
    c.m_proxyJudge = "HTTP://Judge.example/";
    c.m_maxThread = "1";
    c.m_timeout = "100";
    c.m_simulateBrowser = true;
    c.m_delay = false;
    c.m_https = true;
    ASSERT_TRUE(m_tester.Validate(c));
    EXPECT_EQ(m_settings.ProxyJudge, "HTTP://Judge.example/");
    EXPECT_EQ(m_settings.MaxThread, 1);
    EXPECT_EQ(m_settings.Timeout, 100);
    EXPECT_EQ(m_settings.SimulateBrowser, 1);
    EXPECT_EQ(m_settings.TestDelay, 0);
    EXPECT_EQ(m_settings.TestSSL, 1);
    EXPECT_TRUE(m_messages.m_shown.empty());

    AppSettings reloaded;
    SettingsStore(reloaded, m_dir.Path()).LoadSettings("/p/");
    EXPECT_EQ(reloaded.MaxThread, 1);
    EXPECT_EQ(reloaded.ProxyJudge, "HTTP://Judge.example/");

    c.m_proxyJudge = "see http://judge.example/"; // a blank separates judges: each gets its scheme
    ASSERT_TRUE(m_tester.Validate(c));
    EXPECT_EQ(m_settings.ProxyJudge, "http://see http://judge.example/");

    SwitcherPageLogic switcher(m_store, m_messages, m_autostart);
    ASSERT_TRUE(switcher.Validate({false, true}));
    SettingsStore(reloaded, m_dir.Path()).LoadSettings("/p/");
    EXPECT_EQ(reloaded.ChangeIEProxy, 0);
    EXPECT_EQ(reloaded.ChangeFFProxy, 1);
    EXPECT_FALSE(switcher.Initialise().m_changeIEProxy);
}

TEST_F(SettingSheetTest, BadJudgeOrTestPageAddressesAreRefusedAfterTheOldChecksAndChangeNothing) {
    struct Case {
        std::string judge, page, marker, message;
    };
    const std::string badJudge = "is not a valid http or https URL.";
    const std::vector<Case> refused = {
        {"http://", "http://p.example/", "m", "The proxy judge address \"http://\" " + badJudge},
        {"ftp://j.example/", "http://p.example/", "m",
         "The proxy judge address \"http://ftp://j.example/\" " + badJudge},
        {"http://a.example/ http://b_c/", "http://p.example/", "m",
         "The proxy judge address \"http://b_c/\" " + badJudge},
        {"http://j.example:70000/", "http://p.example/", "m",
         "The proxy judge address \"http://j.example:70000/\" " + badJudge},
        {"j.example https://k.example/", "http://p.example/", "m",
         "The proxy judge \"https://k.example/\" is https: please enter an http address."},
        {"j.example", "p.example", "m", "The test page address is not a valid http or https URL."},
        {"j.example", "http://p.example:x/", "m", "The test page address is not a valid http or https URL."},
        {"j.example", "https://p.example/", "m",
         "The delay test cannot use an https test page: please enter an http address."},
        {"j.example", "http://p.example/", "", "The test page marker must not be empty."},
    };
    for (const Case& c : refused) {
        auto controls = m_tester.Initialise();
        controls.m_proxyJudge = c.judge;
        controls.m_testPage = c.page;
        controls.m_testPageMarker = c.marker;
        EXPECT_FALSE(m_tester.Validate(controls)) << c.judge << " " << c.page;
        EXPECT_EQ(m_messages.m_shown.back(), c.message);
        EXPECT_EQ(m_settings.TestPage, AppSettings::DefaultTestPage);
        EXPECT_EQ(m_settings.TestPageMarker, AppSettings::DefaultTestPageMarker);
    }
    EXPECT_EQ(m_settings.ProxyJudge, "http://j.example"); // the judge passed before the page failed
    EXPECT_FALSE(Saved());

    auto controls = m_tester.Initialise();
    controls.m_proxyJudge = "  a.example:81/x   HTTP://B.example/ ";
    controls.m_testPage = "http://127.0.0.1:8080/own.html";
    controls.m_testPageMarker = "Own words";
    ASSERT_TRUE(m_tester.Validate(controls));
    EXPECT_EQ(m_settings.ProxyJudge, "http://a.example:81/x HTTP://B.example/");
    EXPECT_EQ(m_settings.TestPage, "http://127.0.0.1:8080/own.html");
    EXPECT_EQ(m_settings.TestPageMarker, "Own words");
}

TEST(TesterPageChecks, JudgesAndTheTestPageAreFetchedDirectlyAndReported) {
    LoopbackServer server;
    const uint16_t judge = server.AddJudge(JudgeDialect::ColonBr);
    const uint16_t page = server.AddPage(std::chrono::milliseconds(0), "Own words");
    server.Start();
    const std::string judgeUrl = "http://127.0.0.1:" + std::to_string(judge) + "/azenv.php";
    const std::string pageUrl = "http://127.0.0.1:" + std::to_string(page) + "/own.html";
    const std::string dead = "127.0.0.1:" + std::to_string(ClosedPort()) + "/";

    EXPECT_EQ(TesterPageLogic::CheckJudges(dead + " " + pageUrl + " " + judgeUrl, 5),
              "http://" + dead + ": no answer\n" + pageUrl + ": answered without this PC's address\n" + judgeUrl +
                  ": answered, own address 127.0.0.1\n");
    EXPECT_EQ(TesterPageLogic::CheckJudges("  ", 5), "No proxy judge address to check.\n");

    const std::pair<std::pair<std::string, std::string>, std::string> pages[] = {
        {{pageUrl, "Own words"}, "The test page answered and holds the marker \"Own words\"."},
        {{pageUrl, "Other words"}, "The test page answered, but the marker \"Other words\" is not in it."},
        {{"http://" + dead, "Own words"}, "The test page did not answer."},
        {{"https://127.0.0.1/", "Own words"}, "The test page must be a valid http address."},
    };
    for (const auto& [input, answer] : pages)
        EXPECT_EQ(TesterPageLogic::CheckTestPage(input.first, input.second, 5), answer) << input.first;
}

} // namespace

// The watch's keys come back into their range from a hand-edited file and from the page.
TEST(SwitcherPageWatch, WatchKeysAreClampedOnLoadAndOnOk) {
    struct Case {
        const char* m_file;
        int32_t m_active;
        int32_t m_minutes;
        int32_t m_whenNone = 0;
    };
    const Case cases[] = {
        {"", 0, 5},
        {"WatchActive=1\r\nWatchMinutes=1440\r\n", 1, 1440},
        {"WatchActive=7\r\nWatchMinutes=0\r\n", 1, 1},
        {"WatchActive=-2\r\nWatchMinutes=99999\r\nWhenNoProxyWorks=1\r\n", 0, 1440, 1},
        {"WhenNoProxyWorks=5\r\n", 0, 5, 1},
        {"WatchActive=yes\r\nWatchMinutes=soon\r\n", 0, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_file);
        TempDir dir;
        dir.Write(SettingsStore::FileName, std::string("[Settings]\r\n") + c.m_file);
        AppSettings settings;
        SettingsStore store(settings, dir.Path());
        store.LoadSettings("/p/");
        EXPECT_EQ(settings.WatchActive, c.m_active);
        EXPECT_EQ(settings.WatchMinutes, c.m_minutes);
        EXPECT_EQ(settings.WhenNoProxyWorks, c.m_whenNone);
    }
    TempDir dir;
    AppSettings settings;
    SettingsStore store(settings, dir.Path());
    platform::ScriptedMessageBox messages;
    SwitcherPageLogic page(store, messages, AutostartEntry(dir.Path(), dir.Path()));
    ASSERT_TRUE(page.Validate({true, true, true, 5000}));
    AppSettings reloaded;
    SettingsStore(reloaded, dir.Path()).LoadSettings("/p/");
    EXPECT_EQ(reloaded.WatchActive, 1);
    EXPECT_EQ(reloaded.WatchMinutes, 1440);
    EXPECT_TRUE(page.Initialise().m_watchActive);
}
