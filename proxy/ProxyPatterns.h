#pragma once

#include <cstddef>
#include <string_view>

// The two patterns that find proxies in text, run with Perl's leftmost-first semantics:
//   plain: \d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3}[ :]\d{2,5}
//   table: >\s*(\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3})\s*<.*?>\s*(\d{2,5})\s*<   ('.' also matches line breaks)
// A scan calls Find* with position 0 and then with the end of each match.
class ProxyPatterns {
public:
    // A match's groups: the address and the port, and for the plain pattern the blank or colon
    // between them (the table pattern's is ':').
    struct Match {
        size_t end = 0;
        std::string_view address;
        char separator = ':';
        std::string_view port;
    };

    // The leftmost match starting at or after position; false when there is none.
    static bool FindPlain(std::string_view text, size_t position, Match& match);
    static bool FindTable(std::string_view text, size_t position, Match& match);
};
