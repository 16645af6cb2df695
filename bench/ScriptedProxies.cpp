#include "bench/ScriptedProxies.h"

#include "platform/OpenFileLimit.h"
#include "proxy/ProxyList.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <queue>
#include <random>
#include <sstream>
#include <unordered_map>

namespace bench {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr const char* ProxyOutAddress = "127.0.0.5"; // where the scripted proxies seem to leave from
// The proxies' ports: below the ephemeral range, so that the tester's own connections always find a port.
constexpr int FirstPort = 10000;
constexpr int LastPort = 32767;
// Tenths of a list: [answer fast, refuse, stay silent); the rest answers after 2 s.
constexpr size_t UsualTenths[3] = {4, 7, 9};
constexpr size_t DeadTenths[3] = {2, 6, 10};

// ---- The helper process: every proxy and the judge, on one epoll loop. ----

// port 0 takes any free port; the port bound is left in port.
int Listener(const char* address, bool listening, uint16_t& port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    inet_pton(AF_INET, address, &where.sin_addr);
    // The connections of an earlier run may still wait out their close on the same port.
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0) {
        if (fd >= 0)
            close(fd);
        return -1;
    }
    // A bound socket that does not listen refuses connections, and keeps its port from other binds.
    if (listening && listen(fd, 512) != 0)
        return -1;
    socklen_t size = sizeof where;
    getsockname(fd, reinterpret_cast<sockaddr*>(&where), &size);
    port = ntohs(where.sin_port);
    return fd;
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The judge's echo of a request: CGI variable lines, or the JSON form on a ".json" path.
std::string JudgePage(const std::string& request, const std::string& remote, bool json) {
    std::vector<std::pair<std::string, std::string>> headers;
    std::istringstream lines(request);
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        headers.emplace_back(line.substr(0, colon), value);
    }
    std::string body;
    if (json) {
        body = "{\"ip_addr\":\"" + remote + "\"";
        for (const auto& [name, value] : headers)
            body += ",\"" + Lower(name) + "\":\"" + value + "\"";
        body += "}";
    } else {
        body = "REMOTE_ADDR = " + remote + "\n";
        for (auto [name, value] : headers) {
            for (char& c : name)
                c = c == '-' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            body += "HTTP_" + name + " = " + value + "\n";
        }
    }
    return std::string("HTTP/1.0 200 OK\r\nContent-Type: ") + (json ? "application/json" : "text/plain") +
           "\r\nConnection: close\r\n\r\n" + body;
}

// One helper process: the proxies [begin, end) of the script, on the address of its shard, and the
// judge when it is the first.
class ScriptServer {
public:
    ScriptServer(std::vector<Scripted>& proxies, size_t begin, size_t end)
        : m_proxies(proxies), m_begin(begin), m_end(end) {}

    // Opens every socket; false when one could not be opened. judgePort: the judge's when it is served
    // here, otherwise the port that another helper serves it on.
    bool Open(bool judgeHere, uint16_t& judgePort) {
        m_epoll = epoll_create1(EPOLL_CLOEXEC);
        if (judgeHere) {
            const int judge = Listener("127.0.0.3", true, judgePort);
            if (judge < 0)
                return false;
            Watch(judge, -1);
        }
        m_judgeHost = "127.0.0.3:" + std::to_string(judgePort);
        int port = FirstPort;
        for (size_t i = m_begin; i < m_end; ++i) {
            const bool refuse = m_proxies[i].kind == Scripted::Refuse;
            int fd = -1;
            // A port that something else holds is passed over.
            for (; fd < 0 && port <= LastPort; ++port) {
                m_proxies[i].port = static_cast<uint16_t>(port);
                fd = Listener(m_proxies[i].host.c_str(), !refuse, m_proxies[i].port);
            }
            if (fd < 0)
                return false;
            if (!refuse)
                Watch(fd, static_cast<int>(i));
        }
        return true;
    }

    // Serves until the parent closes its end of parentFd.
    void Serve(int parentFd) {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u64 = Key(parentFd, 0);
        epoll_ctl(m_epoll, EPOLL_CTL_ADD, parentFd, &event);
        m_parent = parentFd;
        std::vector<epoll_event> events(256);
        for (;;) {
            const int ready = epoll_wait(m_epoll, events.data(), static_cast<int>(events.size()), WaitMs());
            for (int i = 0; i < ready; ++i) {
                const int fd = static_cast<int>(events[i].data.u64 & 0xffffffff);
                if (fd == m_parent)
                    return;
                if (m_listeners.count(fd))
                    Accept(fd);
                else
                    Read(fd, events[i].data.u64 >> 32);
            }
            AnswerDue();
        }
    }

private:
    struct Connection {
        int proxy; // -1: the judge
        uint32_t id;
        std::string request;
        bool answered = false;
        std::string peer;
    };
    struct Due {
        SteadyClock::time_point at;
        int fd;
        uint32_t id;
        bool operator>(const Due& other) const { return at > other.at; }
    };

    static uint64_t Key(int fd, uint32_t id) { return static_cast<uint64_t>(id) << 32 | static_cast<uint32_t>(fd); }

    void Watch(int fd, int proxy) {
        m_listeners[fd] = proxy;
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u64 = Key(fd, 0);
        epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event);
    }

    void Accept(int listener) {
        for (;;) {
            sockaddr_in peer{};
            socklen_t size = sizeof peer;
            const int fd = accept4(listener, reinterpret_cast<sockaddr*>(&peer), &size, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0)
                return;
            char text[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
            const uint32_t id = ++m_nextId;
            m_connections[fd] = Connection{m_listeners[listener], id, {}, false, text};
            epoll_event event{};
            event.events = EPOLLIN;
            event.data.u64 = Key(fd, id);
            epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event);
        }
    }

    void Read(int fd, uint64_t id) {
        const auto found = m_connections.find(fd);
        if (found == m_connections.end() || found->second.id != id)
            return;
        Connection& connection = found->second;
        char buffer[4096];
        const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            Close(fd);
            return;
        }
        if (connection.answered || connection.request.size() > 65536)
            return;
        connection.request.append(buffer, static_cast<size_t>(got));
        if (connection.request.find("\r\n\r\n") == std::string::npos)
            return;
        connection.answered = true;
        if (connection.proxy < 0) {
            Answer(fd); // the judge answers at once
            return;
        }
        const Scripted& script = m_proxies[static_cast<size_t>(connection.proxy)];
        if (script.kind == Scripted::Answer)
            m_due.push({SteadyClock::now() + std::chrono::milliseconds(script.delayMs), fd, connection.id});
    }

    void AnswerDue() {
        const auto now = SteadyClock::now();
        while (!m_due.empty() && m_due.top().at <= now) {
            const Due due = m_due.top();
            m_due.pop();
            const auto found = m_connections.find(due.fd);
            if (found != m_connections.end() && found->second.id == due.id)
                Answer(due.fd);
        }
    }

    int WaitMs() const {
        if (m_due.empty())
            return 1000;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_due.top().at - SteadyClock::now());
        return static_cast<int>(std::clamp<long long>(left.count() + 1, 0, 1000));
    }

    void Answer(int fd) {
        Connection& connection = m_connections[fd];
        const std::string& request = connection.request;
        std::string reply;
        if (connection.proxy < 0) {
            const std::string path = request.substr(4, request.find(' ', 4) - 4);
            reply = JudgePage(request, connection.peer, path.ends_with(".json"));
        } else {
            // "GET http://HOST/PATH HTTP/1.x": the page, or the judge's echo as the proxy makes it.
            const size_t hostStart = request.find("http://") + 7;
            const size_t pathStart = request.find('/', hostStart);
            const std::string host = request.substr(hostStart, pathStart - hostStart);
            const std::string path = request.substr(pathStart, request.find(' ', pathStart) - pathStart);
            if (host == PageHost) {
                reply = std::string("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html><title>") + PageMarker +
                        "</title><body>" + PageMarker + " search</body></html>\n";
            } else if (host == m_judgeHost) {
                reply = JudgePage(Forwarded(request, m_proxies[static_cast<size_t>(connection.proxy)].level),
                                  ProxyOutAddress, path.ends_with(".json"));
            } else {
                reply = "HTTP/1.0 502 Bad Gateway\r\n\r\n";
            }
        }
        send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        Close(fd);
    }

    // The request as the judge gets it from a proxy of the given level; hop-by-hop headers dropped.
    static std::string Forwarded(const std::string& request, int level) {
        std::string out;
        std::istringstream lines(request);
        std::string line;
        while (std::getline(lines, line)) {
            const std::string lower = Lower(line);
            if (lower.starts_with("proxy-connection:") || lower.starts_with("proxy-authorization:") || line == "\r")
                continue;
            out += line + "\n";
        }
        if (level == 2)
            out += "Via: 1.1 scripted\r\n";
        if (level == 3)
            out += "X-Forwarded-For: 127.0.0.1\r\n";
        return out + "\r\n";
    }

    void Close(int fd) {
        epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
        close(fd);
        m_connections.erase(fd);
    }

    std::vector<Scripted>& m_proxies;
    size_t m_begin;
    size_t m_end;
    int m_epoll = -1;
    int m_parent = -1;
    std::string m_judgeHost;
    std::unordered_map<int, int> m_listeners;
    std::unordered_map<int, Connection> m_connections;
    std::priority_queue<Due, std::vector<Due>, std::greater<Due>> m_due;
    uint32_t m_nextId = 0;
};

// Forks the helper of proxies [begin, end) with alive's read end, and fills in their ports (and the
// judge's, when judgeHere); -1 when it could not open its sockets.
pid_t StartServer(std::vector<Scripted>& proxies, size_t begin, size_t end, bool judgeHere, uint16_t& judgePort,
                  const int alive[2]) {
    int report[2];
    if (pipe(report) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(report[0]);
        close(alive[1]);
        // A socket a proxy, and one for each connection of thousands of workers.
        platform::RaiseOpenFileLimit();
        ScriptServer server(proxies, begin, end);
        std::string ports;
        if (server.Open(judgeHere, judgePort)) {
            ports = std::to_string(judgePort) + "\n";
            for (size_t i = begin; i < end; ++i)
                ports += std::to_string(proxies[i].port) + "\n";
        }
        for (size_t done = 0; done < ports.size();) {
            const ssize_t n = write(report[1], ports.data() + done, ports.size() - done);
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
        close(report[1]);
        if (!ports.empty())
            server.Serve(alive[0]);
        _exit(0);
    }
    close(report[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(report[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    close(report[0]);
    std::istringstream lines(text);
    int value = 0;
    if (pid < 0 || !(lines >> value))
        return -1;
    judgePort = static_cast<uint16_t>(value);
    for (size_t i = begin; i < end; ++i) {
        lines >> value;
        proxies[i].port = static_cast<uint16_t>(value);
    }
    return pid;
}

} // namespace

bool ParseMix(const std::string& name, Mix& mix) {
    if (name != "usual" && name != "dead")
        return false;
    mix = name == "usual" ? Mix::Usual : Mix::MostlyDead;
    return true;
}

std::vector<Scripted> MakeScript(size_t count, Mix mix) {
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> fast(50, 300);
    const size_t(&bounds)[3] = mix == Mix::Usual ? UsualTenths : DeadTenths;
    std::vector<Scripted> proxies(count);
    for (size_t i = 0; i < count; ++i) {
        Scripted& p = proxies[i];
        const size_t tenth = i % 10;
        if (tenth < bounds[0]) {
            p.delayMs = fast(random);
        } else if (tenth < bounds[1]) {
            p.kind = Scripted::Refuse;
        } else if (tenth < bounds[2]) {
            p.kind = Scripted::Silent;
        } else {
            p.delayMs = 2000;
        }
        p.level = static_cast<int>(i / 10 % 3) + 1;
    }
    std::shuffle(proxies.begin(), proxies.end(), random);
    for (size_t i = 0; i < count; ++i)
        proxies[i].host = "127.1." + std::to_string(i / ShardSize) + ".1";
    return proxies;
}

ScriptedProxies::ScriptedProxies(size_t count, Mix mix) : ScriptedProxies(MakeScript(count, mix)) {}

ScriptedProxies::ScriptedProxies(std::vector<Scripted> script) : m_proxies(std::move(script)) {
    int alive[2];
    if (pipe2(alive, O_CLOEXEC) != 0)
        return;
    m_keepAlive = alive[1];
    for (size_t begin = 0; begin == 0 || begin < m_proxies.size(); begin += ShardSize) {
        const size_t end = std::min(begin + ShardSize, m_proxies.size());
        const pid_t pid = StartServer(m_proxies, begin, end, begin == 0, m_judgePort, alive);
        if (pid < 0) {
            Stop();
            break;
        }
        m_servers.push_back(pid);
    }
    close(alive[0]);
}

ScriptedProxies::~ScriptedProxies() {
    Stop();
}

double ScriptedProxies::Stop() {
    if (m_keepAlive >= 0)
        close(m_keepAlive);
    m_keepAlive = -1;
    double cpu = 0;
    for (const pid_t pid : m_servers) {
        rusage usage{};
        if (wait4(pid, nullptr, 0, &usage) == pid)
            cpu += CpuSeconds(usage);
    }
    m_servers.clear();
    return cpu;
}

std::string ScriptedProxies::AddressLines() const {
    std::string lines;
    for (const Scripted& p : m_proxies)
        lines += p.Address() + "\n";
    return lines;
}

double CpuSeconds(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

LevelCounts CountLevels(const ProxyList& list) {
    LevelCounts levels;
    for (size_t i = 0; i < list.GetSize(); ++i) {
        const int32_t level = list[i]->m_anonymity;
        ++levels.count[level >= 1 && level <= 3 ? level : 4];
    }
    return levels;
}

} // namespace bench
