#include "installer/ExtensionInstaller.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace fs = std::filesystem;
using platform::MessageBox;
using namespace std::chrono_literals;

namespace {

const char* const Key = "extensions/{ec8030f7-c20a-464f-9b0e-13a3a9e97384}/orv@tarvelo.invalid";
const char* const Bridge = "hosts/tarvelo_orv_bridge.json";

// An installer over temporary folders, a scripted Firefox and scripted boxes; the time slept is added up.
struct Installer {
    TempDir dir;
    MessageBox::Answer manualStartAnswer = MessageBox::AnswerOk;
    platform::ScriptedMessageBox box;
    platform::ScriptedFirefoxProcesses firefox;
    std::chrono::milliseconds slept{0};
    int broughtToFront = 0;
    ExtensionInstaller installer{box,
                                 firefox,
                                 {dir.File("orv/"), dir.File("extensions"), dir.File("hosts")},
                                 [this](std::chrono::milliseconds time) { slept += time; }};

    Installer() {
        fs::create_directories(dir.File("orv/firefox"));
        installer.SetBringToFront([this] { ++broughtToFront; });
    }
};

} // namespace

// Firefox refuses the first close request, then is started with the empty value so that it drops the
// old version, and comes up on the second look; then the value names the folder and the bridge is there.
TEST(ExtensionInstaller, InstallClearsStartsFirefoxThenRegisters) {
    Installer t;
    t.firefox.m_running = true;
    t.firefox.m_closeRequestsIgnored = 1;
    t.firefox.m_checksUntilStarted = 1;
    EXPECT_EQ(t.installer.InstallExtension(), ExtensionInstaller::Finished);

    EXPECT_EQ(t.box.m_shown, (std::vector<std::string>{
                                 "Close your Firefox now to prepare for the installation?",
                                 "Close your Firefox now to prepare for the installation?",
                                 "Close your Firefox now to continue the installation?",
                                 "Thank you! The installation of ORV Extension for Firefox is complete.",
                             }));
    EXPECT_EQ(t.box.m_captions, std::vector<std::string>(4, "Install Firefox ORV Extension"));
    // The whole wait for the Firefox that ignored the request, two one-second looks, then one second before
    // the dialog comes back.
    EXPECT_EQ(t.slept, ExtensionInstaller::CloseWait + 3s);
    EXPECT_EQ(t.broughtToFront, 1);
    EXPECT_EQ(t.firefox.m_starts, 2);
    EXPECT_EQ(t.dir.Read(Key), t.dir.File("orv/firefox"));
    const std::string bridge = t.dir.Read(Bridge);
    EXPECT_EQ(nlohmann::json::parse(bridge), (nlohmann::json{
                                                 {"name", "tarvelo_orv_bridge"},
                                                 {"description", "Passes orv's proxy switches to the ORV extension"},
                                                 {"path", t.dir.File("orv/orv-firefox-bridge")},
                                                 {"type", "stdio"},
                                                 {"allowed_extensions", nlohmann::json::array({"orv@tarvelo.invalid"})},
                                             }));
    // Written for people too: the fields in their usual order, indented.
    EXPECT_EQ(bridge.rfind("{\n  \"name\": \"tarvelo_orv_bridge\",\n  \"description\": ", 0), 0u);
}

// A Firefox that never comes up: six one-second steps, then the manual-start prompt.
TEST(ExtensionInstaller, FirefoxThatDoesNotStart) {
    struct Case {
        MessageBox::Answer answer;
        int checksUntilStarted;
        ExtensionInstaller::Result result;
        std::string value;
    } cases[] = {
        {MessageBox::AnswerCancel, -1, ExtensionInstaller::Stopped, ""},
        {MessageBox::AnswerOk, 6, ExtensionInstaller::Finished, "orv/firefox"},
    };
    for (const Case& c : cases) {
        Installer t;
        t.firefox.m_checksUntilStarted = c.checksUntilStarted;
        t.box.m_answers = {c.answer};
        EXPECT_EQ(t.installer.InstallExtension(), c.result);
        ASSERT_GE(t.box.m_shown.size(), 1u);
        EXPECT_EQ(t.box.m_shown[0],
                  "Please manually start your Firefox to uninstall the previous version of ORV extension.");
        EXPECT_EQ(t.dir.Read(Key), c.value.empty() ? "" : t.dir.File(c.value));
        EXPECT_EQ(fs::exists(t.dir.File(Bridge)), !c.value.empty());
        EXPECT_EQ(t.slept, c.result == ExtensionInstaller::Stopped ? 6s : 7s);
    }
}

// Firefox ends a while after the close request: the prompt comes back only for one still there after the wait.
TEST(ExtensionInstaller, ThePromptWaitsForFirefoxToEndAfterTheCloseRequest) {
    const struct {
        int checksUntilClosed;
        size_t prompts;
        std::chrono::milliseconds slept;
    } cases[] = {{3, 1, 3 * ExtensionInstaller::ClosePoll},
                 {55, 2, ExtensionInstaller::CloseWait + 3 * ExtensionInstaller::ClosePoll}};
    for (const auto& c : cases) {
        Installer t;
        t.firefox.m_running = true;
        t.firefox.m_checksUntilClosed = c.checksUntilClosed;
        t.installer.CloseFirefoxLoop("Close your Firefox now to prepare for the uninstall?", "caption");
        EXPECT_FALSE(t.firefox.IsRunning());
        EXPECT_EQ(t.box.m_shown.size(), c.prompts) << c.checksUntilClosed;
        EXPECT_EQ(t.slept, c.slept) << c.checksUntilClosed;
    }
}

TEST(ExtensionInstaller, InstallOutsideTheProgramFolderChangesNothing) {
    Installer t;
    fs::remove(t.dir.File("orv/firefox"));
    t.firefox.m_running = true;
    EXPECT_EQ(t.installer.InstallExtension(), ExtensionInstaller::Stopped);
    EXPECT_EQ(t.box.m_shown, std::vector<std::string>{"Please put this program in your ORV directory.\n\n"
                                                      "This directory isn't your correct ORV directory:\n[" +
                                                      t.dir.File("orv/") + "]"});
    EXPECT_EQ(t.firefox.m_closeRequests, 0);
    EXPECT_FALSE(fs::exists(t.dir.File("extensions")));
}

TEST(ExtensionInstaller, RegistryFailureIsShownAndReported) {
    for (const bool install : {true, false}) {
        Installer t;
        t.dir.Write("extensions", "a file where the folder belongs");
        EXPECT_EQ(install ? t.installer.InstallExtension() : t.installer.UninstallExtension(),
                  ExtensionInstaller::RegistryFailed);
        EXPECT_EQ(t.box.m_shown, std::vector<std::string>{"Error! Cannot create registry key!"});
        EXPECT_EQ(t.firefox.m_starts, 0);
    }
}

// The value stays with empty data, the bridge's manifest goes, and Cancel in the last box changes nothing.
TEST(ExtensionInstaller, UninstallEmptiesTheValueAndRemovesTheBridge) {
    Installer t;
    t.firefox.m_checksUntilStarted = 0;
    ASSERT_EQ(t.installer.InstallExtension(), ExtensionInstaller::Finished);
    t.box.m_shown.clear();
    t.box.m_answers = {MessageBox::AnswerOk, MessageBox::AnswerCancel};
    t.firefox.m_running = true;

    EXPECT_EQ(t.installer.UninstallExtension(), ExtensionInstaller::Finished);
    EXPECT_EQ(t.box.m_shown, (std::vector<std::string>{"Close your Firefox now to prepare for the uninstall?",
                                                       "The uninstall of ORV Extension for Firefox is complete."}));
    EXPECT_TRUE(fs::is_regular_file(t.dir.File(Key)));
    EXPECT_EQ(t.dir.Read(Key), "");
    EXPECT_FALSE(fs::exists(t.dir.File(Bridge)));
    EXPECT_EQ(t.firefox.m_starts, 3);
}

// Firefox loads the extension only when the value's name is the identifier in its manifest, and the
// extension reaches the bridge only by the name of the manifest Quillet writes.
TEST(ExtensionInstaller, NamesMatchTheExtension) {
    const auto read = [](const char* name) {
        std::ifstream in(std::string(ORV_EXTENSION_DIR) + "/" + name);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    EXPECT_NE(read("manifest.json").find("\"id\": \"" + std::string(ExtensionId) + "\""), std::string::npos);
    // Firefox puts the button of a new extension in its Extensions panel unless the manifest names the toolbar.
    EXPECT_NE(read("manifest.json").find("\"default_area\": \"navbar\""), std::string::npos);
    EXPECT_NE(read("background.js").find("\"" + std::string(BridgeName) + "\""), std::string::npos);
}
