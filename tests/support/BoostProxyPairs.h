#pragma once

// The reference for the parser's matching: the same two patterns run by Boost.Regex in Perl syntax,
// with the same duplicate rule. Used by the differential test and the fuzz target.

#include "proxy/ProxyKey.h"

#include <boost/regex.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

// The "address:port" texts of the records loading the text would append, in order; nullopt when
// Boost gives up (it throws on inputs that make it backtrack too much).
inline std::optional<std::vector<std::string>> BoostProxyPairs(const std::string& text) {
    static const boost::regex plain(R"((\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3}[ :]\d{2,5}))",
                                    boost::regex::perl | boost::regex::icase);
    static const boost::regex table(R"(>\s*(\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3})\s*<.*?>\s*(\d{2,5})\s*<)",
                                    boost::regex::perl | boost::regex::icase);
    std::vector<std::string> pairs;
    std::set<int64_t> seen;
    try {
        for (boost::sregex_iterator it(text.begin(), text.end(), plain), end; it != end; ++it) {
            std::string pair = (*it)[1].str();
            if (!seen.insert(ProxyKey(pair)).second)
                continue;
            if (const size_t blank = pair.find(' '); blank != std::string::npos)
                pair[blank] = ':';
            pairs.push_back(pair);
        }
        if (text.find('<') == std::string::npos)
            return pairs;
        for (boost::sregex_iterator it(text.begin(), text.end(), table), end; it != end; ++it) {
            const std::string pair = (*it)[1].str() + ":" + (*it)[2].str();
            if (seen.insert(ProxyKey(pair)).second)
                pairs.push_back(pair);
        }
    } catch (const std::runtime_error&) {
        return std::nullopt;
    }
    return pairs;
}
