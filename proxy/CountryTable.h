#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The fixed table of 239 countries that a record's country index points into. The index is what the
// saved list stores, so rows never move. The table is constant data: any thread may read it.
namespace CountryTable {

constexpr int32_t CountryCount = 239;

// The two-letter code of a row; "--" for -1 (no country found), empty for any other value.
std::string CountryCode(int32_t index);
// The English name of a row; "unknown" for -1, empty for any other value.
std::string CountryName(int32_t index);
// The row of a two-letter code as address databases write it today: its own row, or for a code
// assigned after the table was fixed the row of the code it replaced; -1 when there is none.
int32_t IndexOfCode(std::string_view code);

} // namespace CountryTable
