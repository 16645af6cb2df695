#include "app/OrvCommandLine.h"

#include "app/AppFolders.h"
#include "app/HeadlessTestRun.h"
#include "app/ScriptCommands.h"
#include "download/DownloadUrl.h"
#include "download/ListDownload.h"
#include "download/ListService.h"
#include "judge/JudgeServer.h"
#include "proxy/DangerousList.h"
#include "proxy/ProxyAddressForms.h"
#include "proxy/ProxyList.h"
#include "proxy/ProxyTextParser.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <optional>
#include <ostream>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// Set by Ctrl+C, SIGTERM or SIGHUP during `--test`; the run polls it.
std::atomic<bool> s_interrupted = false;
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void OnInterrupt(int) {
    s_interrupted = true;
}

// The judge server's wake-up: SIGINT and SIGTERM write to it, so that its wait returns whenever they come.
int s_judgeWake = -1;

void WakeJudge(int) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(s_judgeWake, &one, sizeof one);
}

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

} // namespace

OrvCommandLine::Mode OrvCommandLine::ModeOf(const std::vector<std::string>& args) {
    if (args.empty())
        return Mode::Window;
    if (args.size() == 1 && args[0] == "--hidden")
        return Mode::HiddenWindow;
    if (args[0] == "--screenshot" && args.size() == 2)
        return Mode::Screenshot;
    return Mode::Command;
}

bool OrvCommandLine::HasDisplay() {
    return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY") || IsSet("QT_QPA_PLATFORM");
}

void OrvCommandLine::PrintHelp() {
    m_out << "Usage: orv [OPTION]...\n"
             "Tarvelo keeps a list of public HTTP and SOCKS proxies, tests them for delay and\n"
             "anonymity, and switches the desktop and Firefox to the proxy you choose.\n"
             "Without an option it opens its window.\n"
             "\n"
             "  --help              show this help and exit\n"
             "  --version           show the version and exit\n"
             "  --hidden            open the window hidden in the tray (minimised where the\n"
             "                      desktop has no tray), as the desktop's autostart does\n"
             "  --extract FILE... [--kind K]\n"
             "                      print the proxies that loading each FILE would add, one\n"
             "                      address:port a line (FILE - is standard input; an http://\n"
             "                      or https:// address is fetched directly, never through a\n"
             "                      proxy, and parsed as a file; --test takes one too); SOCKS\n"
             "                      proxies as socks4:// or socks5://address:port\n"
             "  --download [--export PATH]\n"
             "                      run Download List: the log lines, then the proxies added,\n"
             "                      one address:port a line (or into PATH). The list service\n"
             "                      is ListServiceUrl in [Settings] of ORV_Setting.ini, or\n"
             "                      $ORV_LIST_SERVICE_URL. Exit status: 0 done, 1 failed\n"
             "  --test FILE [--threads N] [--timeout S] [--judge URL] [--dispatch D]\n"
             "       [--export PATH] [--format F] [--kind K] [--include-passwords]\n"
             "                      test the proxies found in FILE as the window's Test command\n"
             "                      does, with the settings of the window (ORV_Setting.ini in\n"
             "                      the data folder) and these options on top; print the log as\n"
             "                      it grows, then the export text (or write it to PATH). The\n"
             "                      saved list is not touched. Ctrl+C (also SIGTERM, SIGHUP)\n"
             "                      stops the run as Stop does and still prints the summary\n"
             "                      and the export.\n"
             "      --threads N     workers at once, 1 to 4000 (the window allows 100); fewer\n"
             "                      when the open-file limit cannot serve N (the log says so)\n"
             "      --timeout S     seconds each wait of a test may take, 1 to 100\n"
             "      --dispatch D    prompt: the next proxy starts as soon as a worker ends\n"
             "                      (the default); tick: at the once-a-second poll, as with\n"
             "                      DispatchOnTick=1 in [Settings]\n"
             "      --judge URL     the proxy judge; several in one argument ('URL URL') are\n"
             "                      tried in order, the first that shows this PC's address serves\n"
             "      --format F      the results as text (the export, default), json or csv;\n"
             "                      with json and csv the log goes to standard error\n"
             "      --kind K        what the pairs written without a scheme are: http (the\n"
             "                      default), socks4, socks5, or detect (tried as HTTP, then\n"
             "                      SOCKS5, then SOCKS4). socks4://, socks5://, socks5h://,\n"
             "                      http://, user:password@ and address:port:user:password\n"
             "                      in the file say it for their pair\n"
             "      --include-passwords\n"
             "                      put user names and passwords into the results\n"
             "                      Exit status: 0 done, 1 failed, 2 bad options or a judge that\n"
             "                      gave no address or a PATH that cannot be written (nothing\n"
             "                      tested), 130 stopped by Ctrl+C\n"
             "  --judge-server [ADDR:]PORT\n"
             "                      serve a proxy-judge page at ADDR (127.0.0.1 when left out;\n"
             "                      0.0.0.0 for every IPv4 address, [::] for every address):\n"
             "                      each request gets its CGI variables, one a line. Runs\n"
             "                      until Ctrl+C or SIGTERM. Exit status: 0 stopped, 1 cannot\n"
             "                      listen, 2 bad options\n"
             "  --use ADDR:PORT     switch the desktop and Firefox to this proxy (added to the\n"
             "                      list when it lacks it), as a double click does\n"
             "  --next              switch to the next proxy of the tray's quick-switch menu\n"
             "  --direct            switch to a direct connection\n"
             "  --check             test the active proxy now, as the watch does\n"
             "  --status [--format F]\n"
             "                      print the active proxy (or direct), as text or json\n"
             "                      These five go to the window when one runs on the data\n"
             "                      folder (over the session bus); without one they act on the\n"
             "                      saved list, which the next window follows. Exit status: 0\n"
             "                      done, 1 failed, 2 bad arguments\n"
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
    if (args[0] == "--download")
        return Download(std::vector<std::string>(args.begin() + 1, args.end()));
    if (args[0] == "--judge-server")
        return JudgeServe(std::vector<std::string>(args.begin() + 1, args.end()));
    if (ScriptCommands::Handles(args[0]))
        return ScriptCommands(m_out, m_err, AppFolders::DataFolder(), AppFolders::ProgramFolder()).Run(args);
    if (args[0] == "--screenshot") {
        m_err << "orv: --screenshot needs one FILE\nTry 'orv --help'.\n";
        return 2;
    }
    m_err << "orv: unknown option '" << args[0] << "'\nTry 'orv --help'.\n";
    return 2;
}

void OrvCommandLine::ExtractWithKinds(std::string_view text, ProxyKind plainKind,
                                      const std::function<void(std::string_view)>& print) {
    // The usual list, plain pairs of HTTP proxies, needs no records.
    if (plainKind == ProxyKind::Http && !ProxyAddressForms::MayHoldForms(text)) {
        ProxyTextParser::ExtractPairs(text, print);
        return;
    }
    ProxyList list;
    ProxyTextParser::ExtractPairs(text, [&list](std::string_view pair) {
        auto item = std::make_unique<ProxyItem>();
        item->SetAddress(pair);
        list.Append(std::move(item));
    });
    ProxyAddressForms::Apply(text, plainKind, list, 0);
    // Credentials are the user's secret: never printed.
    for (size_t i = 0; i < list.GetSize(); ++i)
        print(list[i]->UrlText(false));
}

int OrvCommandLine::Extract(const std::vector<std::string>& args) {
    std::vector<std::string> files;
    ProxyKind plainKind = ProxyKind::Http;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--kind") {
            files.push_back(args[i]);
            continue;
        }
        const std::optional<ProxyKind> kind = i + 1 < args.size() ? ProxyKindFromName(args[i + 1]) : std::nullopt;
        if (!kind) {
            m_err << "orv: --kind must be http, socks4, socks5 or detect\nTry 'orv --help'.\n";
            return 2;
        }
        plainKind = *kind;
        ++i;
    }
    if (files.empty()) {
        m_err << "orv: --extract needs at least one FILE\nTry 'orv --help'.\n";
        return 2;
    }
    int status = 0;
    std::string output;
    const auto write = [&] {
        m_out.write(output.data(), static_cast<std::streamsize>(output.size()));
        output.clear();
    };
    // A million lines: gather them and write in large blocks.
    const auto print = [&](std::string_view pair) {
        output.append(pair);
        output += '\n';
        if (output.size() >= OutputBlockSize)
            write();
    };
    for (const std::string& file : files) {
        // The parser's messages do not say which file they are about.
        const auto failed = [&](const SourceRead& read) {
            m_err << "orv: " << file << ": " << read.error << '\n';
            m_err.flush();
            status = 1;
        };
        try {
            if (file == "-") {
                // Standard input may never end: each pair is printed as soon as it is found.
                const auto flush = [&] {
                    write();
                    m_out.flush();
                };
                // Read as it comes, a pair at a time: the plain kind's scheme is written, the forms
                // around a pair are not read.
                const std::string prefix(ProxyKindPrefix(plainKind));
                const auto printKind = [&](std::string_view pair) {
                    output += prefix;
                    print(pair);
                };
                if (const SourceRead read = ProxyTextParser::ExtractPairsAsRead(STDIN_FILENO, printKind, flush); !read)
                    failed(read);
                continue;
            }
            SourceText text;
            if (DownloadUrl::IsWebAddress(file)) {
                const platform::FileDescriptor page = FetchToMemory(file);
                if (!page.Valid()) {
                    status = 1;
                    continue;
                }
                if (const SourceRead read = ProxyTextParser::ReadSource(page.Get(), text.Bytes()); !read) {
                    failed(read);
                    continue;
                }
            } else if (const SourceRead read = ProxyTextParser::ReadSourceFile(file, text, true); !read) {
                failed(read);
                continue;
            }
            ExtractWithKinds(text.View(), plainKind, print);
        } catch (const std::bad_alloc&) {
            m_err << "orv: " << file << ": not enough memory\n";
            status = 1;
        }
    }
    write();
    m_out.flush();
    return status;
}

platform::FileDescriptor OrvCommandLine::FetchToMemory(const std::string& url) {
    std::string body;
    const DownloadResult result = DownloadUrl::ToText(url, body, DownloadLimits());
    if (!result.ok) {
        m_err << "orv: " << url << ": " << result.error;
        if (result.status != 0 && result.error.find("HTTP status") == std::string::npos)
            m_err << " (HTTP status " << result.status << ")";
        m_err << "\n";
        return {};
    }
    // The page goes through the file reader, so that it is parsed exactly as a saved copy would be.
    platform::FileDescriptor page(::memfd_create("orv-page", MFD_CLOEXEC));
    if (!page.Valid() || ::write(page.Get(), body.data(), body.size()) != static_cast<ssize_t>(body.size()) ||
        ::lseek(page.Get(), 0, SEEK_SET) != 0) {
        m_err << "orv: " << url << ": cannot keep the page in memory\n";
        return {};
    }
    return page;
}

bool OrvCommandLine::HasProxies(int fd) {
    std::string text;
    bool found = false;
    if (const SourceRead read = ProxyTextParser::ReadSource(fd, text); read)
        ProxyTextParser::ExtractPairs(text, [&found](std::string_view) { found = true; });
    else
        m_err << read.error << '\n' << std::flush;
    return ::lseek(fd, 0, SEEK_SET) == 0 && found;
}

int OrvCommandLine::Download(const std::vector<std::string>& args) {
    std::optional<std::string> exportPath;
    if (args.size() == 2 && args[0] == "--export") {
        exportPath = args[1];
    } else if (!args.empty()) {
        m_err << "orv: --download takes only --export PATH\nTry 'orv --help'.\n";
        return 2;
    }
    const std::string dataFolder = AppFolders::DataFolder();
    ListDownload::Records added;
    ListDownload::Host host;
    const auto print = [this](const std::string& text) {
        for (char c : text)
            if (c != '\r')
                m_out << c;
        m_out.flush();
    };
    host.appendLog = [print](const std::string& text, LogMode) { print(text); };
    host.showMessage = [this](const std::string& text) { m_err << "orv: " << text << "\n"; };
    host.addRecords = [&added](ListDownload::Records records) { added = std::move(records); };
    ListDownload download(dataFolder, ListService::ListServiceUrl(dataFolder), std::move(host));
    download.m_pause = std::chrono::milliseconds(0); // nobody reads the lines as they come
    const ListDownload::Outcome outcome = download.Run();
    print(outcome.failure);
    if (!outcome.showDialog)
        return 1;
    std::ofstream file;
    if (exportPath)
        file.open(*exportPath, std::ios::binary);
    std::ostream& to = exportPath ? file : m_out;
    // A million lines: written in large blocks, not gathered whole.
    std::string block;
    for (const auto& record : added) {
        block += record->ProxyAddressText();
        block += '\n';
        if (block.size() >= OutputBlockSize) {
            to << block;
            block.clear();
        }
    }
    if (!(to << block) || !to.flush()) {
        m_err << "orv: cannot write " << exportPath.value_or("standard output") << "\n";
        return 1;
    }
    return 0;
}

int OrvCommandLine::Test(const std::vector<std::string>& args) {
    HeadlessTestRun headless(m_out, m_err);
    std::optional<HeadlessTestRun::Options> options = headless.ParseOptions(args);
    if (!options)
        return HeadlessTestRun::BadUsage;
    platform::FileDescriptor page; // open until the run has read it
    if (DownloadUrl::IsWebAddress(options->file)) {
        // The run reads a file: it reads the fetched page where the process keeps it.
        page = FetchToMemory(options->file);
        if (!page.Valid())
            return HeadlessTestRun::Failed;
        // Said here, where the page still has its address for a name.
        if (!HasProxies(page.Get())) {
            m_err << "orv: no proxies found in " << options->file << '\n';
            return HeadlessTestRun::Failed;
        }
        options->file = "/proc/self/fd/" + std::to_string(page.Get());
    }
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESETHAND; // a second Ctrl+C ends the program at once
    sigemptyset(&action.sa_mask);
    // A closed terminal or a polite kill still gets the summary and the results.
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    return headless.Run(*options, AppFolders::DataFolder(), AppFolders::ProgramFolder(), s_interrupted);
}

int OrvCommandLine::JudgeServe(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        m_err << "orv: --judge-server needs one [ADDR:]PORT\nTry 'orv --help'.\n";
        return 2;
    }
    std::string error;
    const std::optional<JudgeServer::Endpoint> where = JudgeServer::Endpoint::Parse(args[0], error);
    if (!where) {
        m_err << "orv: --judge-server: " << error << "\nTry 'orv --help'.\n";
        return 2;
    }
    JudgeServer::Limits limits;
    // Tests wait for the drop of a slow client without waiting the whole usual limit.
    if (const char* timeout = std::getenv("ORV_JUDGE_TIMEOUT_MS"); timeout != nullptr && *timeout != '\0')
        limits.timeout = std::chrono::milliseconds(std::max(1L, std::atol(timeout)));
    JudgeServer server(limits);
    if (!server.Listen(*where, error)) {
        m_err << "orv: --judge-server: " << error << "\n";
        return 1;
    }
    const platform::FileDescriptor wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    s_judgeWake = wake.Get();
    struct sigaction action {};
    action.sa_handler = WakeJudge;
    sigemptyset(&action.sa_mask);
    // Without the wake-up the signals keep their default action, which ends the server too.
    for (int signal : {SIGINT, SIGTERM})
        if (wake.Valid())
            sigaction(signal, &action, nullptr);
    m_out << "Judge server listening on " << server.Listening().Text() << std::endl;
    const bool served = server.Run(wake.Get());
    if (!served)
        m_err << "orv: --judge-server: the listener failed: " << std::strerror(errno) << "\n";
    return served ? 0 : 1;
}
