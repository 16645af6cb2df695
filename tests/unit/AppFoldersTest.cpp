#include "app/AppFolders.h"
#include "app/OrvCommandLine.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>

TEST(AppFolders, DataFolderFollowsTheOverrideThenXdgThenHome) {
    ScopedEnv home("HOME", "/home/tester");
    {
        ScopedEnv data("ORV_DATA_DIR", "/srv/orv");
        EXPECT_EQ(AppFolders::DataFolder(), "/srv/orv/");
    }
    ScopedEnv data("ORV_DATA_DIR", nullptr);
    {
        ScopedEnv xdg("XDG_DATA_HOME", "/var/xdg/");
        EXPECT_EQ(AppFolders::DataFolder(), "/var/xdg/ORV/");
    }
    ScopedEnv xdg("XDG_DATA_HOME", "");
    EXPECT_EQ(AppFolders::DataFolder(), "/home/tester/.local/share/ORV/");
}

TEST(AppFolders, ProgramFolderIsTheExecutablesUnlessOverridden) {
    {
        ScopedEnv program("ORV_PROGRAM_DIR", "/opt/orv");
        EXPECT_EQ(AppFolders::ProgramFolder(), "/opt/orv/");
    }
    ScopedEnv program("ORV_PROGRAM_DIR", nullptr);
    const std::string folder = AppFolders::ProgramFolder();
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(std::filesystem::exists(folder + "unit_tests"));
}

TEST(AppFolders, DocumentsFolderIsTheUserDirsEntryElseHome) {
    TempDir dir;
    ASSERT_TRUE(AppFolders::CreateFolders(dir.Path() + "home/My \"Docs\"/"));
    ASSERT_TRUE(AppFolders::CreateFolders(dir.Path() + "elsewhere/"));
    const std::string home = dir.Path() + "home";
    ScopedEnv homeEnv("HOME", home.c_str());
    ScopedEnv config("XDG_CONFIG_HOME", dir.Path().c_str());
    const struct {
        std::string file; // empty: no user-dirs.dirs at all
        std::string folder;
    } cases[] = {
        {"", home + "/"},
        {"XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Docs\\\"\"\n", home + "/My \"Docs\"/"},
        {"# XDG_DOCUMENTS_DIR=\"/nowhere\"\nXDG_DOCUMENTS_DIR=\"" + dir.Path() + "elsewhere\"\n",
         dir.Path() + "elsewhere/"},
        {"XDG_DOCUMENTS_DIR=\"/nowhere\"\nXDG_DOCUMENTS_DIR=\"$HOME/\"\n", home + "/"},
        {"XDG_DOCUMENTS_DIR=\"$HOME/missing\"\n", home + "/"}, // no such folder
        {"XDG_DOCUMENTS_DIR=\"relative\"\nXDG_DESKTOP_DIR=\"$HOME/My \\\"Docs\\\"\"\n", home + "/"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(dir.File("user-dirs.dirs"));
        if (!c.file.empty())
            dir.Write("user-dirs.dirs", c.file);
        EXPECT_EQ(AppFolders::DocumentsFolder(), c.folder) << c.file;
    }
}

TEST(AppFolders, CreateFoldersMakesTheWholePathAndReportsAFileInTheWay) {
    TempDir dir;
    EXPECT_TRUE(AppFolders::CreateFolders(dir.Path() + "a/b/ORV/"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path() + "a/b/ORV"));
    dir.Write("file", "x");
    EXPECT_FALSE(AppFolders::CreateFolders(dir.Path() + "file/ORV/"));
}

TEST(OrvCommandLineMode, NoOptionOpensTheWindowAndScreenshotNeedsAFile) {
    using Mode = OrvCommandLine::Mode;
    EXPECT_EQ(OrvCommandLine::ModeOf({}), Mode::Window);
    EXPECT_EQ(OrvCommandLine::ModeOf({"--screenshot", "a.png"}), Mode::Screenshot);
    EXPECT_EQ(OrvCommandLine::ModeOf({"--screenshot"}), Mode::Command);
    EXPECT_EQ(OrvCommandLine::ModeOf({"--hidden"}), Mode::HiddenWindow);
    EXPECT_EQ(OrvCommandLine::ModeOf({"--hidden", "x"}), Mode::Command);
    EXPECT_EQ(OrvCommandLine::ModeOf({"--help"}), Mode::Command);
}

TEST(OrvCommandLineMode, ADisplayIsAnyOfXWaylandOrAChosenPlatform) {
    ScopedEnv display("DISPLAY", nullptr);
    ScopedEnv wayland("WAYLAND_DISPLAY", "");
    {
        ScopedEnv platform("QT_QPA_PLATFORM", nullptr);
        EXPECT_FALSE(OrvCommandLine::HasDisplay());
    }
    {
        ScopedEnv platform("QT_QPA_PLATFORM", "offscreen");
        EXPECT_TRUE(OrvCommandLine::HasDisplay());
    }
    ScopedEnv platform("QT_QPA_PLATFORM", nullptr);
    ScopedEnv x("DISPLAY", ":0");
    EXPECT_TRUE(OrvCommandLine::HasDisplay());
}

TEST(OrvCommandLineHelp, NamesTheFoldersInUseAndAMissingDangerousList) {
    TempDir dir;
    ASSERT_TRUE(AppFolders::CreateFolders(dir.Path() + "with/"));
    dir.Write("with/DangerousIP.dat", "orv");
    ScopedEnv data("ORV_DATA_DIR", (dir.Path() + "data").c_str());
    const struct {
        std::string programDir;
        std::string dangerousLine;
    } cases[] = {
        {dir.Path() + "with", "  dangerous networks    " + dir.Path() + "with/DangerousIP.dat\n"},
        {dir.Path() + "without", "  dangerous networks    " + dir.Path() + "without/DangerousIP.dat (missing)\n"},
    };
    for (const auto& c : cases) {
        ScopedEnv program("ORV_PROGRAM_DIR", c.programDir.c_str());
        std::ostringstream out, err;
        EXPECT_EQ(OrvCommandLine(out, err).Run({"--help"}), 0);
        const std::string help = out.str();
        EXPECT_NE(help.find("\nFiles:\n  settings, saved list  " + dir.Path() + "data/\n"), std::string::npos) << help;
        EXPECT_NE(help.find(c.dangerousLine), std::string::npos) << help;
        EXPECT_TRUE(err.str().empty());
    }
}
