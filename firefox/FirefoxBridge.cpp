#include "firefox/FirefoxBridge.h"

#include "platform/ConnectionSet.h"
#include "platform/FileDescriptor.h"
#include "platform/LoopbackAddress.h"
#include "platform/PortNumber.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The longest control message is 27 bytes; a connection that sends more is not orv.
constexpr size_t MaxMessageBytes = 64;
// orv sends its message and closes at once; a connection that lingers is cut after this.
constexpr std::chrono::milliseconds ReadLimit{2000};
// Connections held at once; a newer one drops the oldest, so that no number of idle ones can block orv.
constexpr size_t ConnectionLimit = 64;

bool IsIPv4(std::string_view text) {
    in_addr address{};
    return text.size() <= 15 && inet_pton(AF_INET, std::string(text).c_str(), &address) == 1;
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

std::optional<FirefoxBridge::Ports> FirefoxBridge::PortsFromEnvironment() {
    const char* value = std::getenv("ORV_FIREFOX_PORTS");
    if (value == nullptr || *value == '\0')
        return Ports{};
    const std::string_view text(value);
    const size_t comma = text.find(',');
    if (comma == std::string_view::npos)
        return std::nullopt;
    const auto send = ParsePort(text.substr(0, comma));
    const auto listen = ParsePort(text.substr(comma + 1));
    if (!send || !listen)
        return std::nullopt;
    return Ports{*send, *listen};
}

std::optional<FirefoxBridge::ControlMessage> FirefoxBridge::ParseControlMessage(std::string_view text) {
    std::string_view lines[3];
    for (std::string_view& line : lines) {
        const size_t end = text.find("\r\n");
        if (end == std::string_view::npos)
            return std::nullopt;
        line = text.substr(0, end);
        if (line.find_first_of("\r\n") != std::string_view::npos)
            return std::nullopt;
        text.remove_prefix(end + 2);
    }
    if (!text.empty() || lines[0].size() != 1 || lines[0][0] < '0' || lines[0][0] > '2')
        return std::nullopt;
    ControlMessage message;
    message.mode = lines[0][0] - '0';
    if (message.mode != 1)
        return lines[1] == "--" && lines[2] == "--" ? std::optional(message) : std::nullopt;
    const auto port = ParsePort(lines[2]);
    if (!IsIPv4(lines[1]) || !port)
        return std::nullopt;
    message.host = lines[1];
    message.port = *port;
    return message;
}

std::string FirefoxBridge::NativeMessage(const ControlMessage& message) {
    // The host is a checked dotted address: it needs no escaping.
    const std::string json = "{\"mode\":" + std::to_string(message.mode) + ",\"host\":\"" + message.host +
                             "\",\"port\":" + std::to_string(message.port) + "}";
    const uint32_t length = static_cast<uint32_t>(json.size());
    return std::string(reinterpret_cast<const char*>(&length), sizeof length) + json;
}

platform::FileDescriptor FirefoxBridge::Listen() {
    platform::FileDescriptor socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const int fd = socket.Get();
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    const sockaddr_in address = platform::LoopbackAddress(m_ports.send);
    if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, SOMAXCONN) != 0) {
        std::fprintf(stderr, "orv-firefox-bridge: cannot listen on 127.0.0.1:%u: %s\n", unsigned{m_ports.send},
                     std::strerror(errno));
        return {};
    }
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    m_listening = ntohs(bound.sin_port);
    return socket;
}

// Asks orv to say the state again; when orv is not running, its first switch will tell.
void FirefoxBridge::SendStartRequest() const {
    const platform::FileDescriptor fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = platform::LoopbackAddress(m_ports.listen);
    if (fd.Valid() && connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        send(fd.Get(), "firefox_start", 13, MSG_NOSIGNAL);
}

int FirefoxBridge::Run(int input, int output) {
    const platform::FileDescriptor listener = Listen();
    if (!listener.Valid())
        return 1;
    SendStartRequest();
    bool outputFailed = false;
    // A message is what a connection sent by its end, or by its time limit; more than a message is not orv.
    platform::ConnectionSet connections(ConnectionLimit, ReadLimit, [&](const std::string& text, bool finished) {
        if (!finished && text.size() <= MaxMessageBytes)
            return false;
        const auto message = ParseControlMessage(text);
        if (message && !WriteAll(output, NativeMessage(*message)))
            outputFailed = true;
        return true;
    });
    pollfd watched[] = {{input, POLLIN, 0}};
    char discard[4096];
    while (!outputFailed && connections.Turn(listener.Get(), watched)) {
        // The extension sends nothing; end of input means Firefox let go of the bridge.
        if (watched[0].revents && read(input, discard, sizeof discard) <= 0)
            break;
    }
    return 0;
}
