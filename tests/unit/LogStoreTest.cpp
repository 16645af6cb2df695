#include "app/LogStore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

TEST(LogStore, AppendsAndClearsWithModeOne) {
    LogStore log;
    log.AppendLog("one\r\n");
    log.AppendLog("two\r\n", LogMode::Append);
    EXPECT_EQ(log.Text(), "one\r\ntwo\r\n");
    log.AppendLog("", LogMode::Clear);
    EXPECT_EQ(log.Text(), "");
    log.AppendLog("three\r\n", LogMode::Clear);
    EXPECT_EQ(log.Text(), "three\r\n");
}

TEST(LogStore, RestartsOnlyWhenLongerThanTheLimit) {
    LogStore log;
    log.AppendLog(std::string(LogStore::ResetLength, 'a'));
    log.AppendLog("kept\r\n");
    EXPECT_EQ(log.Text().size(), LogStore::ResetLength + 6);

    log.AppendLog("new\r\n");
    EXPECT_EQ(log.Text(), "Reset log text.\r\nnew\r\n");
}

TEST(LogStore, RestartWinsOverModeOne) {
    LogStore log;
    log.AppendLog(std::string(LogStore::ResetLength + 1, 'a'));
    log.AppendLog("", LogMode::Clear);
    EXPECT_EQ(log.Text(), "Reset log text.\r\n");
}

TEST(LogStore, ReadSinceGivesOnlyTheTailWhileTheLogGrows) {
    LogStore log;
    log.AppendLog("one\r\n");
    LogStore::Change first = log.ReadSince(0, 0);
    EXPECT_TRUE(first.restarted);
    EXPECT_EQ(first.text, "one\r\n");

    log.AppendLog("two\r\n");
    LogStore::Change second = log.ReadSince(first.generation, first.length);
    EXPECT_FALSE(second.restarted);
    EXPECT_EQ(second.text, "two\r\n");

    log.AppendLog("three\r\n", LogMode::Clear);
    LogStore::Change third = log.ReadSince(second.generation, second.length);
    EXPECT_TRUE(third.restarted);
    EXPECT_EQ(third.text, "three\r\n");

    // A restart that happens to leave a longer text is still a restart.
    log.AppendLog(std::string(LogStore::ResetLength + 1, 'a'));
    LogStore::Change fourth = log.ReadSince(third.generation, third.length);
    log.AppendLog("x\r\n");
    LogStore::Change fifth = log.ReadSince(fourth.generation, fourth.length);
    EXPECT_TRUE(fifth.restarted);
    EXPECT_EQ(fifth.text, "Reset log text.\r\nx\r\n");
}

TEST(LogStore, AppendsFromSeveralThreadsAreNeverLost) {
    LogStore log;
    std::atomic<int> notices{0};
    log.SetListener([&] { ++notices; });
    constexpr int threads = 4;
    constexpr int lines = 500;
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t) {
        writers.emplace_back([&log, t] {
            for (int i = 0; i < lines; ++i) {
                log.AppendLog("thread " + std::to_string(t) + "\r\n");
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    // 2000 lines of 10 characters stay under the limit: every line must be there.
    std::string text = log.Text();
    EXPECT_EQ(text.size(), static_cast<size_t>(threads * lines * 10));
    for (int t = 0; t < threads; ++t) {
        std::string line = "thread " + std::to_string(t) + "\r\n";
        size_t count = 0;
        for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) {
            ++count;
        }
        EXPECT_EQ(count, static_cast<size_t>(lines));
    }
    EXPECT_EQ(notices.load(), threads * lines);
}
