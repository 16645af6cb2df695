#include "tests/support/ByteServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace {

bool SendAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

// Deflates what more() gives until it gives nothing, as one gzip stream.
std::string GzipStream(const std::function<std::string_view()>& more) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::string out;
    std::vector<char> buffer(1 << 16);
    int flush = Z_NO_FLUSH;
    do {
        std::string_view in = more();
        flush = in.empty() ? Z_FINISH : Z_NO_FLUSH;
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
        stream.avail_in = static_cast<uInt>(in.size());
        do {
            stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
            stream.avail_out = static_cast<uInt>(buffer.size());
            deflate(&stream, flush);
            out.append(buffer.data(), buffer.size() - stream.avail_out);
        } while (stream.avail_out == 0);
    } while (flush != Z_FINISH);
    deflateEnd(&stream);
    return out;
}

} // namespace

ByteServer::ByteServer(std::string body, int status, Mode mode)
    : m_body(std::move(body)), m_status(status), m_mode(mode) {
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof where;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 ||
        ::listen(m_listener, 16) != 0 || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&where), &length) != 0 ||
        ::pipe2(m_wake, O_CLOEXEC) != 0)
        throw std::runtime_error("ByteServer: no listening socket");
    m_port = ntohs(where.sin_port);
    m_thread = std::thread([this] { Serve(); });
}

ByteServer::~ByteServer() {
    m_stop = true;
    (void)::write(m_wake[1], "x", 1);
    m_thread.join();
    ::close(m_listener);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
}

std::string ByteServer::LastRequest() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_lastRequest;
}

bool ByteServer::WaitReadable(int fd) const {
    pollfd fds[2] = {{fd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    while (!m_stop) {
        if (::poll(fds, 2, -1) > 0)
            return !m_stop && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
    }
    return false;
}

void ByteServer::Serve() {
    while (WaitReadable(m_listener)) {
        const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            continue;
        Answer(connection);
        ::close(connection);
    }
}

void ByteServer::Answer(int connection) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
        if (!WaitReadable(connection))
            return;
        const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
        if (got <= 0)
            return;
        request.append(buffer, static_cast<size_t>(got));
    }
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_lastRequest = request;
    }
    ++m_requests;
    if (m_mode == Silent) {
        // Holds the connection open until the client gives up or the server stops.
        while (WaitReadable(connection) && ::recv(connection, buffer, sizeof buffer, 0) > 0) {
        }
        return;
    }
    std::string head = "HTTP/1.1 " + std::to_string(m_status) + " Status\r\nConnection: close\r\n";
    if (m_mode == Reply)
        head += "Content-Length: " + std::to_string(m_body.size()) + "\r\n";
    head += "\r\n";
    if (!SendAll(connection, head.data(), head.size()))
        return;
    if (m_mode == Reply) {
        SendAll(connection, m_body.data(), m_body.size());
        return;
    }
    const std::string zeros(1 << 16, '\0');
    while (!m_stop && SendAll(connection, zeros.data(), zeros.size())) {
    }
}

std::string ByteServer::Gzip(const std::string& text) {
    bool given = false;
    return GzipStream([&]() -> std::string_view {
        if (given)
            return {};
        given = true;
        return text;
    });
}

std::string ByteServer::GzipZeros(uint64_t size) {
    const std::string block(1 << 20, '\0');
    uint64_t left = size;
    return GzipStream([&]() -> std::string_view {
        const uint64_t now = std::min<uint64_t>(left, block.size());
        left -= now;
        return std::string_view(block.data(), now);
    });
}
