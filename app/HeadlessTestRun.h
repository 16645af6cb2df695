#pragma once

#include "proxy/ProxyKind.h"
#include "tester/TestRun.h"

#include <atomic>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

// `orv --test FILE [--threads N] [--timeout S] [--judge URL] [--export PATH] [--format F] [--kind K]
// [--include-passwords]`: the window's
// test run without the window. The proxies come from FILE, the settings from DataFolder's settings file
// with the options on top; the log goes to out as it grows, the results to PATH or after the log: the
// export text, or JSON or CSV for programs (the log then goes to err, so that out holds them alone).
// The window's saved list is left alone.
class HeadlessTestRun {
public:
    // Exit statuses besides 0.
    static constexpr int Failed = 1; // unreadable input, no proxies, a worker that could not start
    // Wrong options, an --export PATH that cannot be written, a judge that gave no address: nothing tested.
    static constexpr int BadUsage = 2;
    static constexpr int Interrupted = 130;
    static constexpr int32_t MostThreads = TestRun::MostThreads;
    static constexpr int32_t MostTimeout = TestRun::MostTimeout;

    struct Options {
        std::string file;
        std::optional<int32_t> threads;
        std::optional<int32_t> timeout;
        std::optional<std::string> judge;
        std::optional<std::string> exportPath;
        std::string format = "text";      // text, json or csv
        ProxyKind kind = ProxyKind::Http; // of the pairs written without a scheme
        bool includePasswords = false;
    };

    HeadlessTestRun(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}

    // Reads the arguments after "--test"; nothing after a message on err.
    std::optional<Options> ParseOptions(const std::vector<std::string>& args);
    // dataFolder and programFolder end with '/'. stop is polled: once set, the run is stopped as
    // the Stop command does (Ctrl+C sets it).
    int Run(const Options& options, const std::string& dataFolder, const std::string& programFolder,
            const std::atomic<bool>& stop);

private:
    // Whether the results can be written to path, tried before the run; a message when not.
    bool CanWrite(const std::string& path);
    // The kind --kind names, or a message.
    std::optional<ProxyKind> ParseKind(const std::string& value);
    // A number from 1 to most, or a message.
    std::optional<int32_t> ParseNumber(const std::string& option, const std::string& value, int32_t most);

    std::ostream& m_out;
    std::ostream& m_err;
};
