#pragma once

#include "platform/FileDescriptor.h"

#include <sys/socket.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A proxy judge that users host: every request gets a page of its CGI variables, then the connection
// closes. One thread serves all connections; each is bounded in size and time, and so is their number.
class JudgeServer {
public:
    struct Limits {
        size_t maxHead = 16 * 1024;
        std::chrono::milliseconds timeout{10'000}; // for the head, the reply and its close together
        size_t maxConnections = 1024;              // beyond it a newcomer pushes out the oldest
    };

    // Where to listen, from `[ADDR:]PORT`: ADDR is dotted IPv4 or a bracketed IPv6 address, 127.0.0.1 when
    // left out; PORT 0 takes any free port.
    struct Endpoint {
        sockaddr_storage address{};
        socklen_t size = 0;
        static std::optional<Endpoint> Parse(std::string_view text, std::string& error);
        std::string Text() const;
    };

    explicit JudgeServer(Limits limits) : m_limits(limits) {}

    // False with the reason in error when the address cannot be listened on.
    bool Listen(const Endpoint& where, std::string& error);
    // The address listened on, with the port the system gave for 0.
    const Endpoint& Listening() const { return m_listening; }
    // Serves until wake becomes readable; false when the listener failed.
    bool Run(int wake);

private:
    std::optional<std::string> Serve(int fd, const std::string& received) const;

    const Limits m_limits;
    platform::FileDescriptor m_listener;
    Endpoint m_listening;
};
