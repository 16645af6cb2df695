#pragma once

#include "platform/FileDescriptor.h"
#include "proxy/ProxyKind.h"

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

// The headless side of orv, for scripts: help, version and the list tools.
class OrvCommandLine {
public:
    static constexpr const char* VersionText = "Tarvelo 1.07B Build 0406";

    OrvCommandLine(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}

    static constexpr const char* NoDisplayText =
        "orv: no display to open the window on ($DISPLAY and $WAYLAND_DISPLAY are empty).\n"
        "Run it on a desktop, or use the command-line mode: orv --help\n";

    // What the program does with these arguments: open the window (no option), open it hidden in the tray
    // (--hidden), render the window into a picture (--screenshot FILE) or run a command-line mode (anything else).
    enum class Mode { Window, HiddenWindow, Screenshot, Command };
    static Mode ModeOf(const std::vector<std::string>& args);
    // Whether Qt can show a window here: an X or Wayland display, or a platform chosen by hand.
    static bool HasDisplay();

    // Runs the command the arguments name and returns the exit status.
    int Run(const std::vector<std::string>& args);

private:
    static constexpr size_t OutputBlockSize = 1 << 16;

    void PrintHelp();
    // The folders in use: DataFolder, and ProgramFolder's DangerousIP.dat with whether it is there.
    void PrintFiles();
    // Prints, file by file, the records that loading each file would append. `--kind K` anywhere
    // among the files says what the plain pairs are.
    int Extract(const std::vector<std::string>& args);
    // Prints the records that loading text would append, with their kinds' schemes.
    static void ExtractWithKinds(std::string_view text, ProxyKind plainKind,
                                 const std::function<void(std::string_view)>& print);
    // Tests the proxies of a file headless: the log as it grows, then the export text.
    int Test(const std::vector<std::string>& args);
    // `--download [--export PATH]`: the list download without the window.
    int Download(const std::vector<std::string>& args);
    // `--judge-server [ADDR:]PORT`: serves the judge page until SIGINT or SIGTERM.
    int JudgeServe(const std::vector<std::string>& args);
    // The page at an http:// or https:// address in a memory file, read from its start; none after a message.
    platform::FileDescriptor FetchToMemory(const std::string& url);
    // Whether the page in fd holds a proxy; fd is read from its start again afterwards.
    bool HasProxies(int fd);

    std::ostream& m_out;
    std::ostream& m_err;
};
