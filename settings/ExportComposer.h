#pragma once

#include "proxy/ProxyItem.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Which parts of the export the user chose (the export dialog's check boxes).
struct ExportOptions {
    bool m_level1 = true;
    bool m_level2 = true;
    bool m_level3 = true;
    bool m_ssl = true;
    bool m_unchecked = false;
    bool m_timeout = false;
    bool m_country = true;
    bool m_speed = true;
    bool m_noTitle = false;
    // Credentials go into the lines only when asked for each time: never a saved choice.
    bool m_includePasswords = false;
};

// The sectioned export text: the records sorted into seven sections in one pass, then the chosen
// sections composed with the header and their titles.
class ExportComposer {
public:
    enum Section { Level1, Level2, Level3, Https, Unchecked, Timeout, Unclassified, SectionCount };

    // "address:port" ("socks5://address:port" for SOCKS, "user:password@" before the address with
    // includePasswords), then the country code and the delay when asked for, then CR LF.
    static std::string FormatLine(const ProxyItem& item, bool country, bool speed, bool includePasswords = false);

    // testAnon is the anonymity test's setting: without it, tested records with a delay go to
    // Unclassified. A record may land in several sections.
    void BuildSections(const std::vector<ProxyItem*>& exportSet, bool country, bool speed, bool testAnon,
                       bool includePasswords = false);

    struct Composed {
        std::string m_text;
        // Lines of the included sections; a record in two sections counts twice.
        int32_t m_total = 0;
    };
    Composed Compose(const ExportOptions& options, std::string_view lastTestedText, int32_t timeout,
                     bool testAnon) const;

    const std::string& Body(Section section) const { return m_bodies[section]; }
    int32_t Count(Section section) const { return m_counts[section]; }

private:
    std::string m_bodies[SectionCount];
    int32_t m_counts[SectionCount] = {};
};
