#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

// An HTTP server on 127.0.0.1 that answers every request with the same bytes: a status and a body
// given whole, silence until it stops, or zeros without end. One connection at a time.
class ByteServer {
public:
    enum Mode { Reply, Silent, Endless };

    explicit ByteServer(std::string body, int status = 200, Mode mode = Reply);
    ~ByteServer();
    ByteServer(const ByteServer&) = delete;
    ByteServer& operator=(const ByteServer&) = delete;

    uint16_t Port() const { return m_port; }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    int Requests() const { return m_requests; }
    std::string LastRequest() const;

    // Wraps text in a gzip stream.
    static std::string Gzip(const std::string& text);
    // A gzip stream of this many zero bytes, built in blocks.
    static std::string GzipZeros(uint64_t size);

private:
    void Serve();
    void Answer(int connection);
    // Waits until the socket is readable or the server stops; false when it stops.
    bool WaitReadable(int fd) const;

    std::string m_body;
    int m_status;
    Mode m_mode;
    int m_listener = -1;
    int m_wake[2] = {-1, -1};
    uint16_t m_port = 0;
    std::atomic<bool> m_stop = false;
    std::atomic<int> m_requests = 0;
    mutable std::mutex m_lock;
    std::string m_lastRequest;
    std::thread m_thread;
};
