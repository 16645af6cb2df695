#include "proxy/ProxyKey.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::array<int64_t, 256> CharValues = [] {
    std::array<int64_t, 256> values{};
    for (int c = 0; c < 256; ++c)
        values[c] = c - 65;
    for (int digit = 0; digit < 10; ++digit)
        values['0' + digit] = digit;
    values['.'] = 10;
    values[':'] = 11;
    values[' '] = -33;
    return values;
}();

} // namespace

int64_t ProxyKey(std::string_view pair) {
    // Unsigned arithmetic: the fold is meant to wrap, and signed overflow would be undefined.
    uint64_t key = 0;
    const size_t length = std::min<size_t>(pair.size(), 21);
    for (size_t i = 0; i < length; ++i)
        key = key * 10 + static_cast<uint64_t>(CharValues[static_cast<unsigned char>(pair[i])]);
    return static_cast<int64_t>(key);
}
