// The orv window itself, offscreen, as a user's terminal and a second start meet it.
#include "settings/SavedList.h"
#include "settings/SettingsStore.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

namespace {

using namespace std::chrono_literals;

// A data folder of its own, no desktop proxy and Firefox ports where nothing listens.
class WindowEndToEnd : public testing::Test {
protected:
    TempDir m_dir;
    const std::string m_ports = std::to_string(ClosedPort()) + "," + std::to_string(ClosedPort());
    ScopedEnv m_data{"ORV_DATA_DIR", m_dir.File("data").c_str()};
    ScopedEnv m_platform{"QT_QPA_PLATFORM", "offscreen"};
    ScopedEnv m_proxy{"ORV_SYSTEM_PROXY", "none"};
    ScopedEnv m_firefox{"ORV_FIREFOX_PORTS", m_ports.c_str()};
};

} // namespace

TEST_F(WindowEndToEnd, HangUpClosesTheWindowThroughItsShutdownSoTheListIsSaved) {
    ChildProcess orv;
    ASSERT_TRUE(orv.Start({ORV_EXECUTABLE}, m_dir.File("orv.log")));
    ASSERT_TRUE(orv.WaitCatches(SIGHUP, 30s)) << m_dir.Read("orv.log");
    orv.Send(SIGHUP);
    EXPECT_EQ(orv.WaitExit(10s), 0) << m_dir.Read("orv.log");
    EXPECT_TRUE(std::filesystem::exists(m_dir.File("data/") + SavedList::FileName));
}

TEST_F(WindowEndToEnd, ASecondWindowOnTheSameDataFolderSaysSoAndTouchesNothing) {
    std::filesystem::create_directories(m_dir.File("data"));
    const std::string settings = "[Settings]\r\nMaxThread=7\r\n";
    m_dir.Write(std::string("data/") + SettingsStore::FileName, settings);
    ChildProcess first;
    ASSERT_TRUE(first.Start({ORV_EXECUTABLE}, m_dir.File("first.log")));
    ASSERT_TRUE(first.WaitCatches(SIGTERM, 30s)) << m_dir.Read("first.log");

    ChildProcess second;
    ASSERT_TRUE(second.Start({ORV_EXECUTABLE}, m_dir.File("second.log")));
    EXPECT_EQ(second.WaitExit(30s), 1);
    const std::string said = "orv: Tarvelo is already running with the data folder " + m_dir.File("data") + ".\n";
    EXPECT_NE(m_dir.Read("second.log").find(said), std::string::npos) << m_dir.Read("second.log");
    EXPECT_EQ(m_dir.Read(std::string("data/") + SettingsStore::FileName), settings);
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("data/") + SavedList::FileName));

    // The command line never writes the saved list: it runs beside the window.
    m_dir.Write("proxies.txt", "1.2.3.4:8080");
    const ProgramResult extract = RunProgram({ORV_EXECUTABLE, "--extract", m_dir.File("proxies.txt")});
    EXPECT_EQ(extract.m_exitCode, 0) << extract.m_errors;
    EXPECT_EQ(extract.m_output, "1.2.3.4:8080\n");
    EXPECT_TRUE(first.Running());
}
