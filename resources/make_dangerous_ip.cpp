// Builds DangerousIP.dat from a text list of address ranges.
//
//   make_dangerous_ip INPUT.txt OUTPUT.dat
//
// One range a line, "first-last" or "address/prefix", followed by a '#' comment naming the holder;
// blank lines and lines that start with '#' are skipped. Ranges must not overlap. A range that spans
// several first octets is written as one record per octet, because the program starts its search
// at the first record of the address's own octet.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Range {
    uint32_t first;
    uint32_t last;
    int line;
};

std::string Trim(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos)
        return "";
    return text.substr(begin, text.find_last_not_of(" \t\r") - begin + 1);
}

// Four decimal octets of one to three digits, each at most 255.
std::optional<uint32_t> ParseAddress(const std::string& text) {
    uint32_t number = 0;
    size_t pos = 0;
    for (int octet = 0; octet < 4; ++octet) {
        if (octet > 0 && (pos >= text.size() || text[pos++] != '.'))
            return std::nullopt;
        uint32_t value = 0;
        const size_t start = pos;
        while (pos < text.size() && pos - start < 3 && text[pos] >= '0' && text[pos] <= '9')
            value = value * 10 + uint32_t(text[pos++] - '0');
        if (pos == start || value > 255)
            return std::nullopt;
        number = number << 8 | value;
    }
    if (pos != text.size())
        return std::nullopt;
    return number;
}

// Returns the range of one line, or an error text.
std::optional<Range> ParseRange(const std::string& text, int line, std::string& error) {
    const size_t dash = text.find('-');
    const size_t slash = text.find('/');
    if (dash != std::string::npos) {
        const auto first = ParseAddress(Trim(text.substr(0, dash)));
        const auto last = ParseAddress(Trim(text.substr(dash + 1)));
        if (!first || !last) {
            error = "expected \"first-last\" with two dotted addresses";
            return std::nullopt;
        }
        if (*first > *last) {
            error = "the first address lies above the last";
            return std::nullopt;
        }
        return Range{*first, *last, line};
    }
    if (slash != std::string::npos) {
        const auto base = ParseAddress(Trim(text.substr(0, slash)));
        const std::string prefixText = Trim(text.substr(slash + 1));
        if (!base || prefixText.empty() || prefixText.size() > 2 ||
            prefixText.find_first_not_of("0123456789") != std::string::npos || std::stoi(prefixText) > 32) {
            error = "expected \"address/prefix\" with a prefix of 0 to 32";
            return std::nullopt;
        }
        const int prefix = std::stoi(prefixText);
        const uint32_t hostBits = prefix == 0 ? 0xFFFFFFFFu : (uint32_t(1) << (32 - prefix)) - 1;
        if (*base & hostBits) {
            error = "the address has bits set below the prefix";
            return std::nullopt;
        }
        return Range{*base, *base | hostBits, line};
    }
    error = "expected \"first-last\" or \"address/prefix\"";
    return std::nullopt;
}

bool ReadRanges(const char* path, std::vector<Range>& ranges) {
    std::ifstream in(path);
    if (!in) {
        std::cerr << path << ": cannot open the range list\n";
        return false;
    }
    std::string text;
    for (int line = 1; std::getline(in, text); ++line) {
        const size_t hash = text.find('#');
        const std::string range = Trim(text.substr(0, hash));
        if (range.empty())
            continue;
        std::string error;
        if (hash == std::string::npos || Trim(text.substr(hash + 1)).empty())
            error = "the range needs a '#' comment naming its holder";
        else if (const auto parsed = ParseRange(range, line, error))
            ranges.push_back(*parsed);
        if (!error.empty()) {
            std::cerr << path << ":" << line << ": " << error << ": " << Trim(text) << "\n";
            return false;
        }
    }
    return true;
}

bool CheckOverlaps(const char* path, std::vector<Range>& ranges) {
    std::sort(ranges.begin(), ranges.end(), [](const Range& a, const Range& b) { return a.first < b.first; });
    for (size_t i = 1; i < ranges.size(); ++i) {
        if (ranges[i].first <= ranges[i - 1].last) {
            std::cerr << path << ":" << ranges[i].line << ": the range overlaps the one on line " << ranges[i - 1].line
                      << "\n";
            return false;
        }
    }
    return true;
}

std::vector<Range> SplitAtOctets(const std::vector<Range>& ranges) {
    std::vector<Range> records;
    for (Range range : ranges) {
        while (range.first >> 24 != range.last >> 24) {
            const uint32_t octetEnd = range.first | 0x00FFFFFFu;
            records.push_back({range.first, octetEnd, range.line});
            range.first = octetEnd + 1;
        }
        records.push_back(range);
    }
    return records;
}

void PutUInt32(std::string& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out += char(value >> shift & 0xFF);
}

std::string Compose(const std::vector<Range>& records) {
    std::string out("orv", 4);
    PutUInt32(out, uint32_t(8 + records.size() * 8));
    std::array<int32_t, 256> octetIndex = {};
    for (size_t i = 0; i < records.size(); ++i) {
        PutUInt32(out, records[i].first);
        PutUInt32(out, records[i].last);
        int32_t& entry = octetIndex[records[i].first >> 24];
        if (entry == 0)
            entry = int32_t(i + 1);
    }
    PutUInt32(out, uint32_t(records.size()));
    out.append(8, '\0');
    out += char(8);
    for (int32_t entry : octetIndex)
        PutUInt32(out, uint32_t(entry));
    return out;
}

// Written beside the target and renamed, so that a failed run never leaves half a file.
bool WriteFile(const char* path, const std::string& bytes) {
    const std::string temporary = std::string(path) + ".tmp";
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    out.close();
    if (!out || std::rename(temporary.c_str(), path) != 0) {
        std::remove(temporary.c_str());
        std::cerr << path << ": cannot write the file\n";
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: make_dangerous_ip INPUT.txt OUTPUT.dat\n";
        return 2;
    }
    std::vector<Range> ranges;
    if (!ReadRanges(argv[1], ranges) || !CheckOverlaps(argv[1], ranges))
        return 1;
    return WriteFile(argv[2], Compose(SplitAtOctets(ranges))) ? 0 : 1;
}
