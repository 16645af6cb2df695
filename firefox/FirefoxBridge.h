#pragma once

#include "platform/FileDescriptor.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The extension's ears. Firefox starts this program for the extension and talks to it over standard input
// and output; it listens on the control port for orv's messages, asks orv for the state once it listens,
// and passes each well-formed control message on as a native message. It ends when Firefox closes its
// standard input.
class FirefoxBridge {
public:
    struct Ports {
        uint16_t send = 8182;   // orv sends control messages here; the bridge listens
        uint16_t listen = 8183; // orv listens for the start request here
    };
    struct ControlMessage {
        int mode = 0;
        std::string host; // dotted IPv4 address, mode 1 only
        uint16_t port = 0;
    };

    // ORV_FIREFOX_PORTS=SEND,LISTEN moves both ports, as it does for orv; nothing else is accepted.
    static std::optional<Ports> PortsFromEnvironment();
    // Exactly three lines, each ended by CR LF: a mode of 0, 1 or 2; for mode 1 an IPv4 address and a port
    // of 1 to 65535, for modes 0 and 2 "--" twice. Anything else is nothing.
    static std::optional<ControlMessage> ParseControlMessage(std::string_view text);
    // The native message: a 32-bit length in this machine's byte order, then the JSON text.
    static std::string NativeMessage(const ControlMessage& message);

    explicit FirefoxBridge(Ports ports) : m_ports(ports) {}
    // Serves until standard input ends; 0 then, 1 when the control port cannot be had.
    int Run(int input, int output);
    // The control port once Run listens (a send port of 0 takes any free one); 0 before.
    uint16_t ListeningPort() const { return m_listening; }

private:
    platform::FileDescriptor Listen();
    void SendStartRequest() const;

    Ports m_ports;
    std::atomic<uint16_t> m_listening{0};
};
