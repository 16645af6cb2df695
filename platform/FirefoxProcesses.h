#pragma once

namespace platform {

// Firefox as Quillet sees it: is it running, ask it to close, start it.
class FirefoxProcesses {
public:
    virtual ~FirefoxProcesses() = default;
    virtual bool IsRunning() = 0;
    // Asks politely, as a user closing its windows would; Firefox may take a while, or refuse.
    virtual void RequestClose() = 0;
    // Starts Firefox detached and returns at once; whether it came up shows in IsRunning later.
    virtual void Start() = 0;
};

// A Firefox that does what the test says: it closes after the given number of ignored close requests, and
// is gone only after the given number of IsRunning calls that follow the request it obeys; a started one shows
// up only after the given number of IsRunning calls (never when negative).
class ScriptedFirefoxProcesses : public FirefoxProcesses {
public:
    bool m_running = false;
    int m_closeRequestsIgnored = 0;
    int m_checksUntilClosed = 0;
    int m_checksUntilStarted = 0;
    int m_closeRequests = 0;
    int m_starts = 0;
    int m_checks = 0;

    bool IsRunning() override {
        ++m_checks;
        if (!m_running && m_pendingStart && m_checksUntilStarted >= 0 && m_checksUntilStarted-- == 0) {
            m_running = true;
            m_pendingStart = false;
        }
        if (m_running && m_closing && m_closingChecksLeft-- == 0) {
            m_running = false;
            m_closing = false;
        }
        return m_running;
    }
    void RequestClose() override {
        ++m_closeRequests;
        if (m_closeRequestsIgnored-- <= 0 && m_running && !m_closing) {
            m_closing = true;
            m_closingChecksLeft = m_checksUntilClosed;
        }
    }
    void Start() override {
        ++m_starts;
        m_pendingStart = true;
    }

private:
    bool m_pendingStart = false;
    bool m_closing = false;
    int m_closingChecksLeft = 0;
};

} // namespace platform
