#include "app/OrvCommandLine.h"

#include "app/AppFolders.h"
#include "app/HeadlessTestRun.h"
#include "platform/StreamMessageBox.h"
#include "proxy/DangerousList.h"
#include "proxy/ProxyTextParser.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <ostream>
#include <unistd.h>

namespace {

// Set by Ctrl+C during `--test`; the run polls it.
std::atomic<bool> s_interrupted = false;
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void OnInterrupt(int) {
    s_interrupted = true;
}

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

} // namespace

OrvCommandLine::Mode OrvCommandLine::ModeOf(const std::vector<std::string>& args) {
    if (args.empty())
        return Mode::Window;
    if (args[0] == "--screenshot" && args.size() == 2)
        return Mode::Screenshot;
    return Mode::Command;
}

bool OrvCommandLine::HasDisplay() {
    return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY") || IsSet("QT_QPA_PLATFORM");
}

void OrvCommandLine::PrintHelp() {
    m_out << "Usage: orv [OPTION]...\n"
             "Tarvelo keeps a list of public HTTP proxies, tests them for delay and anonymity,\n"
             "and switches the desktop and Firefox to the proxy you choose.\n"
             "Without an option it opens its window.\n"
             "\n"
             "  --help              show this help and exit\n"
             "  --version           show the version and exit\n"
             "  --extract FILE...   print the proxies that loading each FILE would add, one\n"
             "                      address:port a line (FILE - is standard input)\n"
             "  --test FILE [--threads N] [--timeout S] [--judge URL] [--export PATH] [--format F]\n"
             "                      test the proxies found in FILE as the window's Test command\n"
             "                      does, with the settings of the window (ORV_Setting.ini in\n"
             "                      the data folder) and these options on top; print the log as\n"
             "                      it grows, then the export text (or write it to PATH). The\n"
             "                      saved list is not touched. Ctrl+C stops the run as Stop\n"
             "                      does and still prints the summary and the export.\n"
             "      --format F      the results as text (the export, default), json or csv;\n"
             "                      with json and csv the log goes to standard error\n"
             "                      Exit status: 0 done, 1 failed, 2 bad options or a judge that\n"
             "                      gave no address (nothing tested), 130 stopped by Ctrl+C\n"
             "  --screenshot FILE   render the window with the saved list into the PNG FILE\n"
             "                      (offscreen, no display needed) and exit\n";
    PrintFiles();
}

void OrvCommandLine::PrintFiles() {
    // Where this copy looks, so a user can tell a misplaced or missing file.
    const std::string dangerous = AppFolders::ProgramFolder() + DangerousList::FileName;
    std::error_code error;
    const bool found = std::filesystem::is_regular_file(dangerous, error);
    m_out << "\nFiles:\n"
          << "  settings, saved list  " << AppFolders::DataFolder() << "\n"
          << "  dangerous networks    " << dangerous << (found ? "" : " (missing)") << "\n";
}

int OrvCommandLine::Run(const std::vector<std::string>& args) {
    if (args.empty() || args[0] == "--help") {
        PrintHelp();
        return 0;
    }
    if (args[0] == "--version") {
        m_out << VersionText << "\n";
        return 0;
    }
    if (args[0] == "--extract")
        return Extract(std::vector<std::string>(args.begin() + 1, args.end()));
    if (args[0] == "--test")
        return Test(std::vector<std::string>(args.begin() + 1, args.end()));
    if (args[0] == "--screenshot") {
        m_err << "orv: --screenshot needs one FILE\nTry 'orv --help'.\n";
        return 2;
    }
    m_err << "orv: unknown option '" << args[0] << "'\nTry 'orv --help'.\n";
    return 2;
}

int OrvCommandLine::Extract(const std::vector<std::string>& files) {
    if (files.empty()) {
        m_err << "orv: --extract needs at least one FILE\nTry 'orv --help'.\n";
        return 2;
    }
    platform::StreamMessageBox messageBox(m_err);
    ProxyTextParser parser(messageBox);
    int status = 0;
    std::string output;
    for (const std::string& file : files) {
        // The parser's messages do not say which file they are about.
        messageBox.SetPrefix("orv: " + file + ": ");
        try {
            std::string text;
            const bool read = file == "-" ? parser.ReadSource(STDIN_FILENO, text) : parser.ReadSourceFile(file, text);
            if (!read) {
                status = 1;
                continue;
            }
            // A million lines: gather them and write in large blocks.
            ProxyTextParser::ExtractPairs(text, [&](std::string_view pair) {
                output.append(pair);
                output += '\n';
                if (output.size() >= OutputBlockSize) {
                    m_out.write(output.data(), static_cast<std::streamsize>(output.size()));
                    output.clear();
                }
            });
        } catch (const std::bad_alloc&) {
            m_err << "orv: " << file << ": not enough memory\n";
            status = 1;
        }
    }
    m_out.write(output.data(), static_cast<std::streamsize>(output.size()));
    m_out.flush();
    return status;
}

int OrvCommandLine::Test(const std::vector<std::string>& args) {
    HeadlessTestRun headless(m_out, m_err);
    const std::optional<HeadlessTestRun::Options> options = headless.ParseOptions(args);
    if (!options)
        return HeadlessTestRun::BadUsage;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESETHAND; // a second Ctrl+C ends the program at once
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    return headless.Run(*options, AppFolders::DataFolder(), AppFolders::ProgramFolder(), s_interrupted);
}
