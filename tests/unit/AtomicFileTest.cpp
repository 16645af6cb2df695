#include "settings/AtomicFile.h"
#include "proxy/DangerousList.h"
#include "proxy/GeoIpDatabase.h"
#include "proxy/ProxyList.h"
#include "proxy/ProxyTextParser.h"
#include "settings/CIniFile.h"
#include "settings/SavedList.h"
#include "tester/TlsProbe.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <future>
#include <regex>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

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
        EXPECT_EQ(FileCount(dir), 1u); // the new version has no name yet
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

TEST(AtomicFile, ASaveKilledBeforeItsCommitLeavesNothingBehind) {
    TempDir dir;
    dir.Write("list.dat", "old");
    const pid_t child = fork();
    if (child == 0) {
        AtomicFile file(dir.File("list.dat"));
        file.Write(std::string(100000, 'x'));
        raise(SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(dir.Read("list.dat"), "old");
    EXPECT_EQ(FileCount(dir), 1u);
}

TEST(AtomicFile, OnlyTheTemporariesOfProcessesThatAreGoneAreRemoved) {
    TempDir dir;
    // Process ids never reach 4194304, the kernel's largest limit.
    const std::string gone = "list.dat.tmp4194305_3";
    const std::string mine = "ORV_Setting.ini.tmp" + std::to_string(getpid()) + "_0";
    for (const std::string& name : {gone, mine, std::string("list.dat"), std::string("notes.tmp12_x")})
        dir.Write(name, "x");
    std::filesystem::create_directory(dir.File("keep.tmp4194305_4"));
    EXPECT_EQ(RemoveAbandonedTemporaries(dir.Path()), 1u);
    EXPECT_FALSE(std::filesystem::exists(dir.File(gone)));
    EXPECT_EQ(FileCount(dir), 4u);
}

// The outcome of work, or "still waiting" when it has not ended within ten seconds: a reader blocked
// on a FIFO stays blocked for good, so it is left behind on its own thread.
std::string WithinTenSeconds(std::function<std::string()> work) {
    auto outcome = std::make_shared<std::promise<std::string>>();
    std::future<std::string> ended = outcome->get_future();
    std::thread([work = std::move(work), outcome] {
        try {
            outcome->set_value(work());
        } catch (const std::exception& error) {
            outcome->set_value(std::string("threw ") + error.what());
        }
    }).detach();
    return ended.wait_for(std::chrono::seconds(10)) == std::future_status::ready ? ended.get() : "still waiting";
}

// Each reader of an outside file refuses a folder, a FIFO and a device at once, with its usual message.
TEST(InputFile, EveryReaderRefusesWhatIsNoRegularFile) {
    using Reader = std::function<std::string(const std::string& path)>;
    const std::pair<Reader, std::string> readers[] = {
        {[](auto& path) {
             ProxyList list;
             return SavedList::LoadList(path.substr(0, path.size() - 8), list).m_damage;
         },
         "REASON"},
        {[](auto& path) { return CIniFile(path).Load() ? "read" : ""; }, ""},
        {[](auto& path) { return std::to_string(DangerousList().LoadDangerousList(path)); }, "-3"},
        {[](auto& path) {
             std::string error;
             GeoIpDatabase().Load(path, error);
             return error;
         },
         "cannot read PATH"},
        {[](auto& path) {
             std::string error;
             TlsProbe().Prepare(path, error);
             return error;
         },
         "cannot read certificates from PATH"},
        {[](auto& path) {
             ProxyList list;
             return ProxyTextParser::LoadProxies(list, path, false).error;
         },
         "Couldn't open source file: REASON"},
    };
    for (const std::string kind : {"folder", "fifo", "device"}) {
        TempDir dir;
        const std::string path = dir.File(SavedList::FileName);
        if (kind == "folder")
            std::filesystem::create_directory(path);
        else if (kind == "fifo")
            ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        else
            std::filesystem::create_symlink("/dev/zero", path);
        for (const auto& [reader, pattern] : readers) {
            const Reader read = reader; // clang 14 cannot capture a structured binding
            std::string expected = std::regex_replace(pattern, std::regex("PATH"), path);
            expected = std::regex_replace(expected, std::regex("REASON"),
                                          kind == "folder" ? "Is a directory" : "Not a regular file");
            EXPECT_EQ(WithinTenSeconds([read, path] { return read(path); }), expected) << kind;
        }
    }
}

} // namespace
