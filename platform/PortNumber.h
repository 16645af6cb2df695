#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The three ways the program reads a port number from text. Callers that differ further (blanks, a sign)
// say so where they call.

// A port as written in a proxy address or a setting: one to five decimal digits naming 1..65535.
std::optional<uint16_t> ParsePort(std::string_view text);

// Decimal digits only, of any length (leading zeros too), naming 0..65535; a listener takes 0 as any free port.
std::optional<uint16_t> ParsePortOrAny(std::string_view text);

// The leading decimal digits folded into 0..65535, as a socket's 16-bit port field keeps them; none gives 0.
uint16_t FoldPort(std::string_view text);
