#include "installer/RegistryTree.h"
#include "tests/support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <set>

namespace fs = std::filesystem;

namespace {

std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

} // namespace

TEST(RegistryTree, MissingKeyIsCreatedByTheFirstLoad) {
    TempDir dir;
    RegistryTree tree(dir.File("extensions"), "{app}");
    tree.Load();
    EXPECT_TRUE(fs::is_directory(dir.File("extensions/{app}")));
    EXPECT_TRUE(tree.Entries().empty());
}

// Other extensions' pointer files keep name and data; packed extensions, links, large files and folders
// are not string values and stay as they were; the new value is the only new file.
TEST(RegistryTree, SaveKeepsEverythingButTheValueItSets) {
    TempDir dir;
    const std::string key = dir.File("{app}/");
    fs::create_directories(key + "Unpacked@Example.org");
    dir.Write("{app}/Unpacked@Example.org/manifest.json", "{}");
    dir.Write("{app}/Other@Example.com", "/opt/other");
    dir.Write("{app}/packed@example.net.xpi", std::string("PK\3\4\0\0", 6));
    dir.Write("{app}/huge@example.net", std::string(9000, 'x'));
    fs::create_symlink("/opt/linked", key + "linked@example.net");
    const auto before = fs::last_write_time(key + "Other@Example.com");

    RegistryTree tree(dir.Path(), "{app}");
    tree.Load();
    EXPECT_EQ(tree.Entries(), (std::map<std::string, std::string>{{"\\other@example.com", "/opt/other"}}));
    EXPECT_EQ(tree.SubKeys(), std::deque<std::string>{"unpacked@example.org"});
    tree.Set("orv@tarvelo.invalid", "/opt/tarvelo/firefox");
    tree.Save();

    EXPECT_EQ(Names(key), (std::set<std::string>{"Unpacked@Example.org", "Other@Example.com", "packed@example.net.xpi",
                                                 "huge@example.net", "linked@example.net", "orv@tarvelo.invalid"}));
    EXPECT_EQ(dir.Read("{app}/orv@tarvelo.invalid"), "/opt/tarvelo/firefox");
    EXPECT_EQ(dir.Read("{app}/Other@Example.com"), "/opt/other");
    EXPECT_EQ(fs::last_write_time(key + "Other@Example.com"), before);
    EXPECT_EQ(dir.Read("{app}/packed@example.net.xpi").size(), 6u);
    EXPECT_EQ(fs::read_symlink(key + "linked@example.net"), "/opt/linked");
}

// Names match without regard to case, as in the registry: a value is rewritten in its own file.
TEST(RegistryTree, SetFindsTheEntryAndSaveItsFile) {
    struct Case {
        std::string existing, set, file;
    } cases[] = {
        {"ORV@Tarvelo.invalid", "orv@tarvelo.invalid", "ORV@Tarvelo.invalid"},
        {"", "orv@tarvelo.invalid", "orv@tarvelo.invalid"},
        {"", "Sub\\Value", "Sub/value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.set);
        TempDir dir;
        fs::create_directories(dir.File("k"));
        if (!c.existing.empty())
            dir.Write("k/" + c.existing, "old");
        RegistryTree tree(dir.Path(), "k");
        tree.Load();
        tree.Set(c.set, "");
        tree.Save();
        EXPECT_TRUE(fs::is_regular_file(dir.File("k/" + c.file)));
        EXPECT_EQ(dir.Read("k/" + c.file), "");
        EXPECT_EQ(Names(dir.File("k")).size(), 1u);
    }
}

TEST(RegistryTree, FailuresThrowTheTextToShow) {
    TempDir dir;
    dir.Write("file", "not a folder");
    RegistryTree blocked(dir.File("file"), "k");
    try {
        blocked.Load();
        ADD_FAILURE() << "a key under a file was created";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Error! Cannot create registry key!");
    }

    // A folder where the value's file belongs: the write fails and says so instead of passing for done.
    fs::create_directories(dir.File("k/orv@tarvelo.invalid"));
    RegistryTree tree(dir.Path(), "k");
    tree.Load();
    tree.Set("orv@tarvelo.invalid", "/x");
    EXPECT_THROW(tree.Save(), std::runtime_error);
}
