#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// An offline IPv4 address database in the text form "LOW,HIGH,CC" (one range a line, both ends
// included, as integers; '#' starts a comment line), held as a sorted array searched by bisection.
// Loaded once, then only read: any number of threads may look up at the same time.
class GeoIpDatabase {
public:
    static constexpr const char* DefaultPath = "/usr/share/tor/geoip";

    // Replaces the contents with the file's ranges. On failure nothing stays loaded and error says
    // why in one line: a file that cannot be read, a line that is no range, or ranges that overlap.
    bool Load(const std::string& path, std::string& error);
    bool IsLoaded() const { return !m_ranges.empty(); }
    size_t RangeCount() const { return m_ranges.size(); }
    size_t MemoryBytes() const { return m_ranges.capacity() * sizeof(Range); }

    // The two-letter code of the range holding address (host order); empty when none holds it.
    std::string_view CodeOf(uint32_t address) const;
    // The country row of a dotted address: -1 for text that is no dotted address, an address in
    // no range, "??" and codes the country table cannot name.
    int32_t CountryOf(std::string_view dotted) const;

private:
    struct Range {
        uint32_t low;
        uint32_t high;
        char code[2];
    };

    // Parses one non-comment line; false when it is no range.
    static bool ParseLine(std::string_view line, Range& range);

    std::vector<Range> m_ranges;
};

// A dotted IPv4 address in host order; false for anything else (four numbers of 0 to 255).
bool ParseDottedAddress(std::string_view text, uint32_t& address);
