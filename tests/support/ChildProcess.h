#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// A program started by a test, its output in a log file, stopped by its process id.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { Stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] (searched in PATH); false when it cannot be started.
    bool Start(const std::vector<std::string>& argv, const std::string& logPath);
    bool Running();
    // SIGTERM, then waits; SIGKILL after the grace time.
    void Stop(std::chrono::milliseconds grace = std::chrono::milliseconds(3000));

private:
    pid_t m_pid = -1;
};

// Waits until something accepts connections at address:port; false when limit passed first.
bool WaitForListener(const std::string& address, uint16_t port, std::chrono::milliseconds limit);
