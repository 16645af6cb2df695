#include "switching/FirefoxChannel.h"

#include "platform/LoopbackAddress.h"
#include "tester/SocketIo.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <system_error>

using std::chrono::milliseconds;

namespace {

constexpr const char* StartRequest = "firefox_start";
constexpr size_t ReceiveBufferBytes = 256;
// After an accept that failed for want of descriptors or memory, before the next try.
constexpr int AcceptRetryMs = 100;

std::optional<unsigned> ParsePort(std::string_view text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > 65535)
        return std::nullopt;
    return value;
}

// "SEND,LISTEN": the send port must name a real port; the listen port may be 0 (any free one).
std::optional<FirefoxChannel::Ports> ParsePorts(std::string_view text) {
    const size_t comma = text.find(',');
    if (comma == std::string_view::npos)
        return std::nullopt;
    const auto send = ParsePort(text.substr(0, comma));
    const auto listen = ParsePort(text.substr(comma + 1));
    if (!send || !listen || *send == 0)
        return std::nullopt;
    return FirefoxChannel::Ports{static_cast<uint16_t>(*send), static_cast<uint16_t>(*listen)};
}

// poll on fd (none when -1) and the wake descriptor: >0 when fd is ready, 0 at the limit, <0 when
// woken or failed.
int WaitUnlessWoken(int fd, int wake, milliseconds limit) {
    pollfd entries[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
    int result;
    do
        result = poll(entries, 2, static_cast<int>(limit.count()));
    while (result < 0 && errno == EINTR);
    if (result < 0 || entries[1].revents != 0)
        return -1;
    return result;
}

// Accept errors that concern only the connection that just went away: try the next one at once.
bool ConnectionWentAway(int error) {
    return error == EAGAIN || error == EINTR || error == ECONNABORTED || error == EPROTO;
}

// Accept errors that may clear by themselves; the listener pauses before it tries again.
bool OutOfResources(int error) {
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

} // namespace

FirefoxChannel::Ports FirefoxChannel::PortsFromEnvironment() {
    const char* value = std::getenv("ORV_FIREFOX_PORTS");
    if (value == nullptr || *value == '\0')
        return {};
    if (const auto ports = ParsePorts(value))
        return *ports;
    const Ports defaults;
    std::fprintf(stderr, "orv: ORV_FIREFOX_PORTS=\"%s\" is not SEND,LISTEN (two port numbers); using %u,%u\n", value,
                 unsigned{defaults.send}, unsigned{defaults.listen});
    return defaults;
}

std::string FirefoxChannel::ComposeMessage(int mode, const std::string& ip, const std::string& port) {
    const bool proxy = mode == 1;
    return std::to_string(mode) + "\r\n" + (proxy && !ip.empty() ? ip : "--") + "\r\n" +
           (proxy && !port.empty() ? port : "--") + "\r\n";
}

FirefoxChannel::FirefoxChannel(const RelaxedInt32& changeFFProxy, Ports ports)
    : m_changeFFProxy(changeFFProxy), m_ports(ports) {}

FirefoxChannel::~FirefoxChannel() {
    CloseListener();
    {
        std::lock_guard lock(m_lock);
        m_stopping = true;
        m_finished += m_queue.size();
        m_queue.clear();
        // Ends a sender's pending connect at once.
        if (m_sendingSocket >= 0)
            shutdown(m_sendingSocket, SHUT_RDWR);
    }
    m_queueChanged.notify_all();
    m_finishedChanged.notify_all();
    if (m_sender.joinable())
        m_sender.join();
}

void FirefoxChannel::NotifyFirefox(const std::string& ip, const std::string& port) {
    std::lock_guard lock(m_lock);
    m_ip = ip;
    m_port = port;
    QueueCurrentState();
}

void FirefoxChannel::SetClosing() {
    std::lock_guard lock(m_lock);
    m_mode = 2;
}

int FirefoxChannel::FirefoxMode() const {
    return m_mode;
}

bool FirefoxChannel::WaitForSenders(milliseconds limit) {
    std::unique_lock lock(m_lock);
    const uint64_t target = m_queued;
    return m_finishedChanged.wait_for(lock, limit, [&] { return m_finished >= target; });
}

void FirefoxChannel::QueueCurrentState() {
    if (m_changeFFProxy == 0 || m_stopping)
        return;
    if (m_mode != 2)
        m_mode = m_ip.empty() ? 0 : 1;
    if (m_queue.size() >= QueueLimit) {
        m_queue.pop_front();
        ++m_finished;
    }
    m_queue.push_back(ComposeMessage(m_mode, m_ip, m_port));
    ++m_queued;
    StartSender();
    m_queueChanged.notify_one();
}

void FirefoxChannel::StartSender() {
    if (m_sender.joinable())
        return;
    try {
        m_sender = std::thread(&FirefoxChannel::RunSender, this);
    } catch (const std::system_error&) {
        // No thread to be had: the messages are lost, as a failed send would lose them.
        m_finished += m_queue.size();
        m_queue.clear();
        m_finishedChanged.notify_all();
    }
}

void FirefoxChannel::RunSender() {
    for (;;) {
        std::string message;
        {
            std::unique_lock lock(m_lock);
            m_queueChanged.wait(lock, [&] { return m_stopping || !m_queue.empty(); });
            if (m_stopping)
                return;
            message = std::move(m_queue.front());
            m_queue.pop_front();
        }
        Deliver(message);
        {
            std::lock_guard lock(m_lock);
            ++m_finished;
        }
        m_finishedChanged.notify_all();
    }
}

void FirefoxChannel::Deliver(const std::string& message) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    {
        std::lock_guard lock(m_lock);
        if (m_stopping) {
            close(fd);
            return;
        }
        m_sendingSocket = fd;
    }
    // Non-blocking: a fresh connection takes a message this short whole, or the send fails; it never waits.
    if (socketio::ConnectWithin(fd, platform::LoopbackAddress(m_ports.send), SendLimit)) {
        [[maybe_unused]] const ssize_t sent = send(fd, message.data(), message.size(), MSG_NOSIGNAL);
    }
    std::lock_guard lock(m_lock);
    m_sendingSocket = -1;
    close(fd);
}

bool FirefoxChannel::StartListener() {
    if (m_listener.joinable())
        return true;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int wake = eventfd(0, EFD_CLOEXEC);
    // SO_REUSEADDR only lets the port be bound again over connections left in TIME_WAIT by a copy that
    // just ended; on Linux a second copy still cannot bind while the first one listens.
    const int on = 1;
    const sockaddr_in where = platform::LoopbackAddress(m_ports.listen);
    sockaddr_in bound{};
    socklen_t size = sizeof bound;
    if (fd < 0 || wake < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        bind(fd, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0 || listen(fd, SOMAXCONN) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &size) != 0) {
        if (fd >= 0)
            close(fd);
        if (wake >= 0)
            close(wake);
        return false;
    }
    m_listenSocket = fd;
    m_listenerWake = wake;
    m_listeningPort = ntohs(bound.sin_port);
    try {
        m_listener = std::thread(&FirefoxChannel::RunListener, this);
    } catch (const std::system_error&) {
        CloseListener();
        return false;
    }
    return true;
}

uint16_t FirefoxChannel::ListeningPort() const {
    return m_listeningPort;
}

void FirefoxChannel::CloseListener() {
    if (m_listenerWake >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(m_listenerWake, &one, sizeof one);
    }
    if (m_listener.joinable())
        m_listener.join();
    for (int* fd : {&m_listenSocket, &m_listenerWake}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
    m_listeningPort = 0;
}

void FirefoxChannel::RunListener() {
    for (;;) {
        const int ready = WaitUnlessWoken(m_listenSocket, m_listenerWake, milliseconds(-1));
        if (ready < 0)
            return;
        const int connection = accept4(m_listenSocket, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection >= 0) {
            Serve(connection);
            close(connection);
        } else if (OutOfResources(errno)) {
            if (WaitUnlessWoken(-1, m_listenerWake, milliseconds(AcceptRetryMs)) < 0)
                return;
        } else if (!ConnectionWentAway(errno)) {
            return;
        }
    }
}

// One receive, as the extension sends its request in one piece. A failed or silent connection is
// only dropped: the listener goes on serving the next one.
void FirefoxChannel::Serve(int connection) {
    if (WaitUnlessWoken(connection, m_listenerWake, ReceiveLimit) <= 0)
        return;
    char buffer[ReceiveBufferBytes] = {};
    if (recv(connection, buffer, sizeof buffer - 1, MSG_DONTWAIT) <= 0)
        return;
    if (std::strcmp(buffer, StartRequest) != 0)
        return;
    std::lock_guard lock(m_lock);
    QueueCurrentState();
}
