#pragma once

#include <functional>
#include <stop_token>
#include <thread>

namespace platform {

// A thread with one owner, which may ask it to stop and always joins it: at Stop, at the next Start and
// when the owner goes. The body gets a stop token; its waits end at a stop when they wait on a
// std::condition_variable_any with the token, or when a std::stop_callback wakes them (a socket shut
// down, an eventfd written). Nothing is ever detached, so the body may use its owner's members.
class OwnedThread {
public:
    using Body = std::function<void(std::stop_token)>;

    OwnedThread() = default;
    ~OwnedThread() { Stop(); }
    OwnedThread(const OwnedThread&) = delete;
    OwnedThread& operator=(const OwnedThread&) = delete;

    // Stops and joins the last thread first. Throws std::system_error when the system refuses a thread.
    void Start(Body body) {
        Stop();
        m_thread = std::jthread(std::move(body));
    }
    // Asks the body to end; returns at once.
    void RequestStop() { m_thread.request_stop(); }
    // Waits until the body has ended, without asking it to. Never from the thread itself.
    void Join() {
        if (m_thread.joinable())
            m_thread.join();
    }
    void Stop() {
        RequestStop();
        Join();
    }
    // A thread was started and not joined yet (it may have ended).
    bool Started() const { return m_thread.joinable(); }

private:
    std::jthread m_thread;
};

} // namespace platform
