#include "settings/AtomicFile.h"
#include "settings/MappedFile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

size_t FileCount(const TempDir& dir) {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir.Path()), {}));
}

TEST(AtomicFile, NothingChangesUntilTheCommit) {
    TempDir dir;
    dir.Write("f", "old");
    {
        AtomicFile file(dir.File("f"));
        ASSERT_TRUE(file.Write("new "));
        ASSERT_TRUE(file.Write("bytes"));
        EXPECT_EQ(dir.Read("f"), "old");
        EXPECT_EQ(FileCount(dir), 2u);
        ASSERT_TRUE(file.Commit());
        EXPECT_FALSE(file.Write("more")); // committed: closed for good
        EXPECT_FALSE(file.Commit());
    }
    EXPECT_EQ(dir.Read("f"), "new bytes");
    {
        AtomicFile abandoned(dir.File("f"));
        abandoned.Write("half");
    }
    EXPECT_EQ(dir.Read("f"), "new bytes");
    EXPECT_EQ(FileCount(dir), 1u);
}

TEST(AtomicFile, ReplacingAFolderFailsAndKeepsIt) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("sub"));
    EXPECT_FALSE(ReplaceFileAtomically(dir.File("sub"), "x"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("sub")));
    EXPECT_EQ(FileCount(dir), 1u);
}

TEST(MappedFile, MapsFilesAndRefusesWhatIsNotOne) {
    TempDir dir;
    dir.Write("empty", "");
    dir.Write("some", "bytes");
    std::filesystem::create_directory(dir.File("sub"));
    EXPECT_TRUE(MappedFile(dir.File("empty")).Opened());
    EXPECT_EQ(MappedFile(dir.File("empty")).Bytes(), "");
    EXPECT_EQ(MappedFile(dir.File("some")).Bytes(), "bytes");
    EXPECT_FALSE(MappedFile(dir.File("missing")).Opened());
    EXPECT_FALSE(MappedFile(dir.File("sub")).Opened());
}

} // namespace
