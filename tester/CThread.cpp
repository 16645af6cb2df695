#include "tester/CThread.h"

#include "tester/CThreadException.h"

#include <cerrno>

namespace {

// Signalled whenever a thread leaves Run; Kill and EndThread wait on it with the class lock.
std::condition_variable& ThreadEnded() {
    static std::condition_variable ended;
    return ended;
}

} // namespace

std::mutex& CThread::ClassLock() {
    static std::mutex lock;
    return lock;
}

CThread::~CThread() {
    EndThread();
}

void* CThread::Entry(void* self) {
    auto* thread = static_cast<CThread*>(self);
    const int32_t result = thread->Run();
    const std::function<void()> onEnded = std::move(thread->m_onEnded);
    {
        std::lock_guard<std::mutex> hold(ClassLock());
        if (!thread->m_killed.load())
            thread->m_exitCode = result;
        thread->m_alive = false;
        // From here on the object may be deleted: nothing below touches it.
        ThreadEnded().notify_all();
    }
    if (onEnded)
        onEnded();
    return nullptr;
}

void CThread::Start() {
    std::lock_guard<std::mutex> hold(ClassLock());
    if (m_alive.load())
        throw CThreadException(this, "Thread is already started!", CThreadException::AlreadyStarted);
    JoinEnded();

    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    int error = m_stackSize ? pthread_attr_setstacksize(&attributes, m_stackSize) : 0;
    m_killed = false;
    m_exitCode = StillRunning;
    m_alive = true;
    if (error == 0)
        error = pthread_create(&m_thread, &attributes, &CThread::Entry, this);
    pthread_attr_destroy(&attributes);
    if (error != 0) {
        m_alive = false;
        throw CThreadException(this, SystemErrorText(error), CThreadException::CreateFailed);
    }
    m_joinable = true;
}

bool CThread::IsAliveLocked() const {
    std::lock_guard<std::mutex> hold(ClassLock());
    return m_alive.load();
}

bool CThread::MarkKilled(int32_t exitCode) {
    m_exitCode = exitCode;
    if (!m_alive.load())
        return false;
    if (!m_killed.exchange(true))
        OnKill();
    return true;
}

void CThread::RequestKill(int32_t exitCode) {
    std::lock_guard<std::mutex> hold(ClassLock());
    MarkKilled(exitCode);
}

void CThread::Kill(int32_t exitCode, bool quiet) {
    std::unique_lock<std::mutex> hold(ClassLock());
    if (!MarkKilled(exitCode))
        return;
    if (m_joinable && pthread_equal(m_thread, pthread_self()))
        return; // Run killed its own thread: it ends when it returns
    const bool ended = ThreadEnded().wait_for(hold, m_killWait, [this] { return !m_alive.load(); });
    if (!ended && !quiet)
        throw CThreadException(this, SystemErrorText(ETIMEDOUT), CThreadException::KillFailed);
}

void CThread::EndThread() noexcept {
    try {
        Kill(0, true);
    } catch (...) {
    }
    std::unique_lock<std::mutex> hold(ClassLock());
    if (m_joinable && pthread_equal(m_thread, pthread_self())) {
        pthread_detach(m_thread); // deleted by its own Run: nobody is left to join it
        m_joinable = false;
        return;
    }
    ThreadEnded().wait(hold, [this] { return !m_alive.load(); });
    JoinEnded();
}

// The thread has left Run; its last steps take no time, so joining here does not wait.
void CThread::JoinEnded() {
    if (m_joinable) {
        pthread_join(m_thread, nullptr);
        m_joinable = false;
    }
}
