#pragma once

#include <string_view>

// The two patterns that find proxies in text, run with Perl's leftmost-first semantics:
//   plain: \d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3}[ :]\d{2,5}
//   table: >\s*(\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3})\s*<.*?>\s*(\d{2,5})\s*<   ('.' also matches line breaks)
// A scan calls Find* with position 0 and then with the end of each match.
class ProxyPatterns {
public:
    // The leftmost match starting at or after position; false when there is none.
    static bool FindPlain(std::string_view text, size_t position, std::string_view& match);
    static bool FindTable(std::string_view text, size_t position, std::string_view& match);

    // The pattern's groups, taken from a match of it.
    static void SplitPlain(std::string_view match, std::string_view& address, char& separator, std::string_view& port);
    static void SplitTable(std::string_view match, std::string_view& address, std::string_view& port);
};
