#include "platform/AtomicFile.h"
#include "platform/MessageBox.h"
#include "settings/SwitcherPageLogic.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// What attempt returns, run as nobody when the tests run as root, so that folder permissions bind.
std::string Unprivileged(const std::function<std::string()>& attempt) {
    int ends[2];
    if (::geteuid() != 0 || ::pipe(ends) != 0)
        return attempt();
    if (::fork() == 0) {
        const std::string text = ::setgid(65534) == 0 && ::setuid(65534) == 0 ? attempt() : "still root";
        _exit(::write(ends[1], text.data(), text.size()) < 0); // one write below PIPE_BUF: one read takes it
    }
    ::close(ends[1]);
    std::string text(4096, '\0');
    text.resize(static_cast<size_t>(std::max<ssize_t>(::read(ends[0], text.data(), text.size()), 0)));
    ::close(ends[0]);
    ::wait(nullptr);
    return text;
}

TEST(AutostartEntry, OkWritesTheMenuEntryStartingOrvHiddenOrRemovesItOrSaysWhyNot) {
    TempDir dir;
    ::chmod(dir.Path().c_str(), 0755);
    ScopedEnv xdg("XDG_CONFIG_HOME", dir.File("config").c_str());
    const std::string installed = dir.Path() + "lib/tarvelo/";
    const std::string buildTree = dir.Path() + "my 100% build/"; // the path of the running copy is quoted
    std::filesystem::create_directories(installed);
    std::filesystem::create_directories(dir.Path() + "share/applications");
    std::filesystem::create_directories(dir.Path() + "config/autostart");
    dir.Write("share/applications/orv.desktop", "[Desktop Entry]\nExec=orv\nX-GNOME-Autostart-enabled=false\n");
    dir.Write("config/autostart/other.desktop", "not ours");
    // Never installed, it writes the menu entry it was built with, its Exec alone changed.
    std::string built = ReadWholeFile(ORV_MENU_ENTRY_FILE).value() + "X-GNOME-Autostart-enabled=true\n";
    built.replace(built.find("Exec=orv\n"), 9, "Exec=\"" + dir.Path() + "my 100%% build/orv\" --hidden\n");
    const std::string path = dir.Path() + "config/autostart/orv.desktop";
    struct Case {
        std::string programFolder;
        bool start;
        mode_t folderMode;
        std::string entry;   // empty: none
        std::string refusal; // what could not be done, if anything
    };
    const Case cases[] = {
        {installed, true, 0777, "[Desktop Entry]\nExec=orv --hidden\nX-GNOME-Autostart-enabled=true\n", ""},
        {installed, false, 0555, "[Desktop Entry]\nExec=orv --hidden\nX-GNOME-Autostart-enabled=true\n", "remove"},
        {installed, false, 0777, "", ""},
        {buildTree, true, 0555, "", "write"},
        {buildTree, true, 0777, built, ""},
    };
    AppSettings settings;
    SettingsStore store(settings, dir.Path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.programFolder + (c.start ? " tick" : " untick"));
        ::chmod(dir.File("config/autostart").c_str(), c.folderMode);
        const std::string shown = Unprivileged([&] {
            platform::ScriptedMessageBox messages;
            SwitcherPageLogic logic(store, messages, AutostartEntry(c.programFolder));
            SwitcherPageControls controls;
            controls.m_startWithDesktop = c.start;
            const bool done = logic.Validate(controls);
            return std::string(done ? "" : "refused ") + (messages.m_shown.empty() ? "" : messages.m_shown[0]);
        });
        ::chmod(dir.File("config/autostart").c_str(), 0755);
        EXPECT_EQ(shown, c.refusal.empty() ? ""
                                           : "refused Could not " + c.refusal + " the autostart entry " + path +
                                                 ": Permission denied.");
        EXPECT_EQ(std::filesystem::exists(path) ? dir.Read("config/autostart/orv.desktop") : "", c.entry);
        EXPECT_EQ(dir.Read("config/autostart/other.desktop"), "not ours");
    }
}

} // namespace
