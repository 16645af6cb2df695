#pragma once

#include <cstdint>
#include <string_view>

// The number that identifies a pair text ("1.2.3.4:8080" or "1.2.3.4 8080") within one parse:
// digits count 0..9, the dot 10, the colon 11, the blank -33, any other character its code minus 65;
// the first 21 characters are folded in base 10, wrapping in 64 bits.
int64_t ProxyKey(std::string_view pair);
