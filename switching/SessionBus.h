#pragma once

#include <chrono>
#include <optional>
#include <string>

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

} // namespace SessionBus
