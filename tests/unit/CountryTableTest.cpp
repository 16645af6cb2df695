#include "proxy/CountryTable.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <set>

using namespace CountryTable;

TEST(CountryTable, RowsKeepTheirCodesAndNames) {
    struct Row {
        int32_t index;
        const char* code;
        const char* name;
    };
    const Row rows[] = {
        {0, "AF", "Afghanistan"},
        {26, "BA", "Bosnia and Herzegowina"},
        {51, "CI", "Cote D'ivoire"},
        {52, "HR", "Croatia (Local Name Hrvatska)"},
        {60, "TP", "East Timor"},
        {73, "FX", "France, Metropolitan"},
        {93, "HM", "Heard and Mc Donald Islands"},
        {100, "IR", "Iran (Islamic Republic Of)"},
        {111, "KP", "Korea, Democratic People's Republic Of"},
        {120, "LY", "Libyan Arab Jamahiriya"},
        {124, "MO", "Macau"},
        {125, "MK", "Macedonia, The Former Yugoslav Republic Of"},
        {150, "AN", "Netherlands Antilles"},
        {175, "RU", "Russian Federation"},
        {188, "SK", "Slovakia (Slovak Republic)"},
        {193, "GS", "South Georgia and The South Sandwich Islands"},
        {196, "SH", "St. Helena"},
        {197, "PM", "St. Pierre and Miquelon"},
        {200, "SJ", "Svalbard and Jan Mayen Islands"},
        {205, "TW", "Taiwan, Province Of China"},
        {221, "GB", "United Kingdom"},
        {222, "US", "United States"},
        {227, "VA", "Vatican City State (Holy See)"},
        {229, "VN", "Viet Nam"},
        {230, "VG", "Virgin Islands (British)"},
        {231, "VI", "Virgin Islands (U.S.)"},
        {235, "YU", "Yugoslavia"},
        {236, "ZR", "Zaire"},
        {238, "ZW", "Zimbabwe"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CountryCode(row.index), row.code) << row.index;
        EXPECT_EQ(CountryName(row.index), row.name) << row.index;
    }
}

TEST(CountryTable, HasTwoHundredThirtyNineRowsWithDistinctCodesAndNames) {
    std::set<std::string> codes;
    std::set<std::string> names;
    for (int32_t index = 0; index < CountryCount; ++index) {
        const std::string code = CountryCode(index);
        EXPECT_EQ(code.size(), 2u) << index;
        EXPECT_TRUE(std::isupper(static_cast<unsigned char>(code[0])) &&
                    std::isupper(static_cast<unsigned char>(code[1])))
            << index;
        EXPECT_FALSE(CountryName(index).empty()) << index;
        codes.insert(code);
        names.insert(CountryName(index));
    }
    EXPECT_EQ(CountryCount, 239);
    EXPECT_EQ(codes.size(), 239u);
    EXPECT_EQ(names.size(), 239u);
}

TEST(CountryTable, NamesAreInAlphabeticalOrder) {
    auto lower = [](std::string text) {
        for (char& c : text)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    for (int32_t index = 1; index < CountryCount; ++index)
        EXPECT_LT(lower(CountryName(index - 1)), lower(CountryName(index))) << index;
}

TEST(CountryTable, MinusOneIsUnknownAndOtherValuesAreEmpty) {
    EXPECT_EQ(CountryCode(-1), "--");
    EXPECT_EQ(CountryName(-1), "unknown");
    for (int32_t index : {-2, 239, 240, -3, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(CountryCode(index), "") << index;
        EXPECT_EQ(CountryName(index), "") << index;
    }
}
