#include "app/HeadlessTestRun.h"

#include "app/ExportDialogLogic.h"
#include "app/LogStore.h"
#include "app/NullFrameView.h"
#include "app/RunPrompts.h"
#include "app/RunResults.h"
#include "platform/Clock.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/ShellOpen.h"
#include "proxy/DangerousList.h"
#include "proxy/ProxyList.h"
#include "proxy/ProxyTextParser.h"
#include "settings/AtomicFile.h"
#include "settings/SettingsStore.h"
#include "tester/TestContext.h"
#include "tester/TestRun.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <ostream>

namespace {

using namespace std::chrono_literals;

// Messages go to standard error. Nobody can answer the judge question, so it is answered "stop":
// a run whose anonymity results would rest on no address is worth nothing to a script.
class ErrorStreamBox : public platform::MessageBox {
public:
    explicit ErrorStreamBox(std::ostream& err) : m_err(err) {}

    Answer Show(const std::string& text, Buttons buttons) override {
        if (buttons == YesNo)
            return AnswerYes; // the log shows the judge error, the caller says what it means
        std::lock_guard<std::mutex> hold(m_lock);
        m_err << "orv: " << text << '\n';
        m_err.flush();
        return AnswerOk;
    }

private:
    std::mutex m_lock;
    std::ostream& m_err;
};

// The export's composition asks for neither a file nor a program.
class NoFileDialog : public platform::FileDialog {
public:
    std::optional<std::string> OpenFile(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> ChooseFolder(const std::string&, const std::string&) override { return std::nullopt; }
    std::optional<size_t> ChooseItem(const std::string&, const std::string&, const std::vector<std::string>&,
                                     size_t) override {
        return std::nullopt;
    }
};
class NoShellOpen : public platform::ShellOpen {
public:
    bool Open(const std::string&) override { return false; }
};

// Copies the log to a stream as it grows, from whichever thread appended.
class LogPrinter {
public:
    LogPrinter(LogStore& log, std::ostream& out) : m_log(log), m_out(out) {
        m_log.SetListener([this] { Print(); });
    }
    ~LogPrinter() { m_log.SetListener(nullptr); }

private:
    void Print() {
        std::lock_guard<std::mutex> hold(m_lock);
        LogStore::Change change = m_log.ReadSince(m_seen.generation, m_seen.length);
        m_out << change.text;
        m_out.flush();
        m_seen = std::move(change);
    }

    LogStore& m_log;
    std::ostream& m_out;
    std::mutex m_lock;
    LogStore::Change m_seen;
};

} // namespace

std::optional<int32_t> HeadlessTestRun::ParseNumber(const std::string& option, const std::string& value, int32_t most) {
    int32_t number = 0;
    bool digits = !value.empty() && value.size() <= 9; // nine digits fit
    for (size_t i = 0; digits && i < value.size(); ++i) {
        digits = value[i] >= '0' && value[i] <= '9';
        number = number * 10 + (value[i] - '0');
    }
    if (!digits || number < 1 || number > most) {
        m_err << "orv: " << option << " must be a number between 1 and " << most << "\nTry 'orv --help'.\n";
        return std::nullopt;
    }
    return number;
}

std::optional<ProxyKind> HeadlessTestRun::ParseKind(const std::string& value) {
    const std::optional<ProxyKind> kind = ProxyKindFromName(value);
    if (!kind)
        m_err << "orv: --kind must be http, socks4, socks5 or detect\nTry 'orv --help'.\n";
    return kind;
}

std::optional<HeadlessTestRun::Options> HeadlessTestRun::ParseOptions(const std::vector<std::string>& args) {
    Options options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool valued = arg == "--threads" || arg == "--timeout" || arg == "--judge" || arg == "--export" ||
                            arg == "--format" || arg == "--kind";
        if (arg == "--include-passwords") {
            options.includePasswords = true;
            continue;
        }
        if (!valued) {
            if (!options.file.empty() || arg.empty() || (arg.size() > 1 && arg[0] == '-')) {
                m_err << "orv: --test: unexpected '" << arg << "'\nTry 'orv --help'.\n";
                return std::nullopt;
            }
            options.file = arg;
            continue;
        }
        if (i + 1 == args.size()) {
            m_err << "orv: " << arg << " needs a value\nTry 'orv --help'.\n";
            return std::nullopt;
        }
        const std::string& value = args[++i];
        if (arg == "--threads" && !(options.threads = ParseNumber(arg, value, MostThreads)))
            return std::nullopt;
        if (arg == "--timeout" && !(options.timeout = ParseNumber(arg, value, MostTimeout)))
            return std::nullopt;
        if (arg == "--judge") {
            if (value.rfind("http://", 0) != 0 || value.size() <= 7) {
                m_err << "orv: --judge needs an http:// address\nTry 'orv --help'.\n";
                return std::nullopt;
            }
            options.judge = value;
        }
        if (arg == "--export")
            options.exportPath = value;
        if (arg == "--kind") {
            const std::optional<ProxyKind> kind = ParseKind(value);
            if (!kind)
                return std::nullopt;
            options.kind = *kind;
        }
        if (arg == "--format") {
            if (value != "text" && value != "json" && value != "csv") {
                m_err << "orv: --format must be text, json or csv\nTry 'orv --help'.\n";
                return std::nullopt;
            }
            options.format = value;
        }
    }
    if (options.file.empty()) {
        m_err << "orv: --test needs a FILE\nTry 'orv --help'.\n";
        return std::nullopt;
    }
    return options;
}

bool HeadlessTestRun::CanWrite(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        m_err << "orv: cannot write " << path << ": " << std::strerror(EISDIR) << '\n';
        return false;
    }
    // The same kind of new file the export is written through, thrown away unused.
    errno = 0;
    AtomicFile probe(path);
    if (probe.Write({}))
        return true;
    m_err << "orv: cannot write " << path;
    if (errno != 0)
        m_err << ": " << std::strerror(errno);
    m_err << '\n';
    return false;
}

int HeadlessTestRun::Run(const Options& options, const std::string& dataFolder, const std::string& programFolder,
                         const std::atomic<bool>& stop) {
    // An export that cannot be written would throw a whole run's results away.
    if (options.exportPath && !CanWrite(*options.exportPath))
        return BadUsage;
    AppSettings settings;
    SettingsStore store(settings, dataFolder);
    if (const std::string problem = store.LoadSettings(programFolder); !problem.empty())
        m_err << "orv: " << store.Path() << ": " << problem << "; the default settings are used\n";
    if (options.threads)
        settings.MaxThread = *options.threads;
    if (options.timeout)
        settings.Timeout = *options.timeout;
    if (options.judge)
        settings.ProxyJudge = *options.judge;

    ErrorStreamBox messages(m_err);
    ProxyList list;
    if (const ProxyTextParser::Loaded loaded = ProxyTextParser::LoadProxies(list, options.file, false, options.kind);
        loaded.count < 0) {
        messages.Show(loaded.error, platform::MessageBox::Ok);
        return Failed;
    }
    if (list.IsEmpty()) {
        m_err << "orv: no proxies found in " << options.file << '\n';
        return Failed;
    }
    list.RenumberList();

    NullFrameView window;
    platform::SystemClock clock;
    TestContext context(settings, list, window, clock);
    context.DangerousListPath = programFolder + DangerousList::FileName;
    LogStore log;
    LogPrinter printer(log, options.format == "text" ? m_out : m_err);
    std::atomic<RunState> testing = RunState::Idle;
    std::mutex lastTestedLock;
    std::string lastTested;
    TestRun::Hooks hooks;
    hooks.setLastTestedText = [&](const std::string& text) {
        std::lock_guard<std::mutex> hold(lastTestedLock);
        lastTested = text;
    };
    if (settings.TestAnon && settings.ProxyJudge.empty()) {
        m_err << "orv: no proxy judge is set (see --judge)\n";
        return BadUsage;
    }
    ShowRunPromptsIn(messages, hooks);
    TestRun run(context, log, testing, std::move(hooks));
    for (size_t i = 0; i < list.GetSize(); ++i)
        run.TestSet.push_back(list[i]);
    const auto started = std::chrono::steady_clock::now();
    run.StartTest();
    bool stopped = false;
    while (!(run.WaitUntilIdle(100ms) && testing == RunState::Idle)) {
        if (stop && !stopped) {
            run.StopTest();
            stopped = true;
        }
    }

    switch (run.LastOutcome()) {
    case TestRun::Outcome::JudgeRefused:
        m_err << "orv: the proxy judge " << settings.ProxyJudge
              << " did not show this PC's address; nothing was tested (see --judge)\n";
        return BadUsage;
    case TestRun::Outcome::Finished:
    case TestRun::Outcome::Stopped:
        break;
    default:
        return Failed;
    }

    std::string text;
    if (options.format == "text") {
        NoFileDialog noDialog;
        NoShellOpen noShell;
        std::vector<ProxyItem*> all = ExportDialogLogic::ExportAll(list);
        ExportDialogLogic exporter(store, {messages, noDialog, noShell}, std::move(all), lastTested);
        ExportDialogControls controls = exporter.Initialise();
        if (options.includePasswords) {
            controls.m_options.m_includePasswords = true;
            exporter.OnLineOptionClicked(controls);
        }
        text = controls.m_text;
    } else if (options.format == "json") {
        const bool wasStopped = run.LastOutcome() == TestRun::Outcome::Stopped;
        text = RunResults::Json(
            list,
            {wasStopped ? "stopped" : "finished",
             std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started).count(),
             lastTested},
            options.includePasswords);
    } else {
        text = RunResults::Csv(list, options.includePasswords);
    }
    if (options.exportPath && !ReplaceFileAtomically(*options.exportPath, text)) {
        // The results are still worth having: they go where they would have gone without PATH.
        m_out << text;
        m_out.flush();
        m_err << "orv: cannot write " << *options.exportPath << "; the results are on standard output\n";
        return Failed;
    }
    if (!options.exportPath) {
        m_out << text;
        m_out.flush();
    }
    return run.LastOutcome() == TestRun::Outcome::Stopped && stopped ? Interrupted : 0;
}
