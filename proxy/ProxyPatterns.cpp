#include "proxy/ProxyPatterns.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <re2/re2.h>

// The plain pattern and the table pattern's usual case are decided by hand. A table match whose port
// cell lies more than a few cells away is left to RE2 rather than a backtracking engine: a page of
// thousands of address cells whose ports are written by script sends backtracking into minutes of
// work. The cheap scans pick where RE2 looks, skipping text that cannot hold a match.

namespace {

// \s is spelled out: RE2's \s lacks the vertical tab that the class holds in Perl syntax. The groups
// are left out: RE2 finds a match's bounds faster than its groups, and the groups follow from the bounds.
constexpr const char* TablePattern =
    R"(>[\t\n\v\f\r ]*\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3}[\t\n\v\f\r ]*<.*?>[\t\n\v\f\r ]*\d{2,5}[\t\n\v\f\r ]*<)";

const RE2& Compiled(const char* pattern) {
    RE2::Options options;
    options.set_encoding(RE2::Options::EncodingLatin1); // text is single-byte; '.' must take any byte
    options.set_case_sensitive(false);
    options.set_dot_nl(true);
    options.set_log_errors(false);
    return *new RE2(pattern, options); // lives for the whole process, shared by every thread
}

const RE2& Table() {
    static const RE2& re = Compiled(TablePattern);
    return re;
}

bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsAddressChar(char c) {
    return IsDigit(c) || c == '.';
}

size_t SkipBlanks(std::string_view text, size_t at) {
    while (at < text.size() && IsBlank(text[at]))
        ++at;
    return at;
}

size_t SkipAddressChars(std::string_view text, size_t at) {
    while (at < text.size() && IsAddressChar(text[at]))
        ++at;
    return at;
}

// Counts the digits just before end, looking no further back than floor.
size_t DigitsBefore(std::string_view text, size_t end, size_t floor) {
    size_t count = 0;
    while (end - count > floor && IsDigit(text[end - count - 1]))
        ++count;
    return count;
}

// Where an address \d{1,3}(\.\d{1,3}){3} ending exactly at end can start, at floor or later: the
// leftmost such start, or npos.
size_t AddressStart(std::string_view text, size_t floor, size_t end) {
    for (int group = 0; group < 3; ++group) {
        const size_t digits = DigitsBefore(text, end, floor);
        if (digits == 0 || digits > 3 || end - digits == floor || text[end - digits - 1] != '.')
            return std::string_view::npos;
        end -= digits + 1;
    }
    const size_t digits = DigitsBefore(text, end, floor);
    return digits == 0 ? std::string_view::npos : end - std::min<size_t>(digits, 3);
}

// Which bytes of a 24-byte window of the text are digits and which are dots: bit i for byte i. The
// window is read eight bytes at a time, each byte tested by arithmetic that cannot carry into the
// next, so that the variable lengths of address groups cost no mispredicted branches. Bytes past the
// text's end count as neither.
struct WindowBits {
    static constexpr size_t Size = 24;
    uint32_t digits = 0;
    uint32_t dots = 0;
};

WindowBits ClassifyWindow(std::string_view text, size_t base) {
    constexpr uint64_t High = 0x8080808080808080ULL;
    constexpr uint64_t Low = 0x7F7F7F7F7F7F7F7FULL;
    const char* window = text.data() + base;
    char padded[WindowBits::Size] = {};
    if (text.size() - base < WindowBits::Size)
        window = static_cast<const char*>(std::memcpy(padded, window, text.size() - base));
    WindowBits bits;
    for (size_t word = 0; word < WindowBits::Size / 8; ++word) {
        uint64_t x;
        std::memcpy(&x, window + word * 8, 8);
        if constexpr (std::endian::native == std::endian::big)
            x = __builtin_bswap64(x);
        const uint64_t low = x & Low;
        // A digit's low seven bits reach '0' (adding 0x50 sets bit 7) but not ':' (adding 0x46 does
        // not), and its own bit 7 is clear.
        const uint64_t digits = ((low + 0x5050505050505050ULL) & ~(low + 0x4646464646464646ULL) & ~x) & High;
        // A dot becomes zero, the only byte whose bit 7 stays clear in (low seven bits + 0x7F) | byte.
        const uint64_t other = x ^ 0x2E2E2E2E2E2E2E2EULL;
        const uint64_t dots = ~(((other & Low) + Low) | other) & High;
        // Gathers bit 7 of each byte into one byte.
        bits.digits |= static_cast<uint32_t>(((digits >> 7) * 0x0102040810204080ULL) >> 56) << (word * 8);
        bits.dots |= static_cast<uint32_t>(((dots >> 7) * 0x0102040810204080ULL) >> 56) << (word * 8);
    }
    return bits;
}

uint32_t HighestBit(uint32_t bits) {
    return 31 - static_cast<uint32_t>(std::countl_zero(bits));
}

// Where the address that ends the run of digits and dots at rel (relative to the window) starts,
// relative to the window; -1 when no address ends there. The window must hold the address and
// the character before it, or start where the search may start.
int WindowAddressStart(const WindowBits& bits, uint32_t rel) {
    const uint32_t before = (1u << rel) - 1;
    const uint32_t others = ~(bits.digits | bits.dots) & before;
    const uint32_t runStart = others ? HighestBit(others) + 1 : 0;
    uint32_t dots = bits.dots & before & ~((1u << runStart) - 1);
    int lastDots[3];
    for (int& dot : lastDots) {
        if (!dots)
            return -1;
        dot = static_cast<int>(HighestBit(dots));
        dots &= ~(1u << dot);
    }
    const auto [last, second, third] = lastDots;
    const int boundary = dots ? static_cast<int>(HighestBit(dots)) : static_cast<int>(runStart) - 1;
    // The last three groups hold one to three digits, the one before at least one.
    const auto fits = [](int digits) { return digits >= 1 && digits <= 3; };
    const int first = third - boundary - 1;
    if (!fits(static_cast<int>(rel) - last - 1) || !fits(last - second - 1) || !fits(second - third - 1) || first < 1)
        return -1;
    return third - std::min(first, 3);
}

// A table match starts at a '>' followed by blanks, an address, blanks and '<'. Returns the first
// such '>' at position or later, or npos; address and close take the address and the '<' position.
size_t NextTableStart(std::string_view text, size_t position, std::string_view& address, size_t& close) {
    for (size_t from = position; from < text.size();) {
        const void* gt = std::memchr(text.data() + from, '>', text.size() - from);
        if (!gt)
            return std::string_view::npos;
        const auto start = static_cast<size_t>(static_cast<const char*>(gt) - text.data());
        const size_t addressStart = SkipBlanks(text, start + 1);
        const size_t addressEnd = SkipAddressChars(text, addressStart);
        close = SkipBlanks(text, addressEnd);
        if (addressEnd > addressStart && close < text.size() && text[close] == '<' &&
            AddressStart(text, addressStart, addressEnd) == addressStart) {
            address = text.substr(addressStart, addressEnd - addressStart);
            return start;
        }
        from = start + 1;
    }
    return std::string_view::npos;
}

// A port cell: '>', blanks, two to five digits, blanks, '<'. Returns its end when the gap after an
// address cell (from on) reaches one within its first few '>', npos when it does not or when the
// text ends; port takes its digits. The lazy gap tries each '>' in turn, and a cell is decided by its
// '>' alone: no part of it can give back what it took.
size_t NearPortCellEnd(std::string_view text, size_t from, std::string_view& port) {
    constexpr int Tries = 4;
    for (int tried = 0; tried < Tries; ++tried) {
        const void* gt = std::memchr(text.data() + from, '>', text.size() - from);
        if (!gt)
            return std::string_view::npos;
        const size_t digits = SkipBlanks(text, static_cast<size_t>(static_cast<const char*>(gt) - text.data()) + 1);
        size_t digitsEnd = digits;
        while (digitsEnd < text.size() && IsDigit(text[digitsEnd]))
            ++digitsEnd;
        const size_t close = SkipBlanks(text, digitsEnd);
        if (digitsEnd - digits >= 2 && digitsEnd - digits <= 5 && close < text.size() && text[close] == '<') {
            port = text.substr(digits, digitsEnd - digits);
            return close + 1;
        }
        from = digits;
    }
    return std::string_view::npos;
}

bool Search(std::string_view text, size_t begin, RE2::Anchor anchor, std::string_view& found) {
    re2::StringPiece piece;
    if (!Table().Match(re2::StringPiece(text.data(), text.size()), begin, text.size(), anchor, &piece, 1))
        return false;
    found = std::string_view(piece.data(), piece.size());
    return true;
}

// Takes a table match's groups from its bounds: the address is the run of digits and dots after the
// first '>' and its blanks; the port is the run of digits before the closing blanks and '<'.
void TableGroups(std::string_view text, std::string_view found, ProxyPatterns::Match& match) {
    const size_t addressStart = SkipBlanks(found, 1);
    match.address = found.substr(addressStart, SkipAddressChars(found, addressStart) - addressStart);
    size_t portEnd = found.size() - 1;
    while (IsBlank(found[portEnd - 1]))
        --portEnd;
    const size_t portDigits = DigitsBefore(found, portEnd, 0);
    match.port = found.substr(portEnd - portDigits, portDigits);
    match.end = static_cast<size_t>(found.data() + found.size() - text.data());
}

} // namespace

// A plain match is an address, a blank or colon and digits; the address is made of digits and dots,
// so it is the tail of a run of them and ends where the run ends. In each run (from position on)
// that is followed by a separator and two digits, the match can only start at the leftmost start of
// an address that ends with the run. No part of the pattern can give back what it took (a digit is
// never a dot, a blank or a colon), so that start decides the match: the port takes up to five digits.
bool ProxyPatterns::FindPlain(std::string_view text, size_t position, Match& match) {
    // The window holds the run's end with room for the separator and the port after it. It starts
    // three characters before the run's first dot, enough for the address's first group; a longer
    // run is looked at from 18 characters before its end, enough for the address and the character
    // before it.
    constexpr size_t Reach = WindowBits::Size - 6;
    for (size_t from = position; from < text.size();) {
        const void* dot = std::memchr(text.data() + from, '.', text.size() - from);
        if (!dot)
            return false;
        const auto dotAt = static_cast<size_t>(static_cast<const char*>(dot) - text.data());
        size_t base = dotAt - std::min<size_t>(dotAt - from, 3);
        WindowBits bits = ClassifyWindow(text, base);
        const uint32_t ends = ~(bits.digits | bits.dots) & ~((1u << (dotAt - base)) - 1);
        size_t runEnd = base + static_cast<size_t>(std::countr_zero(ends));
        if (runEnd - base > Reach) {
            if (runEnd - base >= WindowBits::Size)
                runEnd = SkipAddressChars(text, base + WindowBits::Size);
            base = std::max(from, runEnd - Reach);
            bits = ClassifyWindow(text, base);
        }
        from = runEnd;
        const auto rel = static_cast<uint32_t>(runEnd - base);
        if (runEnd == text.size() || (text[runEnd] != ' ' && text[runEnd] != ':') ||
            ((bits.digits >> (rel + 1)) & 3) != 3)
            continue;
        if (const int start = WindowAddressStart(bits, rel); start >= 0) {
            const size_t portLength = std::min(std::countr_one(bits.digits >> (rel + 1)), 5);
            match.end = runEnd + 1 + portLength;
            match.address = text.substr(base + static_cast<size_t>(start), runEnd - base - static_cast<size_t>(start));
            match.separator = text[runEnd];
            match.port = text.substr(runEnd + 1, portLength);
            return true;
        }
    }
    return false;
}

bool ProxyPatterns::FindTable(std::string_view text, size_t position, Match& match) {
    size_t close = 0;
    const size_t start = NextTableStart(text, position, match.address, close);
    if (start == std::string_view::npos)
        return false;
    match.separator = ':';
    // On the usual page the port cell is the next cell or the one after; RE2 searches farther gaps.
    if (const size_t end = NearPortCellEnd(text, close + 1, match.port); end != std::string_view::npos) {
        match.end = end;
        return true;
    }
    // When no cell of digits follows, no later address cell can find one either; the unanchored
    // search only confirms that.
    std::string_view found;
    if (!Search(text, start, RE2::ANCHOR_START, found) && !Search(text, start, RE2::UNANCHORED, found))
        return false;
    TableGroups(text, found, match);
    return true;
}
