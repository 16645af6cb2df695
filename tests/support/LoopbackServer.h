#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// How a judge writes its variable lines.
enum class JudgeDialect {
    Equals,  // "NAME = value\n"
    ColonBr, // "NAME: value<br>\n"
    CrLf,    // "NAME=value\r\n"
};

// What a scripted proxy does with a connection.
struct ProxyScript {
    enum Mode {
        Forward,       // forwards the absolute-URL request to its host, headers edited as below
        Silent,        // accepts and never answers
        Drip,          // answers one byte every dripInterval, for ever
        ResetMidReply, // sends half a judge reply, then resets the connection
        Garbage,       // answers bytes with zero bytes among them, then closes
        Endless,       // answers without end as fast as the client reads
    };
    Mode mode = Forward;
    // Forward: a request for this host gets the delay-test page after pageDelay instead.
    std::string pageHost;
    std::string pageMarker = "google";
    std::chrono::milliseconds pageDelay{0};
    // Forward: headers set (replacing one of the same name) and dropped on the way.
    std::vector<std::pair<std::string, std::string>> setHeaders;
    std::vector<std::string> dropHeaders;
    // Forward: the address the forwarded connection leaves from; empty lets the system choose.
    std::string outgoingAddress;
    std::chrono::milliseconds dripInterval{100};
    // Speaks SOCKS5 (no authentication) first: the request that follows the tunnel's opening is taken
    // as one for the tunnel's target.
    bool socks5 = false;
};

// Scripted HTTP servers on loopback addresses, all served by one thread with poll: judges, pages
// and proxies, as many as a test needs. Add them, Start, and read the ports. Every connection and
// every buffer is bounded; the destructor stops the thread and closes everything.
class LoopbackServer {
public:
    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // A judge that echoes each request as CGI variable lines (REMOTE_ADDR, HTTP_* ...), then extra.
    uint16_t AddJudge(JudgeDialect dialect, const std::string& extra = "", const std::string& address = "127.0.0.1");
    // A web server whose every page holds marker, sent after delay.
    uint16_t AddPage(std::chrono::milliseconds delay, const std::string& marker,
                     const std::string& address = "127.0.0.1");
    uint16_t AddProxy(const ProxyScript& script, const std::string& address = "127.0.0.1");
    void Start();

    // Complete requests that the server on port has received, and the last one's text.
    int Requests(uint16_t port) const;
    std::string LastRequest(uint16_t port) const;
    // Waits until the server on port has received count requests; false when limit passed first.
    // A test that needs a client to be mid-exchange waits for this, not for a guessed time.
    bool WaitForRequests(uint16_t port, int count, std::chrono::milliseconds limit = std::chrono::seconds(20)) const;

    struct Listener;
    struct Connection;

private:
    uint16_t AddListener(std::unique_ptr<Listener> listener, const std::string& address);
    Listener* Find(uint16_t port) const;
    void Serve();
    void Accept(Listener& listener);
    void OnRequest(Connection& connection);
    // Takes a SOCKS5 proxy's handshake out of what the connection has read, answering each step;
    // false when it is no SOCKS5 the proxy speaks.
    bool OpenSocksTunnel(Connection& connection);
    void OpenUpstream(Connection& client, const std::string& target, const std::string& request);
    void Read(Connection& connection);
    void Write(Connection& connection);
    void Close(Connection& connection);
    void Refill(Connection& connection);
    int PollTimeoutMs() const;

    std::vector<std::unique_ptr<Listener>> m_listeners;
    std::vector<std::unique_ptr<Connection>> m_connections;
    int m_wake[2] = {-1, -1};
    std::atomic<bool> m_stop = false;
    std::thread m_thread;
    mutable std::mutex m_lock; // guards the listeners' last requests
};

// A port on address where nothing listens (for now): connections to it are refused.
uint16_t FreePort(const std::string& address);
inline uint16_t ClosedPort() {
    return FreePort("127.0.0.1");
}
