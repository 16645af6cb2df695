#include "settings/ExportComposer.h"

#include "proxy/CountryTable.h"

namespace {

// The Timeout and Unclassified titles have no blank line after their body.
constexpr const char* TitlePrefix[ExportComposer::SectionCount] = {"[High Anonymous / Level1 Proxies (",
                                                                   "[Anonymous / Level2 Proxies (",
                                                                   "[Transparent / Level3 Proxies (",
                                                                   "[SSL / HTTPS Proxies (",
                                                                   "[Unchecked Proxies (",
                                                                   "[Timeout Proxies (",
                                                                   "[Unclassified Proxies ("};
constexpr bool BlankLineAfter[ExportComposer::SectionCount] = {true, true, true, true, true, false, false};

} // namespace

std::string ExportComposer::FormatLine(const ProxyItem& item, bool country, bool speed, bool includePasswords) {
    std::string line = item.UrlText(includePasswords);
    if (country)
        line += "  \t" + CountryTable::CountryCode(item.m_country);
    const int32_t delay = item.m_delay;
    if (speed && delay > 0)
        line += "  \t" + std::to_string(delay) + "ms";
    return line + "\r\n";
}

void ExportComposer::BuildSections(const std::vector<ProxyItem*>& exportSet, bool country, bool speed, bool testAnon,
                                   bool includePasswords) {
    for (int s = 0; s < SectionCount; ++s) {
        m_bodies[s].clear();
        m_counts[s] = 0;
    }
    auto add = [this](Section section, const std::string& line) {
        m_bodies[section] += line;
        ++m_counts[section];
    };
    for (const ProxyItem* item : exportSet) {
        const std::string line = FormatLine(*item, country, speed, includePasswords);
        const int32_t level = item->m_anonymity;
        if (level >= 1 && level <= 3)
            add(static_cast<Section>(Level1 + level - 1), line);
        if (item->m_https == 1)
            add(Https, line);
        const int32_t status = item->m_status;
        if (status == StatusUnknown)
            add(Unchecked, line);
        else if (status == StatusBad)
            add(Timeout, line);
        else if (!testAnon && item->m_delay > 0)
            add(Unclassified, line);
    }
}

ExportComposer::Composed ExportComposer::Compose(const ExportOptions& options, std::string_view lastTestedText,
                                                 int32_t timeout, bool testAnon) const {
    const bool included[SectionCount] = {options.m_level1,
                                         options.m_level2,
                                         options.m_level3,
                                         options.m_ssl,
                                         options.m_unchecked,
                                         options.m_timeout,
                                         !testAnon && options.m_level1 && options.m_level2 && options.m_level3};
    Composed out;
    if (!options.m_noTitle) {
        out.m_text = "Checked by Tarvelo\r\n";
        out.m_text.append(lastTestedText);
        out.m_text += "\r\nTimeout: " + std::to_string(timeout) + "s\r\n\r\n";
    }
    for (int s = 0; s < SectionCount; ++s) {
        if (!included[s])
            continue;
        out.m_total += m_counts[s];
        if (options.m_noTitle) {
            out.m_text += m_bodies[s];
            continue;
        }
        out.m_text += TitlePrefix[s] + std::to_string(m_counts[s]) + ")]\r\n" + m_bodies[s];
        if (BlankLineAfter[s])
            out.m_text += "\r\n";
    }
    return out;
}
