#include "platform/OwnedThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

using platform::OwnedThread;

namespace {

// A body that sleeps on a condition variable until its stop, then records that it saw the stop.
struct Sleeper {
    std::mutex lock;
    std::condition_variable_any wake;
    std::atomic<int> stopsSeen = 0;

    OwnedThread::Body Body() {
        return [this](std::stop_token stop) {
            std::unique_lock hold(lock);
            if (!wake.wait(hold, stop, [] { return false; }))
                ++stopsSeen;
        };
    }
};

} // namespace

TEST(OwnedThread, EveryWayOfEndingStopsTheWaitingBodyAndJoinsIt) {
    // Each way must return only after the body has woken and ended; a way that did not wake it would hang.
    const struct {
        const char* name;
        void (*end)(std::unique_ptr<OwnedThread>&);
    } ways[] = {
        {"Stop", [](std::unique_ptr<OwnedThread>& thread) { thread->Stop(); }},
        {"RequestStop then Join",
         [](std::unique_ptr<OwnedThread>& thread) {
             thread->RequestStop();
             thread->Join();
         }},
        {"the owner goes", [](std::unique_ptr<OwnedThread>& thread) { thread.reset(); }},
        {"the next Start", [](std::unique_ptr<OwnedThread>& thread) { thread->Start([](std::stop_token) {}); }},
    };
    for (const auto& way : ways) {
        Sleeper sleeper;
        auto thread = std::make_unique<OwnedThread>();
        thread->Start(sleeper.Body());
        EXPECT_TRUE(thread->Started()) << way.name;
        way.end(thread);
        EXPECT_EQ(sleeper.stopsSeen, 1) << way.name;
    }
}

TEST(OwnedThread, JoinWaitsForABodyThatEndsOnItsOwn) {
    OwnedThread thread;
    EXPECT_FALSE(thread.Started());
    thread.Join(); // nothing to join
    std::atomic<bool> stopped = true;
    bool done = false;
    thread.Start([&](std::stop_token stop) {
        stopped = stop.stop_requested();
        done = true;
    });
    thread.Join();
    EXPECT_TRUE(done);
    EXPECT_FALSE(stopped);
    EXPECT_FALSE(thread.Started());
}
