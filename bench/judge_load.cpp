// A load of CLIENTS connections at once against an HTTP server on 127.0.0.1: each sends one request,
// reads the reply to its close, and connects again, for SECONDS. Prints the replies per second.
//   judge_load PORT CLIENTS SECONDS
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view Request =
    "GET / HTTP/1.0\r\nHost: judge\r\nUser-Agent: judge-load\r\nVia: 1.1 bench\r\n\r\n";

struct Client {
    int fd = -1;
    bool sent = false;
    bool answered = false; // some of the reply arrived
};

struct Load {
    sockaddr_in server{};
    int epoll = -1;
    std::vector<Client> clients;
    long replies = 0;
    long failures = 0;

    void Connect(size_t index) {
        Client& client = clients[index];
        client = {socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0), false, false};
        if (client.fd < 0) {
            std::perror("socket");
            std::exit(1);
        }
        if (connect(client.fd, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0 && errno != EINPROGRESS)
            ++failures;
        epoll_event event{EPOLLOUT | EPOLLIN, {.u64 = index}};
        epoll_ctl(epoll, EPOLL_CTL_ADD, client.fd, &event);
    }

    // A reply read to its close counts; anything else is a failure. Either way the client starts again.
    void Serve(size_t index, uint32_t events) {
        Client& client = clients[index];
        if (!client.sent && (events & EPOLLOUT)) {
            client.sent = send(client.fd, Request.data(), Request.size(), MSG_NOSIGNAL) == ssize_t(Request.size());
            epoll_event event{EPOLLIN, {.u64 = index}};
            epoll_ctl(epoll, EPOLL_CTL_MOD, client.fd, &event);
            if (client.sent)
                return;
        }
        char buffer[4096];
        ssize_t n = 0;
        while ((n = recv(client.fd, buffer, sizeof buffer, 0)) > 0)
            client.answered = true;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        ++(n == 0 && client.answered ? replies : failures);
        close(client.fd);
        Connect(index);
    }
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: judge_load PORT CLIENTS SECONDS\n");
        return 2;
    }
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    Load load;
    load.server.sin_family = AF_INET;
    load.server.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[1])));
    load.server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    load.clients.resize(static_cast<size_t>(std::atoi(argv[2])));
    load.epoll = epoll_create1(EPOLL_CLOEXEC);
    for (size_t i = 0; i < load.clients.size(); ++i)
        load.Connect(i);
    const auto start = Clock::now();
    const auto end = start + std::chrono::seconds(std::atoi(argv[3]));
    std::vector<epoll_event> events(load.clients.size());
    while (Clock::now() < end) {
        const int n = epoll_wait(load.epoll, events.data(), static_cast<int>(events.size()), 100);
        for (int i = 0; i < n; ++i)
            load.Serve(events[static_cast<size_t>(i)].data.u64, events[static_cast<size_t>(i)].events);
    }
    const std::chrono::duration<double> took = Clock::now() - start;
    std::printf("replies %ld failures %ld seconds %.2f per_second %.0f\n", load.replies, load.failures, took.count(),
                static_cast<double>(load.replies) / took.count());
    return 0;
}
