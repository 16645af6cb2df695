#include "tests/support/ExtensionStub.h"

#include "platform/LoopbackAddress.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

namespace {

// The backlog is full once a connect stays pending this long.
constexpr int FillWaitMs = 500;
constexpr int MaxFillers = 8;

// true when fd has input (or an end) before the wake pipe does.
bool WaitForInput(int fd, int wake) {
    pollfd entries[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
    return poll(entries, 2, -1) > 0 && entries[1].revents == 0;
}

size_t CountEntries(const char* folder) {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++count;
    return count;
}

} // namespace

ExtensionStub::ExtensionStub(Mode mode) : m_mode(mode) {
    m_listen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in where = platform::LoopbackAddress(0);
    socklen_t size = sizeof where;
    if (m_listen < 0 || bind(m_listen, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 ||
        listen(m_listen, mode == NeverAccepts ? 0 : SOMAXCONN) != 0 ||
        getsockname(m_listen, reinterpret_cast<sockaddr*>(&where), &size) != 0 || pipe2(m_wake, O_CLOEXEC) != 0)
        throw std::runtime_error("ExtensionStub: cannot listen on 127.0.0.1");
    m_port = ntohs(where.sin_port);
    if (mode == NeverAccepts)
        FillBacklog();
    else
        m_thread = std::thread(&ExtensionStub::Serve, this);
}

ExtensionStub::~ExtensionStub() {
    if (m_thread.joinable()) {
        [[maybe_unused]] const ssize_t n = write(m_wake[1], "x", 1);
        m_thread.join();
    }
    for (int fd : m_held)
        close(fd);
    for (int fd : {m_listen, m_wake[0], m_wake[1]})
        close(fd);
}

std::vector<std::string> ExtensionStub::Messages() const {
    std::lock_guard lock(m_lock);
    return m_messages;
}

bool ExtensionStub::WaitForMessages(size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(m_lock);
    return m_arrived.wait_for(lock, limit, [&] { return m_messages.size() >= count; });
}

bool ExtensionStub::WaitForLast(const std::string& message, std::chrono::milliseconds limit) const {
    std::unique_lock lock(m_lock);
    return m_arrived.wait_for(lock, limit, [&] { return !m_messages.empty() && m_messages.back() == message; });
}

size_t ExtensionStub::Held() const {
    std::lock_guard lock(m_lock);
    return m_held.size();
}

// A backlog of 0 holds one finished handshake; the kernel then drops every further SYN, so a
// connect to the port stays pending until its caller gives up.
void ExtensionStub::FillBacklog() {
    const sockaddr_in where = platform::LoopbackAddress(m_port);
    for (int i = 0; i < MaxFillers; ++i) {
        const int client = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        m_held.push_back(client);
        if (connect(client, reinterpret_cast<const sockaddr*>(&where), sizeof where) == 0)
            continue;
        pollfd entry{client, POLLOUT, 0};
        if (poll(&entry, 1, FillWaitMs) == 0)
            return;
    }
}

void ExtensionStub::Serve() {
    while (WaitForInput(m_listen, m_wake[0])) {
        const int connection = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            continue;
        if (m_mode == NeverReads) {
            std::lock_guard lock(m_lock);
            m_held.push_back(connection);
            continue;
        }
        ReadToEnd(connection);
        close(connection);
    }
}

void ExtensionStub::ReadToEnd(int connection) {
    std::string message;
    char buffer[512];
    ssize_t n = 0;
    while (WaitForInput(connection, m_wake[0]) && (n = recv(connection, buffer, sizeof buffer, 0)) > 0)
        message.append(buffer, static_cast<size_t>(n));
    {
        std::lock_guard lock(m_lock);
        m_messages.push_back(message);
    }
    m_arrived.notify_all();
}

std::vector<platform::FileDescriptor> OpenSilentConnections(uint16_t port, size_t count) {
    const sockaddr_in where = platform::LoopbackAddress(port);
    std::vector<platform::FileDescriptor> connections;
    for (size_t i = 0; i < count; ++i) {
        platform::FileDescriptor fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (!fd.Valid() || connect(fd.Get(), reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0)
            break;
        connections.push_back(std::move(fd));
    }
    return connections;
}

size_t ThreadCount() {
    return CountEntries("/proc/self/task");
}

size_t OpenDescriptors() {
    // The iterator's own descriptor is counted too, the same each time.
    return CountEntries("/proc/self/fd");
}
