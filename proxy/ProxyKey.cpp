#include "proxy/ProxyKey.h"

#include <algorithm>

namespace {

int64_t CharValue(unsigned char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c == '.')
        return 10;
    if (c == ':')
        return 11;
    if (c == ' ')
        return -33;
    return static_cast<int64_t>(c) - 65;
}

} // namespace

int64_t ProxyKey(std::string_view pair) {
    // Unsigned arithmetic: the fold is meant to wrap, and signed overflow would be undefined.
    uint64_t key = 0;
    const size_t length = std::min<size_t>(pair.size(), 21);
    for (size_t i = 0; i < length; ++i)
        key = key * 10 + static_cast<uint64_t>(CharValue(static_cast<unsigned char>(pair[i])));
    return static_cast<int64_t>(key);
}
