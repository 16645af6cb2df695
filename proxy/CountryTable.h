#pragma once

#include <cstdint>
#include <string>

// The fixed table of 239 countries that a record's country index points into. The index is what the
// saved list stores, so rows never move. The table is constant data: any thread may read it.
namespace CountryTable {

constexpr int32_t CountryCount = 239;

// The two-letter code of a row; "--" for -1 (no country found), empty for any other value.
std::string CountryCode(int32_t index);
// The English name of a row; "unknown" for -1, empty for any other value.
std::string CountryName(int32_t index);

} // namespace CountryTable
