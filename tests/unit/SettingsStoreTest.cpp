#include "settings/SettingsStore.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace {

const std::string DefaultFile = "[Settings]\r\n"
                                "MaxThread=80\r\n"
                                "Timeout=30\r\n"
                                "SimulateBrowser=0\r\n"
                                "StrictTest=0\r\n"
                                "TestDelay=1\r\n"
                                "TestAnon=1\r\n"
                                "TestCountry=0\r\n"
                                "TestSSL=0\r\n"
                                "TestGateway=0\r\n"
                                "TestDanger=0\r\n"
                                "TestCodeen=0\r\n"
                                "SaveLevel1=1\r\n"
                                "SaveLevel2=1\r\n"
                                "SaveLevel3=1\r\n"
                                "SaveSSL=1\r\n"
                                "SaveUnchecked=0\r\n"
                                "SaveTimeout=0\r\n"
                                "SaveCountry=1\r\n"
                                "SaveNoTitle=0\r\n"
                                "SaveDelay=1\r\n"
                                "CheckSystem=0\r\n"
                                "ChangeIEProxy=1\r\n"
                                "ChangeFFProxy=1\r\n"
                                "DispatchOnTick=0\r\n"
                                "WatchActive=0\r\n"
                                "WatchMinutes=5\r\n"
                                "WhenNoProxyWorks=0\r\n"
                                "ProxyJudge=" +
                                std::string(AppSettings::DefaultProxyJudge) +
                                "\r\n"
                                "SaveFilePath=/opt/orv/proxy.txt\r\n"
                                "TestPage=http://www.google.com/\r\n"
                                "TestPageMarker=google\r\n";

TEST(SettingsStore, FirstStartGivesTheDefaultsAndTheFirstSaveWritesAllKeysInOrder) {
    TempDir dir;
    AppSettings settings;
    SettingsStore store(settings, dir.Path());
    store.LoadSettings("/opt/orv/");
    EXPECT_EQ(settings.MaxThread, 80);
    EXPECT_EQ(settings.Timeout, 30);
    EXPECT_EQ(settings.TestDelay, 1);
    EXPECT_EQ(settings.CheckSystem, 0);
    EXPECT_EQ(settings.SaveFilePath, "/opt/orv/proxy.txt");
    EXPECT_EQ(settings.ProxyJudge.rfind("http://", 0), 0u);
    EXPECT_NE(settings.ProxyJudge.find("/AZenv/azenv.php"), std::string::npos);

    store.SaveSettings();
    EXPECT_EQ(dir.Read(SettingsStore::FileName), DefaultFile);
    store.SaveSettings(); // nothing changed: the same 31 keys again
    EXPECT_EQ(dir.Read(SettingsStore::FileName), DefaultFile);
}

TEST(SettingsStore, ValuesFromTheFileAreTakenUncheckedAndOtherTextSurvives) {
    TempDir dir;
    dir.Write(SettingsStore::FileName, "; mine\r\n"
                                       "[settings]\r\n"
                                       "maxthread=\r\n"
                                       "Timeout=soon\r\n"
                                       "TestDelay=-1\r\n"
                                       "SaveLevel1=250\r\n"
                                       "DispatchOnTick=7\r\n"
                                       "ProxyJudge=\r\n"
                                       "TestPage=http://127.0.0.1:8080/mine.html\r\n"
                                       "Extra=keep\r\n");
    AppSettings settings;
    SettingsStore store(settings, dir.Path());
    store.LoadSettings("/p/");
    EXPECT_EQ(settings.MaxThread, 80);
    EXPECT_EQ(settings.Timeout, 0);
    EXPECT_EQ(settings.TestDelay, -1);
    EXPECT_EQ(settings.SaveLevel1, 250);
    EXPECT_EQ(settings.DispatchOnTick, 1); // a switch: brought to 0 or 1
    EXPECT_EQ(settings.ProxyJudge, "");
    EXPECT_EQ(settings.SaveFilePath, "/p/proxy.txt");
    EXPECT_EQ(settings.TestPage, "http://127.0.0.1:8080/mine.html");
    EXPECT_EQ(settings.TestPageMarker, AppSettings::DefaultTestPageMarker);

    settings.MaxThread = 12;
    settings.DispatchOnTick = 0;
    settings.TestPageMarker = "Mine and only mine";
    store.SaveSettings();
    const std::string text = dir.Read(SettingsStore::FileName);
    EXPECT_EQ(text.rfind("; mine\r\n[settings]\r\nmaxthread=12\r\nTimeout=0\r\nTestDelay=-1\r\n", 0), 0u);
    EXPECT_NE(text.find("Extra=keep\r\nSimulateBrowser=0\r\n"), std::string::npos);
    EXPECT_NE(text.find("ProxyJudge=\r\n"), std::string::npos);

    AppSettings again;
    SettingsStore(again, dir.Path()).LoadSettings("/elsewhere/");
    EXPECT_EQ(again.MaxThread, 12);
    EXPECT_EQ(again.DispatchOnTick, 0);
    EXPECT_EQ(again.SaveFilePath, "/p/proxy.txt");
    EXPECT_EQ(again.TestPage, "http://127.0.0.1:8080/mine.html");
    EXPECT_EQ(again.TestPageMarker, "Mine and only mine");
}

TEST(SettingsStore, AFileAbove16MiBIsRefusedUnreadAndNeverWrittenOver) {
    TempDir dir;
    dir.Write(SettingsStore::FileName, "[Settings]\r\nMaxThread=7\r\n");
    std::filesystem::resize_file(dir.File(SettingsStore::FileName), (uint64_t{16} << 20) + 1);
    AppSettings settings;
    SettingsStore store(settings, dir.Path());
    std::vector<std::string> failures;
    store.OnSaveFailure(
        [&](const std::string& path, const std::string& reason) { failures.push_back(path + ": " + reason); });
    EXPECT_EQ(store.LoadSettings("/p/"), "File too large (over 16 MiB)");
    EXPECT_EQ(settings.MaxThread, AppSettings().MaxThread);
    EXPECT_FALSE(store.SaveSettings());
    EXPECT_EQ(failures,
              std::vector<std::string>{store.Path() + ": the file there cannot be read: File too large (over 16 MiB)"});
    EXPECT_EQ(std::filesystem::file_size(store.Path()), (uint64_t{16} << 20) + 1);
}

} // namespace
