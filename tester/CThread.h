#pragma once

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

// A thread owned by an object: Start runs Run on a new thread, IsAlive says whether Run is still
// running, Kill stops it from outside.
//
// A thread cannot be terminated safely, so Kill asks instead: it marks the object killed and calls
// OnKill under the class lock (a derived class wakes every wait of its Run there, a worker shuts its
// socket down), then waits until Run has returned. Run must test IsKilled in its loops and write its
// results only through UnlessKilled, so that a killed object never writes anything after Kill returns.
// Once IsAlive is false the thread no longer touches the object and it may be deleted.
//
// A derived class whose Run uses its own members must call EndThread first in its destructor:
// by the time ~CThread runs, those members are gone.
class CThread {
public:
    static constexpr int32_t StillRunning = -2;

    explicit CThread(size_t stackSize = 0) : m_stackSize(stackSize) {}
    virtual ~CThread();
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // Throws CThreadException kind 1 (the system refused a thread) or 2 (already running).
    void Start();
    // Without the class lock: the answer may be out of date by the time the caller reads it.
    bool IsAlive() const { return m_alive.load(); }
    bool IsAliveLocked() const;
    // Records exitCode and, when the thread runs, stops it as described above. Throws kind 3 when
    // quiet is false and Run has not returned within m_killWait.
    void Kill(int32_t exitCode, bool quiet);
    // Kill without its wait: the thread ends soon on its own. Whoever stops thousands of threads asks
    // them all first and then waits for each, so that they end side by side.
    void RequestKill(int32_t exitCode);
    int32_t GetExitCode() const { return m_exitCode.load(); }

    // How long a Kill waits for Run to notice; a loud Kill throws when that is not enough.
    std::chrono::milliseconds m_killWait{5000};
    // Set before Start: called on the thread once IsAlive is false, so that an owner it wakes finds
    // the thread ended. Whoever deletes the object joins the thread, and so waits for this call.
    std::function<void()> m_onEnded;

    // Serialises the bookkeeping of every CThread in the process.
    static std::mutex& ClassLock();

protected:
    virtual int32_t Run() = 0;
    // Called once, from the killing thread, with the class lock held: must not wait for anything.
    virtual void OnKill() {}

    bool IsKilled() const { return m_killed.load(); }
    // Runs write under the class lock unless the object has been killed; returns whether it ran.
    template <class Write> bool UnlessKilled(Write&& write) {
        std::lock_guard<std::mutex> hold(ClassLock());
        if (m_killed.load())
            return false;
        write();
        return true;
    }
    // Kills a running thread quietly with exit code 0 and waits, without limit, until Run has returned.
    void EndThread() noexcept;

private:
    static void* Entry(void* self);
    // With the class lock held: records exitCode and, the first time, calls OnKill. False when the
    // thread is not running.
    bool MarkKilled(int32_t exitCode);
    void JoinEnded();

    size_t m_stackSize;
    pthread_t m_thread{};
    bool m_joinable = false;
    std::atomic<bool> m_alive = false;
    std::atomic<bool> m_killed = false;
    std::atomic<int32_t> m_exitCode = StillRunning;
};
