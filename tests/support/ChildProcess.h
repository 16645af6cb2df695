#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
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
    // SIGKILL at once: the program gets no chance to clean up, as when it is killed or the power goes.
    void Kill();
    // Waits until the program has a handler for signal (so that sending it now tests the handler, not
    // the default action); false when limit passed first or the program ended.
    bool WaitCatches(int signal, std::chrono::milliseconds limit);
    void Send(int signal);
    // Waits for the program's end: its exit status, -1 when a signal ended it; nothing when limit
    // passed first.
    std::optional<int> WaitExit(std::chrono::milliseconds limit);

private:
    pid_t m_pid = -1;
};

// Waits until something accepts connections at address:port; false when limit passed first.
bool WaitForListener(const std::string& address, uint16_t port, std::chrono::milliseconds limit);

// How a program run to its end went.
struct ProgramResult {
    // Its exit status; -1 when it could not be started or was ended by a signal.
    int m_exitCode = -1;
    std::string m_output;
    std::string m_errors;
};

// Runs argv[0] (searched in PATH) to its end with the test's environment changed by changes
// (a name mapped to nothing is removed), and collects its standard output and error.
ProgramResult RunProgram(const std::vector<std::string>& argv,
                         const std::map<std::string, std::optional<std::string>>& changes = {});
