#pragma once

#include <cstdint>
#include <string>

class ProxyList;

// A run's results for programs rather than people: every record with the columns a script filters
// on, as JSON (the run's figures and an array of records) or CSV (a header row, then one row a
// record). A result that was not tested is null in JSON and an empty field in CSV. The kind is
// "http", "socks4" or "socks5" ("detect" while unknown); user names and passwords only when asked for.
class RunResults {
public:
    static constexpr const char* CsvHeader = "address,port,status,delay,anonymity,gateway,country,https,danger,kind";

    struct Figures {
        std::string outcome; // "finished" or "stopped"
        int64_t seconds = 0;
        std::string lastTested;
    };

    static std::string Json(const ProxyList& list, const Figures& figures, bool includePasswords = false);
    static std::string Csv(const ProxyList& list, bool includePasswords = false);
};
