#include "app/ExportDialogLogic.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/ShellOpen.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

ProxyItem* Add(ProxyList& list, const char* address, int32_t anonymity, int32_t status, int32_t delay = 350,
               int32_t https = 0, int32_t country = 222) {
    auto item = std::make_unique<ProxyItem>();
    item->SetAddress(address);
    item->m_anonymity = anonymity;
    item->m_status = status;
    item->m_delay = delay;
    item->m_https = https;
    item->m_country = country;
    return list.Append(std::move(item));
}

class ExportTest : public ::testing::Test {
protected:
    TempDir m_dir;
    AppSettings m_settings;
    SettingsStore m_store{m_settings, m_dir.Path()};
    platform::ScriptedMessageBox m_messages;
    platform::ScriptedFileDialog m_fileDialog;
    platform::RecordingShellOpen m_shell;
    ProxyList m_list;

    ExportDialogLogic Dialog(std::vector<ProxyItem*> set) {
        return ExportDialogLogic(m_store, {m_messages, m_fileDialog, m_shell}, std::move(set), "2026-12-07 10:30:00");
    }
    ExportDialogLogic DialogForAll() { return Dialog(ExportDialogLogic::ExportAll(m_list)); }
};

TEST_F(ExportTest, OneElite_HttpsProxyGivesTheDocumentedFile) {
    Add(m_list, "1.2.3.4:3128", 1, StatusGood, 350, 1);
    m_settings.TestSSL = 1;
    m_settings.SaveUnchecked = m_settings.SaveTimeout = 1;
    m_settings.SaveFilePath = m_dir.File("out/proxy.txt");
    auto dialog = DialogForAll();
    auto c = dialog.Initialise();
    const std::string expected = "Checked by Tarvelo\r\n"
                                 "2026-12-07 10:30:00\r\n"
                                 "Timeout: 30s\r\n"
                                 "\r\n"
                                 "[High Anonymous / Level1 Proxies (1)]\r\n"
                                 "1.2.3.4:3128  \tUS  \t350ms\r\n"
                                 "\r\n"
                                 "[Anonymous / Level2 Proxies (0)]\r\n"
                                 "\r\n"
                                 "[Transparent / Level3 Proxies (0)]\r\n"
                                 "\r\n"
                                 "[SSL / HTTPS Proxies (1)]\r\n"
                                 "1.2.3.4:3128  \tUS  \t350ms\r\n"
                                 "\r\n"
                                 "[Unchecked Proxies (0)]\r\n"
                                 "\r\n"
                                 "[Timeout Proxies (0)]\r\n";
    EXPECT_EQ(c.m_text, expected);
    EXPECT_EQ(c.m_total, 2);

    ASSERT_TRUE(dialog.OnSave(c));
    EXPECT_EQ(m_dir.Read("out/proxy.txt"), expected);
    EXPECT_EQ(m_shell.m_opened, std::vector<std::string>{m_dir.File("out/proxy.txt")});
    EXPECT_TRUE(m_messages.m_shown.empty());
}

TEST_F(ExportTest, LinesCarryTheDelayOnlyWhenItIsAMeasuredTime) {
    ProxyItem item;
    item.SetAddress("10.0.0.1:80");
    item.m_country = -1;
    item.m_delay = TimedOut;
    EXPECT_EQ(ExportComposer::FormatLine(item, true, true), "10.0.0.1:80  \t--\r\n");
    item.m_delay = Untested;
    item.m_country = Untested;
    EXPECT_EQ(ExportComposer::FormatLine(item, true, true), "10.0.0.1:80  \t\r\n");
    item.m_delay = 0;
    EXPECT_EQ(ExportComposer::FormatLine(item, false, true), "10.0.0.1:80\r\n");
    item.m_delay = 7;
    EXPECT_EQ(ExportComposer::FormatLine(item, false, true), "10.0.0.1:80  \t7ms\r\n");
    EXPECT_EQ(ExportComposer::FormatLine(item, false, false), "10.0.0.1:80\r\n");
}

TEST(ExportComposer, SocksLinesCarryTheirSchemeAndPasswordsOnlyWhenAsked) {
    ProxyItem item;
    item.SetAddress("10.0.0.1:1080");
    item.SetKind(ProxyKind::Socks5);
    EXPECT_EQ(ExportComposer::FormatLine(item, false, false), "socks5://10.0.0.1:1080\r\n");
    item.SetKind(ProxyKind::Socks4);
    item.SetCredentials("u", "p");
    EXPECT_EQ(ExportComposer::FormatLine(item, false, false), "socks4://10.0.0.1:1080\r\n");
    EXPECT_EQ(ExportComposer::FormatLine(item, false, false, true), "socks4://u:p@10.0.0.1:1080\r\n");
}

TEST_F(ExportTest, NoTitleGivesJustTheLinesOfTheChosenSections) {
    Add(m_list, "1.1.1.1:1", 1, StatusGood);
    Add(m_list, "2.2.2.2:2", 2, StatusGood);
    Add(m_list, "3.3.3.3:3", TimedOut, StatusBad, TimedOut);
    m_settings.SaveNoTitle = 1;
    m_settings.SaveCountry = 0;
    m_settings.SaveTimeout = 1;
    auto dialog = DialogForAll();
    auto c = dialog.Initialise();
    EXPECT_EQ(c.m_text, "1.1.1.1:1  \t350ms\r\n2.2.2.2:2  \t350ms\r\n3.3.3.3:3\r\n");
    EXPECT_EQ(c.m_total, 3);

    c.m_options.m_level1 = false;
    dialog.OnSectionOptionClicked(c);
    EXPECT_EQ(c.m_text, "2.2.2.2:2  \t350ms\r\n3.3.3.3:3\r\n");
    c.m_options.m_speed = false;
    dialog.OnLineOptionClicked(c);
    EXPECT_EQ(c.m_text, "2.2.2.2:2\r\n3.3.3.3:3\r\n");
}

TEST_F(ExportTest, WithoutTheAnonymityTestTestedRecordsAreUnclassified) {
    Add(m_list, "1.1.1.1:1", Untested, StatusGood, 120);
    Add(m_list, "2.2.2.2:2", Untested, StatusUnknown, 300); // unchecked, not unclassified
    Add(m_list, "3.3.3.3:3", Untested, StatusReady, Untested);
    Add(m_list, "4.4.4.4:4", Untested, StatusActive, 90);
    m_settings.TestAnon = 0;
    m_settings.TestDelay = 0;
    m_settings.SaveLevel2 = 0;
    m_settings.SaveCountry = 0;
    m_settings.SaveUnchecked = 1;
    auto dialog = DialogForAll();
    auto c = dialog.Initialise();
    EXPECT_TRUE(c.m_options.m_level1 && c.m_options.m_level2 && c.m_options.m_level3); // turned on
    EXPECT_TRUE(c.m_options.m_unchecked); // as the setting says: the first record is Good
    EXPECT_FALSE(c.m_options.m_speed);
    EXPECT_FALSE(c.m_options.m_ssl);
    const std::string tail = "[Unclassified Proxies (2)]\r\n1.1.1.1:1\r\n4.4.4.4:4\r\n";
    ASSERT_GE(c.m_text.size(), tail.size());
    EXPECT_EQ(c.m_text.substr(c.m_text.size() - tail.size()), tail);
    EXPECT_NE(c.m_text.find("[Unchecked Proxies (1)]\r\n2.2.2.2:2\r\n\r\n"), std::string::npos);
    EXPECT_EQ(c.m_total, 3);

    c.m_options.m_level3 = false;
    dialog.OnSectionOptionClicked(c);
    EXPECT_EQ(c.m_text.find("Unclassified"), std::string::npos);
}

TEST_F(ExportTest, InitialisationFollowsTheFirstRecordAndTheTests) {
    Add(m_list, "1.1.1.1:1", 1, StatusUnknown);
    Add(m_list, "2.2.2.2:2", 1, StatusGood);
    EXPECT_TRUE(Dialog(ExportDialogLogic::ExportAll(m_list)).Initialise().m_options.m_unchecked);
    auto c = Dialog(*ExportDialogLogic::ExportSelected(m_list, {1})).Initialise();
    EXPECT_FALSE(c.m_options.m_unchecked);
    EXPECT_TRUE(c.m_options.m_speed);
    EXPECT_FALSE(c.m_options.m_ssl); // https was not tested

    // An empty set keeps the setting and exports the header only.
    m_settings.SaveUnchecked = 1;
    c = Dialog({}).Initialise();
    EXPECT_TRUE(c.m_options.m_unchecked);
    c.m_options = {false, false, false, false, false, false, true, true, false};
    Dialog({}).OnSectionOptionClicked(c);
    EXPECT_EQ(c.m_text, "Checked by Tarvelo\r\n2026-12-07 10:30:00\r\nTimeout: 30s\r\n\r\n");
    EXPECT_EQ(c.m_total, 0);
}

TEST_F(ExportTest, SelectedRowsAreTakenInListOrder) {
    Add(m_list, "1.1.1.1:1", 1, StatusGood);
    Add(m_list, "2.2.2.2:2", 1, StatusGood);
    Add(m_list, "3.3.3.3:3", 1, StatusGood);
    EXPECT_FALSE(ExportDialogLogic::ExportSelected(m_list, {}).has_value());
    const auto set = ExportDialogLogic::ExportSelected(m_list, {2, 0, 2});
    ASSERT_TRUE(set.has_value());
    EXPECT_EQ(*set, (std::vector<ProxyItem*>{m_list[0], m_list[2]}));
    EXPECT_EQ(ExportDialogLogic::ExportAll(m_list).size(), 3u);
}

TEST_F(ExportTest, SaveRefusesBadInputAfterStoringTheOptions) {
    auto dialog = DialogForAll();
    auto c = dialog.Initialise();
    c.m_options.m_noTitle = true;
    c.m_text = "";
    c.m_path = m_dir.File("x.txt");
    EXPECT_FALSE(dialog.OnSave(c));
    EXPECT_EQ(m_messages.m_shown.back(), "Please input the proper text for the output settings.");
    // The options reached the settings and their file first.
    EXPECT_EQ(m_settings.SaveNoTitle, 1);
    EXPECT_NE(m_dir.Read(SettingsStore::FileName).find("SaveNoTitle=1\r\n"), std::string::npos);

    c.m_text = "edited by hand\r\n";
    c.m_path = "proxy.txt";
    EXPECT_FALSE(dialog.OnSave(c));
    EXPECT_EQ(m_messages.m_shown.back(), "Please select the proper folder for the result file.");

    c.m_path = m_dir.Path(); // a folder, not a file
    EXPECT_FALSE(dialog.OnSave(c));
    EXPECT_EQ(m_messages.m_shown.back(), "Please input the proper text for the file path.");
    EXPECT_TRUE(m_shell.m_opened.empty());

    c.m_path = m_dir.File("a/b/c.txt");
    ASSERT_TRUE(dialog.OnSave(c));
    EXPECT_EQ(m_dir.Read("a/b/c.txt"), "edited by hand\r\n");
    EXPECT_EQ(m_settings.SaveFilePath, m_dir.File("a/b/c.txt"));
}

TEST_F(ExportTest, BrowseAndExit) {
    auto dialog = DialogForAll();
    auto c = dialog.Initialise();
    const std::string before = c.m_path;
    dialog.OnBrowse(c); // cancelled
    EXPECT_EQ(c.m_path, before);
    m_fileDialog.m_folder = "";
    dialog.OnBrowse(c);
    EXPECT_EQ(m_messages.m_shown.back(), "Please select the proper folder for the result file.");
    m_fileDialog.m_folder = "/home/me";
    dialog.OnBrowse(c);
    EXPECT_EQ(c.m_path, "/home/me/proxy.txt");
    EXPECT_EQ(m_fileDialog.m_titles.back(), "Please select the output folder");

    c.m_options.m_country = false;
    dialog.OnExit(c);
    EXPECT_EQ(m_settings.SaveCountry, 0);
    EXPECT_EQ(m_settings.SaveFilePath, "/home/me/proxy.txt");
    AppSettings reloaded;
    SettingsStore(reloaded, m_dir.Path()).LoadSettings("/p/");
    EXPECT_EQ(reloaded.SaveFilePath, "/home/me/proxy.txt");
}

} // namespace
