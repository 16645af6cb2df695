#pragma once

#include "platform/FirefoxProcesses.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace platform {

// Firefox's main processes of this user, from /proc; its windows through the X display when one is open.
class LinuxFirefoxProcesses : public FirefoxProcesses {
public:
    bool IsRunning() override;
    // The window manager's close message to each top-level window of Firefox; SIGTERM to the main process
    // where there is no display or Firefox has no window on it (headless).
    void RequestClose() override;
    // `firefox` from PATH, else `firefox-esr`, in a session of its own so that it outlives Quillet.
    void Start() override;

    // Main processes under procFolder (tests point it at a made-up /proc).
    static std::vector<pid_t> FindMainProcesses(const std::string& procFolder = "/proc");
};

} // namespace platform
