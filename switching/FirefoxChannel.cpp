#include "switching/FirefoxChannel.h"

#include "platform/ConnectionSet.h"
#include "platform/LoopbackAddress.h"
#include "platform/PortNumber.h"
#include "tester/SocketIo.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <system_error>

using std::chrono::milliseconds;

namespace {

constexpr const char* StartRequest = "firefox_start";

// "SEND,LISTEN": the send port must name a real port; the listen port may be 0 (any free one).
std::optional<FirefoxChannel::Ports> ParsePorts(std::string_view text) {
    const size_t comma = text.find(',');
    if (comma == std::string_view::npos)
        return std::nullopt;
    const auto send = ParsePortOrAny(text.substr(0, comma));
    const auto listen = ParsePortOrAny(text.substr(comma + 1));
    if (!send || !listen || *send == 0)
        return std::nullopt;
    return FirefoxChannel::Ports{*send, *listen};
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
    }
    m_finishedChanged.notify_all();
    // Wakes the idle sender, or shuts its pending connection down.
    m_sender.Stop();
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
    if (m_sender.Started())
        return;
    try {
        m_sender.Start([this](std::stop_token stop) { RunSender(stop); });
    } catch (const std::system_error&) {
        // No thread to be had: the messages are lost, as a failed send would lose them.
        m_finished += m_queue.size();
        m_queue.clear();
        m_finishedChanged.notify_all();
    }
}

void FirefoxChannel::RunSender(std::stop_token stop) {
    for (;;) {
        std::string message;
        {
            std::unique_lock lock(m_lock);
            if (!m_queueChanged.wait(lock, stop, [&] { return !m_queue.empty(); }))
                return;
            message = std::move(m_queue.front());
            m_queue.pop_front();
        }
        Deliver(message, stop);
        {
            std::lock_guard lock(m_lock);
            ++m_finished;
        }
        m_finishedChanged.notify_all();
    }
}

void FirefoxChannel::Deliver(const std::string& message, std::stop_token stop) {
    const platform::FileDescriptor fd(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.Valid())
        return;
    // The channel goes: a pending connect ends at once. The callback is gone before the socket closes.
    const std::stop_callback shut(stop, [&fd] { shutdown(fd.Get(), SHUT_RDWR); });
    if (stop.stop_requested())
        return;
    // Non-blocking: a fresh connection takes a message this short whole, or the send fails; it never waits.
    if (socketio::ConnectWithin(fd.Get(), platform::LoopbackAddress(m_ports.send), SendLimit)) {
        [[maybe_unused]] const ssize_t sent = send(fd.Get(), message.data(), message.size(), MSG_NOSIGNAL);
    }
}

bool FirefoxChannel::StartListener() {
    if (m_listener.Started())
        return true;
    platform::FileDescriptor fd(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    platform::FileDescriptor wake(eventfd(0, EFD_CLOEXEC));
    // SO_REUSEADDR only lets the port be bound again over connections left in TIME_WAIT by a copy that
    // just ended; on Linux a second copy still cannot bind while the first one listens.
    const int on = 1;
    const sockaddr_in where = platform::LoopbackAddress(m_ports.listen);
    sockaddr_in bound{};
    socklen_t size = sizeof bound;
    if (!fd.Valid() || !wake.Valid() || setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        bind(fd.Get(), reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0 ||
        listen(fd.Get(), SOMAXCONN) != 0 || getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&bound), &size) != 0)
        return false;
    m_listenSocket = std::move(fd);
    m_listenerWake = std::move(wake);
    m_listeningPort = ntohs(bound.sin_port);
    try {
        m_listener.Start([this](std::stop_token stop) { RunListener(stop); });
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
    m_listener.Stop();
    m_listenSocket.Reset();
    m_listenerWake.Reset();
    m_listeningPort = 0;
}

// Connections are served side by side, so that silent ones cannot hold up a start request; the
// thread ends at its stop, which writes the wake-up eventfd, or when the listening socket fails.
void FirefoxChannel::RunListener(std::stop_token stop) {
    const std::stop_callback wakeUp(stop, [this] {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(m_listenerWake.Get(), &one, sizeof one);
    });
    platform::ConnectionSet connections(ConnectionLimit, ReceiveLimit,
                                        [this](const std::string& received, bool) { return Serve(received); });
    pollfd wake[] = {{m_listenerWake.Get(), POLLIN, 0}};
    while (connections.Turn(m_listenSocket.Get(), wake) && wake[0].revents == 0) {
    }
}

// One receive, as the extension sends its request in one piece, compared up to its first NUL; a
// failed or silent connection is only dropped.
bool FirefoxChannel::Serve(const std::string& received) {
    if (std::strcmp(received.c_str(), StartRequest) == 0) {
        std::lock_guard lock(m_lock);
        QueueCurrentState();
    }
    return true;
}
