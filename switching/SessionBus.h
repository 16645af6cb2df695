#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// The desktop session's message bus, found the way GIO finds it but never started on demand: a
// program without a session (a terminal over ssh, a service) must not launch a bus of its own.
namespace SessionBus {

// DBUS_SESSION_BUS_ADDRESS, else the socket $XDG_RUNTIME_DIR/bus; nothing when neither is there.
std::optional<std::string> Address();

// True when the bus is there and answers within limit.
bool Answers(std::chrono::milliseconds limit);

// Sends a signal with one string argument to every listener. False without a bus, or when the bus
// has not taken the signal within limit.
bool EmitSignal(const std::string& path, const std::string& interface, const std::string& member,
                const std::string& argument, std::chrono::milliseconds limit);

// A value of a method's reply; a variant ('v') is given as the value it holds.
using Value = std::variant<bool, int32_t, std::string>;

struct CallReply {
    // False: no bus, or no reply within the limit. Then the other fields are empty.
    bool m_reached = false;
    // The error the callee (or the bus, for a name nobody owns) answered with, and its text.
    std::string m_errorName;
    std::string m_errorText;
    // The reply's values in order; types other than the Value's are left out.
    std::vector<Value> m_values;

    bool Ok() const { return m_reached && m_errorName.empty(); }
};

// Calls a method whose arguments are all strings and waits for its reply, all within limit.
CallReply CallMethod(const std::string& service, const std::string& path, const std::string& interface,
                     const std::string& member, const std::vector<std::string>& arguments,
                     std::chrono::milliseconds limit);

} // namespace SessionBus
