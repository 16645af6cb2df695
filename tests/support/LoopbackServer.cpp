#include "tests/support/LoopbackServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

using Clock = std::chrono::steady_clock;

namespace {

constexpr size_t MaxConnections = 8192;
constexpr size_t MaxRequestBytes = 64 * 1024;
constexpr size_t MaxPendingBytes = 4 << 20;
constexpr int MaxPollMs = 50;

sockaddr_in LoopbackAddress(const std::string& address, uint16_t port) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1)
        throw std::invalid_argument("not an IPv4 address: " + address);
    return where;
}

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool SameName(const std::string& a, const std::string& b) {
    return Upper(a) == Upper(b);
}

// The request's lines without their CR LF; the empty line that ends it is left out.
std::vector<std::string> RequestLines(const std::string& request) {
    std::vector<std::string> lines;
    for (size_t from = 0, end; (end = request.find("\r\n", from)) != std::string::npos; from = end + 2) {
        if (end == from)
            break;
        lines.push_back(request.substr(from, end - from));
    }
    return lines;
}

std::string JudgeLine(JudgeDialect dialect, const std::string& name, const std::string& value) {
    switch (dialect) {
    case JudgeDialect::Equals:
        return name + " = " + value + "\n";
    case JudgeDialect::ColonBr:
        return name + ": " + value + "<br>\n";
    case JudgeDialect::CrLf:
        return name + "=" + value + "\r\n";
    }
    return {};
}

std::string JudgeReply(const std::string& request, const std::string& peer, uint16_t peerPort, JudgeDialect dialect,
                       const std::string& extra) {
    const std::vector<std::string> lines = RequestLines(request);
    std::string body =
        JudgeLine(dialect, "REMOTE_ADDR", peer) + JudgeLine(dialect, "REMOTE_PORT", std::to_string(peerPort));
    if (!lines.empty()) {
        const std::string& first = lines.front();
        const size_t space1 = first.find(' ');
        const size_t space2 = first.find(' ', space1 + 1);
        body += JudgeLine(dialect, "REQUEST_METHOD", first.substr(0, space1));
        body += JudgeLine(dialect, "REQUEST_URI", first.substr(space1 + 1, space2 - space1 - 1));
    }
    for (size_t i = 1; i < lines.size(); ++i) {
        const size_t colon = lines[i].find(':');
        if (colon == std::string::npos)
            continue;
        std::string name = "HTTP_" + Upper(lines[i].substr(0, colon));
        std::replace(name.begin(), name.end(), '-', '_');
        body += JudgeLine(dialect, name, lines[i].substr(lines[i].find_first_not_of(' ', colon + 1)));
    }
    return "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body + extra;
}

std::string PageReply(const std::string& marker) {
    return "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html><head><title>" + marker +
           "</title></head><body>Search</body></html>\n";
}

// The request with the proxy's header edits applied.
std::string EditHeaders(const std::string& request, const ProxyScript& script) {
    const std::vector<std::string> lines = RequestLines(request);
    std::string edited = lines.empty() ? std::string() : lines.front() + "\r\n";
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string name = lines[i].substr(0, lines[i].find(':'));
        const auto same = [&](const std::string& other) { return SameName(name, other); };
        if (std::any_of(script.dropHeaders.begin(), script.dropHeaders.end(), same) ||
            std::any_of(script.setHeaders.begin(), script.setHeaders.end(),
                        [&](const auto& header) { return same(header.first); }))
            continue;
        edited += lines[i] + "\r\n";
    }
    for (const auto& [name, value] : script.setHeaders)
        edited += name + ": " + value + "\r\n";
    return edited + "\r\n";
}

// "host[:port]" of an absolute-URL request line, or empty.
std::string TargetOf(const std::string& request) {
    const size_t start = request.find("http://");
    if (start == std::string::npos || start > request.find("\r\n"))
        return {};
    const size_t hostStart = start + 7;
    const size_t end = request.find_first_of("/ \r", hostStart);
    return request.substr(hostStart, end - hostStart);
}

} // namespace

struct LoopbackServer::Listener {
    enum Kind { Judge, Page, Proxy };
    Kind kind = Judge;
    int fd = -1;
    uint16_t port = 0;
    JudgeDialect dialect = JudgeDialect::Equals;
    std::string extra;
    std::chrono::milliseconds delay{0};
    std::string marker;
    ProxyScript script;
    std::atomic<int> requests = 0;
    std::string lastRequest;
};

struct LoopbackServer::Connection {
    enum Feed { None, Drip, Endless };
    int fd = -1;
    Listener* listener = nullptr; // null for a proxy's connection to its target
    Connection* peer = nullptr;
    std::string peerAddress;
    uint16_t peerPort = 0;
    std::string in;
    std::string out;
    size_t sent = 0;
    Clock::time_point sendAt{};
    Feed feed = None;
    bool requestDone = false;
    // A SOCKS5 proxy's steps: greeting, connect request, then the tunnel to socksTarget.
    int socksStep = 0;
    std::string socksTarget;
    bool closeWhenSent = false;
    bool resetWhenSent = false;
    bool connecting = false;
    bool dead = false;

    bool WantsWrite(Clock::time_point now) const {
        return connecting || feed == Endless || (!out.empty() && now >= sendAt);
    }
};

LoopbackServer::LoopbackServer() {
    if (pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("pipe failed");
}

LoopbackServer::~LoopbackServer() {
    m_stop = true;
    if (m_thread.joinable()) {
        [[maybe_unused]] const ssize_t ignored = write(m_wake[1], "x", 1);
        m_thread.join();
    }
    for (auto& connection : m_connections)
        if (!connection->dead)
            close(connection->fd);
    for (auto& listener : m_listeners)
        close(listener->fd);
    close(m_wake[0]);
    close(m_wake[1]);
}

uint16_t LoopbackServer::AddListener(std::unique_ptr<Listener> listener, const std::string& address) {
    if (m_thread.joinable())
        throw std::logic_error("add servers before Start");
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in where = LoopbackAddress(address, 0);
    socklen_t size = sizeof where;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 || listen(fd, 512) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&where), &size) != 0) {
        const std::string error = std::strerror(errno);
        if (fd >= 0)
            close(fd);
        throw std::runtime_error("cannot listen on " + address + ": " + error);
    }
    listener->fd = fd;
    listener->port = ntohs(where.sin_port);
    m_listeners.push_back(std::move(listener));
    return m_listeners.back()->port;
}

uint16_t LoopbackServer::AddJudge(JudgeDialect dialect, const std::string& extra, const std::string& address) {
    auto judge = std::make_unique<Listener>();
    judge->kind = Listener::Judge;
    judge->dialect = dialect;
    judge->extra = extra;
    return AddListener(std::move(judge), address);
}

uint16_t LoopbackServer::AddPage(std::chrono::milliseconds delay, const std::string& marker,
                                 const std::string& address) {
    auto page = std::make_unique<Listener>();
    page->kind = Listener::Page;
    page->delay = delay;
    page->marker = marker;
    return AddListener(std::move(page), address);
}

uint16_t LoopbackServer::AddProxy(const ProxyScript& script, const std::string& address) {
    auto proxy = std::make_unique<Listener>();
    proxy->kind = Listener::Proxy;
    proxy->script = script;
    return AddListener(std::move(proxy), address);
}

void LoopbackServer::Start() {
    m_thread = std::thread([this] { Serve(); });
}

LoopbackServer::Listener* LoopbackServer::Find(uint16_t port) const {
    for (const auto& listener : m_listeners)
        if (listener->port == port)
            return listener.get();
    throw std::invalid_argument("no server on port " + std::to_string(port));
}

int LoopbackServer::Requests(uint16_t port) const {
    return Find(port)->requests.load();
}

std::string LoopbackServer::LastRequest(uint16_t port) const {
    const Listener* listener = Find(port);
    std::lock_guard<std::mutex> hold(m_lock);
    return listener->lastRequest;
}

bool LoopbackServer::WaitForRequests(uint16_t port, int count, std::chrono::milliseconds limit) const {
    const Listener* listener = Find(port);
    const auto end = Clock::now() + limit;
    while (listener->requests.load() < count) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

int LoopbackServer::PollTimeoutMs() const {
    const auto now = Clock::now();
    auto timeout = std::chrono::milliseconds(MaxPollMs);
    for (const auto& c : m_connections)
        if (!c->dead && !c->out.empty() && c->sendAt > now)
            timeout = std::min(timeout, std::chrono::ceil<std::chrono::milliseconds>(c->sendAt - now));
    return static_cast<int>(timeout.count());
}

void LoopbackServer::Serve() {
    std::vector<pollfd> fds;
    std::vector<Connection*> polled;
    while (!m_stop.load()) {
        const auto now = Clock::now();
        fds.assign(1, pollfd{m_wake[0], POLLIN, 0});
        for (const auto& listener : m_listeners)
            fds.push_back({listener->fd, POLLIN, 0});
        polled.clear();
        for (const auto& c : m_connections) {
            short events = c->connecting ? 0 : POLLIN;
            // A forwarding proxy reads its target no faster than its client takes the data.
            if (c->peer && !c->listener && c->peer->out.size() > MaxPendingBytes)
                events = 0;
            if (c->WantsWrite(now))
                events |= POLLOUT;
            fds.push_back({c->fd, events, 0});
            polled.push_back(c.get());
        }
        if (poll(fds.data(), fds.size(), PollTimeoutMs()) < 0 && errno != EINTR)
            break;
        for (size_t i = 0; i < m_listeners.size(); ++i)
            if (fds[1 + i].revents & POLLIN)
                Accept(*m_listeners[i]);
        const size_t first = 1 + m_listeners.size();
        for (size_t i = 0; i < polled.size(); ++i) {
            Connection& c = *polled[i];
            const short revents = fds[first + i].revents;
            if (!c.dead && (revents & (POLLIN | POLLHUP | POLLERR)) && !c.connecting)
                Read(c);
            if (!c.dead && (revents & (POLLOUT | POLLERR | POLLHUP)) && c.WantsWrite(Clock::now()))
                Write(c);
            if (!c.dead && c.closeWhenSent && c.out.empty())
                Close(c);
        }
        std::erase_if(m_connections, [](const auto& c) { return c->dead; });
    }
}

void LoopbackServer::Accept(Listener& listener) {
    for (;;) {
        sockaddr_in peer{};
        socklen_t size = sizeof peer;
        const int fd = accept4(listener.fd, reinterpret_cast<sockaddr*>(&peer), &size, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        if (m_connections.size() >= MaxConnections) {
            close(fd);
            continue;
        }
        auto c = std::make_unique<Connection>();
        c->fd = fd;
        c->listener = &listener;
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
        c->peerAddress = text;
        c->peerPort = ntohs(peer.sin_port);
        m_connections.push_back(std::move(c));
    }
}

void LoopbackServer::Read(Connection& c) {
    char buffer[16384];
    const ssize_t received = recv(c.fd, buffer, sizeof buffer, 0);
    if (received < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (received <= 0) {
        Close(c);
        return;
    }
    if (!c.listener) {
        if (c.peer)
            c.peer->out.append(buffer, static_cast<size_t>(received));
        return;
    }
    if (c.requestDone)
        return;
    c.in.append(buffer, static_cast<size_t>(received));
    if (c.in.size() > MaxRequestBytes || !OpenSocksTunnel(c)) {
        Close(c);
        return;
    }
    if (c.listener->script.socks5 && c.socksStep < 2)
        return;
    const size_t end = c.in.find("\r\n\r\n");
    if (end == std::string::npos)
        return;
    c.in.resize(end + 4);
    c.requestDone = true;
    OnRequest(c);
}

bool LoopbackServer::OpenSocksTunnel(Connection& c) {
    if (c.listener->kind != Listener::Proxy || !c.listener->script.socks5)
        return true;
    const auto answer = [&](const char* bytes, size_t size, size_t consumed) {
        c.in.erase(0, consumed);
        ++c.socksStep;
        return send(c.fd, bytes, size, MSG_NOSIGNAL) == static_cast<ssize_t>(size);
    };
    const size_t greeting = c.in.size() >= 2 ? 2 + size_t{static_cast<unsigned char>(c.in[1])} : 2;
    if (c.socksStep == 0 && c.in.size() >= greeting)
        return c.in[0] == 5 && answer("\x05\x00", 2, greeting);
    if (c.socksStep != 1 || c.in.size() < 5)
        return true;
    // Addresses and names only: the tester asks for nothing else.
    const size_t length = c.in[3] == 1 ? 10 : 7 + size_t{static_cast<unsigned char>(c.in[4])};
    if (c.in.size() < length)
        return true;
    const auto port = static_cast<uint16_t>(static_cast<unsigned char>(c.in[length - 2]) << 8 |
                                            static_cast<unsigned char>(c.in[length - 1]));
    if (c.in[3] == 1) {
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, c.in.data() + 4, text, sizeof text);
        c.socksTarget = text;
    } else {
        c.socksTarget = c.in.substr(5, length - 7);
    }
    if (port != 80)
        c.socksTarget += ":" + std::to_string(port);
    return answer("\x05\x00\x00\x01\x00\x00\x00\x00\x00\x00", 10, length);
}

void LoopbackServer::OnRequest(Connection& c) {
    Listener& listener = *c.listener;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        listener.lastRequest = c.in;
    }
    ++listener.requests;
    const auto now = Clock::now();
    c.sendAt = now;
    c.closeWhenSent = true;
    if (listener.kind == Listener::Judge) {
        c.out = JudgeReply(c.in, c.peerAddress, c.peerPort, listener.dialect, listener.extra);
        return;
    }
    if (listener.kind == Listener::Page) {
        c.out = PageReply(listener.marker);
        c.sendAt = now + listener.delay;
        return;
    }
    const ProxyScript& script = listener.script;
    switch (script.mode) {
    case ProxyScript::Silent:
        c.closeWhenSent = false;
        return;
    case ProxyScript::Drip:
        c.closeWhenSent = false;
        c.feed = Connection::Drip;
        Refill(c);
        return;
    case ProxyScript::Endless:
        c.closeWhenSent = false;
        c.feed = Connection::Endless;
        return;
    case ProxyScript::ResetMidReply:
        c.out = "HTTP/1.0 200 OK\r\n\r\nREMOTE_ADDR = 10.1.2.3\nHTTP_VIA = 1.1 ha";
        c.closeWhenSent = false;
        c.resetWhenSent = true;
        return;
    case ProxyScript::Garbage: {
        static const char garbage[] =
            "HTTP/1.0 200 OK\r\n\r\nREMOTE_ADDR = 10.9.8.7\n\0HTTP_VIA = hidden google\n\0\x01\xff";
        c.out.assign(garbage, sizeof garbage - 1);
        return;
    }
    case ProxyScript::Forward:
        break;
    }
    const std::string target = script.socks5 ? c.socksTarget : TargetOf(c.in);
    if (!script.pageHost.empty() && target == script.pageHost) {
        c.out = PageReply(script.pageMarker);
        c.sendAt = now + script.pageDelay;
        return;
    }
    OpenUpstream(c, target, EditHeaders(c.in, script));
}

void LoopbackServer::OpenUpstream(Connection& client, const std::string& target, const std::string& request) {
    const size_t colon = target.find(':');
    const std::string host = target.substr(0, colon);
    const int port = colon == std::string::npos ? 80 : std::atoi(target.c_str() + colon + 1);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(static_cast<uint16_t>(port));
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    bool ok = fd >= 0 && inet_pton(AF_INET, host.c_str(), &where.sin_addr) == 1;
    const std::string& outgoing = client.listener->script.outgoingAddress;
    if (ok && !outgoing.empty()) {
        sockaddr_in from = LoopbackAddress(outgoing, 0);
        ok = bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0;
    }
    if (ok)
        ok = connect(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0 || errno == EINPROGRESS;
    if (!ok) {
        if (fd >= 0)
            close(fd);
        client.out = "HTTP/1.0 502 Bad Gateway\r\n\r\n";
        return;
    }
    client.closeWhenSent = false; // until the target has answered
    auto upstream = std::make_unique<Connection>();
    upstream->fd = fd;
    upstream->connecting = true;
    upstream->out = request;
    upstream->peer = &client;
    client.peer = upstream.get();
    m_connections.push_back(std::move(upstream));
}

void LoopbackServer::Write(Connection& c) {
    const auto now = Clock::now();
    if (c.connecting) {
        int error = 0;
        socklen_t size = sizeof error;
        getsockopt(c.fd, SOL_SOCKET, SO_ERROR, &error, &size);
        if (error != 0) {
            Close(c);
            return;
        }
        c.connecting = false;
    }
    if (c.out.empty())
        Refill(c);
    if (c.out.empty() || now < c.sendAt)
        return;
    const size_t length = c.feed == Connection::Drip ? 1 : c.out.size() - c.sent;
    const ssize_t n = send(c.fd, c.out.data() + c.sent, length, MSG_NOSIGNAL);
    if (n < 0) {
        if (errno != EAGAIN && errno != EINTR)
            Close(c);
        return;
    }
    c.sent += static_cast<size_t>(n);
    if (c.feed == Connection::Drip)
        c.sendAt = now + c.listener->script.dripInterval;
    if (c.sent < c.out.size())
        return;
    c.out.clear();
    c.sent = 0;
    Refill(c);
    if (c.resetWhenSent) {
        linger abort{1, 0};
        setsockopt(c.fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        Close(c);
    }
}

void LoopbackServer::Close(Connection& c) {
    if (c.dead)
        return;
    c.dead = true;
    close(c.fd);
    Connection* peer = c.peer;
    c.peer = nullptr;
    if (!peer)
        return;
    peer->peer = nullptr;
    if (c.listener)
        Close(*peer); // the client left: drop its forwarded request
    else
        peer->closeWhenSent = true; // the target has answered: pass the rest on, then close
}

// Drip and endless replies never run dry.
void LoopbackServer::Refill(Connection& c) {
    if (c.feed == Connection::Endless)
        c.out.assign(64 * 1024, 'x');
    else if (c.feed == Connection::Drip)
        c.out = "HTTP/1.0 200 OK\r\n\r\nREMOTE_ADDR = 10.5.5.5\n";
}

uint16_t FreePort(const std::string& address) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in where = LoopbackAddress(address, 0);
    socklen_t size = sizeof where;
    bind(fd, reinterpret_cast<sockaddr*>(&where), sizeof where);
    getsockname(fd, reinterpret_cast<sockaddr*>(&where), &size);
    close(fd);
    return ntohs(where.sin_port);
}
