#include "platform/WindowThread.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <thread>

using platform::WindowThread;
using platform::WindowWaits;

TEST(WindowThread, OnlyTheRecordedThreadPassesWhileAWindowExists) {
    const auto onOtherThread = [] {
        bool current = false;
        std::thread([&] { current = WindowThread::IsCurrent(); }).join();
        return current;
    };
    EXPECT_TRUE(onOtherThread()); // no window: nothing to check against
    WindowThread::Record();
    EXPECT_TRUE(WindowThread::IsCurrent());
    EXPECT_FALSE(onOtherThread());
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // A debug build stops at the wrong thread; a release build has no check at all.
    EXPECT_DEBUG_DEATH(std::thread([] { ORV_ON_WINDOW_THREAD(); }).join(), "window's thread");
    WindowThread::Forget();
    EXPECT_TRUE(onOtherThread());
}

TEST(WindowWaits, AWaiterGoesWhenItsWorkIsDoneOrWhenTheWindowCloses) {
    WindowWaits waits;
    std::array<WindowWaits::Handoff, 3> handoffs;
    std::array<std::optional<bool>, 3> results;
    std::array<std::thread, 3> waiters;
    for (size_t i = 0; i < waiters.size(); ++i)
        waiters[i] = std::thread([&, i] { results[i] = waits.Wait(handoffs[i]); });

    waits.Finish(handoffs[0]);
    waiters[0].join();
    EXPECT_EQ(results[0], true);
    EXPECT_FALSE(results[1] || results[2]); // their work is not done: they still wait

    waits.Close(); // nothing else will finish their work: closing alone must let both go
    waiters[1].join();
    waiters[2].join();
    EXPECT_EQ(results[1], false);
    EXPECT_EQ(results[2], false);

    waits.Finish(handoffs[1]);             // work that runs after its waiter left is harmless
    EXPECT_FALSE(waits.Wait(handoffs[1])); // after the close every wait returns at once, done or not
}
