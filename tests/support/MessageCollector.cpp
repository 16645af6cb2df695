#include "tests/support/MessageCollector.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

MessageCollector::MessageCollector() {
    m_socket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(m_socket, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(m_socket, 64) != 0 ||
        getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Serve(); });
}

MessageCollector::~MessageCollector() {
    // Shutting the listening socket down ends the accept loop.
    shutdown(m_socket, SHUT_RDWR);
    if (m_thread.joinable())
        m_thread.join();
    close(m_socket);
}

void MessageCollector::Serve() {
    for (;;) {
        const int connection = accept4(m_socket, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            return;
        std::string message;
        char buffer[256];
        for (ssize_t got; (got = recv(connection, buffer, sizeof buffer, 0)) > 0;)
            message.append(buffer, static_cast<size_t>(got));
        close(connection);
        std::lock_guard<std::mutex> hold(m_lock);
        m_messages.push_back(message);
        m_arrived.notify_all();
    }
}

std::vector<std::string> MessageCollector::WaitFor(size_t count, std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> hold(m_lock);
    m_arrived.wait_for(hold, limit, [&] { return m_messages.size() >= count; });
    return m_messages;
}
