#pragma once

#include "platform/FileDescriptor.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The extension's end of the control port on 127.0.0.1, any free port: it reads each connection to
// its end as one message, or accepts and never reads, or never accepts (its backlog full).
class ExtensionStub {
public:
    enum Mode { Reads, NeverReads, NeverAccepts };

    explicit ExtensionStub(Mode mode);
    ~ExtensionStub();
    ExtensionStub(const ExtensionStub&) = delete;
    ExtensionStub& operator=(const ExtensionStub&) = delete;

    uint16_t Port() const { return m_port; }
    // Reads: the messages received so far, in the order they arrived.
    std::vector<std::string> Messages() const;
    bool WaitForMessages(size_t count, std::chrono::milliseconds limit) const;
    // Waits up to limit for count messages; what has arrived by then.
    std::vector<std::string> WaitFor(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10)) const {
        WaitForMessages(count, limit);
        return Messages();
    }
    // Until the latest message received is this one.
    bool WaitForLast(const std::string& message, std::chrono::milliseconds limit) const;
    // NeverReads: connections accepted and held open.
    size_t Held() const;

private:
    void FillBacklog();
    void Serve();
    void ReadToEnd(int connection);

    const Mode m_mode;
    int m_listen = -1;
    int m_wake[2] = {-1, -1};
    uint16_t m_port = 0;
    std::vector<int> m_held; // NeverReads: accepted; NeverAccepts: the clients that fill the backlog
    std::vector<std::string> m_messages;
    mutable std::mutex m_lock;
    mutable std::condition_variable m_arrived;
    std::thread m_thread;
};

// count connections to 127.0.0.1:port that never send anything, as idle or hostile local programs
// would open; fewer when a connect fails.
std::vector<platform::FileDescriptor> OpenSilentConnections(uint16_t port, size_t count);

// Entries of /proc/self/task and /proc/self/fd.
size_t ThreadCount();
size_t OpenDescriptors();
