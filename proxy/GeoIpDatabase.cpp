#include "proxy/GeoIpDatabase.h"

#include "platform/InputFile.h"
#include "proxy/CountryTable.h"

#include <algorithm>
#include <charconv>

namespace {

// The next number of text up to the separator; false unless it is all digits and fits.
bool TakeNumber(std::string_view& text, char separator, uint32_t& value) {
    const size_t end = text.find(separator);
    if (end == 0 || end == std::string_view::npos)
        return false;
    const char* first = text.data();
    const auto [at, error] = std::from_chars(first, first + end, value);
    if (error != std::errc() || at != first + end)
        return false;
    text.remove_prefix(end + 1);
    return true;
}

// The database tor ships is under 10 MB; a file fifty times that is no database of addresses.
constexpr uint64_t MaxDatabaseBytes = uint64_t{512} << 20;

} // namespace

bool ParseDottedAddress(std::string_view text, uint32_t& address) {
    address = 0;
    for (int part = 0; part < 4; ++part) {
        uint32_t octet = 0;
        const size_t end = part == 3 ? text.size() : text.find('.');
        if (end == 0 || end == std::string_view::npos || end > 3)
            return false;
        const auto [at, error] = std::from_chars(text.data(), text.data() + end, octet);
        if (error != std::errc() || at != text.data() + end || octet > 255)
            return false;
        address = address << 8 | octet;
        text.remove_prefix(part == 3 ? end : end + 1);
    }
    return true;
}

bool GeoIpDatabase::ParseLine(std::string_view line, Range& range) {
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (!TakeNumber(line, ',', range.low) || !TakeNumber(line, ',', range.high) || line.size() != 2 ||
        range.low > range.high)
        return false;
    range.code[0] = line[0];
    range.code[1] = line[1];
    return true;
}

bool GeoIpDatabase::Load(const std::string& path, std::string& error) {
    m_ranges.clear();
    m_ranges.shrink_to_fit();
    // One allocation of the file's size: the text is dropped once parsed, and copies would stay behind
    // in the resident memory.
    std::string text;
    platform::InputFile file(path, MaxDatabaseBytes);
    if (!file.IsOpen() || !file.ReadRest(text)) {
        error = "cannot read " + path;
        return false;
    }
    std::vector<Range> ranges;
    size_t lineNumber = 0;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line(text.data() + start, end - start);
        start = end + 1;
        ++lineNumber;
        if (line.empty() || line[0] == '#')
            continue;
        Range range{};
        if (!ParseLine(line, range)) {
            error = path + " is damaged: line " + std::to_string(lineNumber) + " is no LOW,HIGH,CC range";
            return false;
        }
        ranges.push_back(range);
    }
    std::sort(ranges.begin(), ranges.end(), [](const Range& a, const Range& b) { return a.low < b.low; });
    for (size_t i = 1; i < ranges.size(); ++i) {
        if (ranges[i].low <= ranges[i - 1].high) {
            error = path + " is damaged: its ranges overlap at " + std::to_string(ranges[i].low);
            return false;
        }
    }
    if (ranges.empty()) {
        error = path + " holds no address ranges";
        return false;
    }
    ranges.shrink_to_fit();
    m_ranges = std::move(ranges);
    return true;
}

std::string_view GeoIpDatabase::CodeOf(uint32_t address) const {
    // The last range that starts at or below the address is the only one that can hold it.
    const auto after = std::upper_bound(m_ranges.begin(), m_ranges.end(), address,
                                        [](uint32_t value, const Range& range) { return value < range.low; });
    if (after == m_ranges.begin())
        return {};
    const Range& range = *(after - 1);
    return address <= range.high ? std::string_view(range.code, 2) : std::string_view();
}

int32_t GeoIpDatabase::CountryOf(std::string_view dotted) const {
    uint32_t address = 0;
    if (!ParseDottedAddress(dotted, address))
        return -1;
    const std::string_view code = CodeOf(address);
    return code.empty() ? -1 : CountryTable::IndexOfCode(code);
}
