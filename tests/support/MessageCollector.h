#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A loopback listener that stands in for the Firefox extension: each connection's bytes, read to its
// end, are one message.
class MessageCollector {
public:
    MessageCollector();
    ~MessageCollector();
    MessageCollector(const MessageCollector&) = delete;
    MessageCollector& operator=(const MessageCollector&) = delete;

    uint16_t Port() const { return m_port; }
    // Waits up to limit until count messages have arrived; returns what has arrived.
    std::vector<std::string> WaitFor(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10));

private:
    void Serve();

    int m_socket = -1;
    uint16_t m_port = 0;
    std::mutex m_lock;
    std::condition_variable m_arrived;
    std::vector<std::string> m_messages;
    std::thread m_thread;
};
