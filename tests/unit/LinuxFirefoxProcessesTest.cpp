#include "platform/LinuxFirefoxProcesses.h"
#include "tests/support/TempDir.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

// A made-up /proc: Firefox's main processes are found by name; its helpers, processes that have ended
// and other users' processes are not.
TEST(LinuxFirefoxProcesses, FindsOnlyTheMainProcessesOfThisUser) {
    struct Process {
        const char* pid;
        const char* comm;
        char state;
        std::string cmdline;
        bool found;
    } processes[] = {
        {"100", "firefox-esr\n", 'S', std::string("/usr/lib/firefox-esr/firefox-esr\0", 33), true},
        {"101", "firefox-esr\n", 'S', std::string("firefox-esr\0-contentproc\0-isForBrowser\0", 40), false},
        {"102", "firefox\n", 'Z', "", false},
        {"103", "firefox-bin\n", 'R', std::string("firefox-bin\0--headless\0", 23), true},
        {"104", "firefoxy\n", 'S', "firefoxy", false},
        {"105", "Web Content\n", 'S', std::string("firefox\0-contentproc\0", 21), false},
        {"106", "firefox\n", 'S', "firefox", false}, // another user's, when the test may hand it over
        {"self", "firefox\n", 'S', "firefox", false},
    };
    TempDir proc;
    std::vector<pid_t> expected;
    for (const Process& p : processes) {
        std::filesystem::create_directories(proc.File(p.pid));
        proc.Write(std::string(p.pid) + "/comm", p.comm);
        proc.Write(std::string(p.pid) + "/stat", std::string(p.pid) + " (" + p.comm + ") " + p.state + " 1 1 1");
        proc.Write(std::string(p.pid) + "/cmdline", p.cmdline);
        if (p.found)
            expected.push_back(std::stoi(p.pid));
    }
    if (chown(proc.File("106").c_str(), getuid() + 1, static_cast<gid_t>(-1)) != 0)
        std::filesystem::remove_all(proc.File("106"));
    std::vector<pid_t> found = platform::LinuxFirefoxProcesses::FindMainProcesses(proc.Path());
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, expected);
}
