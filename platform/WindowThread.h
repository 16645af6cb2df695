#pragma once

#include <algorithm>
#include <atomic>
#include <cassert>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

// The thread that owns the window. The window records it when it is made and forgets it when it goes;
// functions that must run there check it on entry in debug builds (ORV_ON_WINDOW_THREAD). Without a
// window (the command line, tests with a fake view) every thread passes.
class WindowThread {
public:
    static void Record() { Id().store(std::this_thread::get_id()); }
    static void Forget() { Id().store(std::thread::id()); }
    static bool IsCurrent() {
        const std::thread::id recorded = Id().load();
        return recorded == std::thread::id() || recorded == std::this_thread::get_id();
    }

private:
    static std::atomic<std::thread::id>& Id() {
        static std::atomic<std::thread::id> id;
        return id;
    }
};

// Lets other threads wait, without polling, for work they handed to the window's thread, and lets every
// one of them go at once when the window closes. The window's thread itself never waits here.
class WindowWaits {
public:
    // One piece of handed-over work; shared by the waiter and the work, which may outlive the wait.
    struct Handoff {
        std::condition_variable done;
        bool finished = false; // guarded by the WindowWaits' lock
    };

    bool IsClosed() const { return m_closed.load(); }

    // The window closes: every wait, present and future, returns false.
    void Close() {
        std::lock_guard<std::mutex> hold(m_lock);
        m_closed = true;
        for (Handoff* waiting : m_waiting)
            waiting->done.notify_one();
    }

    // The window's thread has done (or skipped) the work.
    void Finish(Handoff& handoff) {
        std::lock_guard<std::mutex> hold(m_lock);
        handoff.finished = true;
        handoff.done.notify_one();
    }

    // Until the work is finished or the window closes; true when the work finished first.
    bool Wait(Handoff& handoff) {
        std::unique_lock<std::mutex> hold(m_lock);
        m_waiting.push_back(&handoff);
        handoff.done.wait(hold, [&] { return handoff.finished || m_closed.load(); });
        m_waiting.erase(std::find(m_waiting.begin(), m_waiting.end(), &handoff));
        return handoff.finished && !m_closed.load();
    }

private:
    std::mutex m_lock;
    std::atomic<bool> m_closed = false; // written under m_lock, read anywhere
    std::vector<Handoff*> m_waiting;    // the handoffs whose waiters sleep now
};

} // namespace platform

#ifdef NDEBUG
#define ORV_ON_WINDOW_THREAD() ((void)0)
#else
// Stops a debug build at the first call of a window-thread function from any other thread.
#define ORV_ON_WINDOW_THREAD() assert(platform::WindowThread::IsCurrent() && "must run on the window's thread")
#endif
