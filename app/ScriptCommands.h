#pragma once

#include "app/FrameModel.h"
#include "switching/SessionBus.h"

#include <chrono>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

// `orv --use ADDR:PORT`, `--direct`, `--next`, `--check` and `--status [--format text|json]`: the switch for
// scripts and shortcuts. While a window holds the data folder they go to it over the session bus; without
// one they switch, check or read the saved list themselves with the window's own code, and the next
// window follows what they saved.
class ScriptCommands {
public:
    static constexpr int Done = 0;
    static constexpr int Failed = 1;
    static constexpr int BadUsage = 2;

    // The window's service on the session bus.
    static constexpr const char* ServiceName = "org.tarvelo.Orv";
    static constexpr const char* ObjectPath = "/org/tarvelo/Orv";
    static constexpr const char* InterfaceName = "org.tarvelo.Orv1";
    // Bad arguments, with the add dialog's text; a command the window cannot carry out now.
    static constexpr const char* BadArgumentError = "org.tarvelo.Orv1.Error.BadArgument";
    static constexpr const char* RefusedError = "org.tarvelo.Orv1.Error.Refused";
    // How long a call other than the check may take: a window answers at once.
    static constexpr std::chrono::milliseconds CallLimit{5000};
    // The check waits for the delay test and the judge, each up to the longest Timeout.
    static constexpr std::chrono::milliseconds CheckLimit{240'000};

    // dataFolder and programFolder end with '/'.
    ScriptCommands(std::ostream& out, std::ostream& err, std::string dataFolder, std::string programFolder);

    static bool Handles(const std::string& option);
    // Runs the command args names (args[0] is one that Handles); the exit status.
    int Run(const std::vector<std::string>& args);
    // Raises the window that holds dataFolder; false when none answers on the session bus.
    static bool ShowWindow(const std::string& dataFolder);
    // "ADDR:PORT" as the add dialog's two fields; nothing without a colon.
    static std::optional<std::pair<std::string, std::string>> SplitAddress(const std::string& text);

private:
    struct Command {
        std::string name; // "use", "direct", "next", "check", "status"
        std::string ip;
        std::string port;
        bool json = false;
    };
    std::optional<Command> Parse(const std::vector<std::string>& args);
    // Through the window's service; nothing when the bus or the window cannot be reached (after a message).
    int Remote(const Command& command);
    int Headless(const Command& command);
    int HeadlessStatus(bool json);
    // The frame's switch or check without a window, then the list saved for the next start.
    int HeadlessFrame(const Command& command);
    // One line (or a JSON object); the saved list's status also tells the desktop's proxy as it is now.
    void PrintStatus(const FrameModel::SwitchStatus& status, bool json, bool withDesktop);
    // The window's refusal or the bus's failure, told; the exit status.
    int Refused(const SessionBus::CallReply& reply);
    // The check's line on out when it passed, on err when not; the exit status.
    int CheckResult(bool passed, const std::string& text);

    std::ostream& m_out;
    std::ostream& m_err;
    const std::string m_dataFolder;
    const std::string m_programFolder;
};
