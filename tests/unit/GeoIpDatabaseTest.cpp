#include "proxy/GeoIpDatabase.h"
#include "proxy/CountryTable.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestRunHarness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace {

using CountryTable::CountryCode;
using CountryTable::IndexOfCode;

// 10.0.0.0-10.0.0.255 US, 10.0.1.0-10.0.1.255 RS, a gap, 10.0.3.0 alone "??", 200.0.0.0-255.255.255.255 NL;
// written out of order, with a comment and a CRLF line, as a hand-edited file may be.
constexpr const char* TinyDatabase = "# tiny\n"
                                     "167772416,167772671,RS\n"
                                     "167772160,167772415,US\r\n"
                                     "167772928,167772928,??\n"
                                     "3355443200,4294967295,NL\n";

int32_t Row(const char* code) {
    for (int32_t i = 0; i < CountryTable::CountryCount; ++i)
        if (CountryCode(i) == code)
            return i;
    return -2;
}

} // namespace

TEST(GeoIpDatabase, LooksUpAtEveryBoundaryOfATinyDatabase) {
    TempDir dir;
    dir.Write("geoip", TinyDatabase);
    GeoIpDatabase db;
    std::string error;
    ASSERT_TRUE(db.Load(dir.File("geoip"), error)) << error;
    EXPECT_EQ(db.RangeCount(), 4u);
    const std::pair<const char*, int32_t> cases[] = {
        {"9.255.255.255", -1},
        {"10.0.0.0", Row("US")},
        {"10.0.0.255", Row("US")},
        {"10.0.1.0", Row("YU")},
        {"10.0.1.255", Row("YU")},
        {"10.0.2.0", -1},
        {"10.0.3.0", -1},
        {"200.0.0.0", Row("NL")},
        {"255.255.255.255", Row("NL")},
        {"10.0.0.256", -1},
        {"10.0.0", -1},
        {"10.0.0.1.5", -1},
        {"", -1},
        {"proxy.example", -1},
        {"10..0.1", -1},
    };
    for (const auto& [address, row] : cases)
        EXPECT_EQ(db.CountryOf(address), row) << address;
}

TEST(GeoIpDatabase, ADamagedFileLoadsNothingAndSaysWhy) {
    TempDir dir;
    const std::pair<const char*, const char*> cases[] = {
        {"16,10,US\n", "line 1"},                    // low above high
        {"# ok\n1,2,US\n3,4\n", "line 3"},           // no code
        {"1,2,USA\n", "line 1"},                     // a three-letter code
        {"1,4294967296,US\n", "line 1"},             // beyond IPv4
        {"1,-2,US\n", "line 1"},                     // a sign
        {"1,10,US\n5,20,DE\n", "overlap at 5"},      // ranges that overlap
        {"# only comments\n\n", "holds no address"}, // nothing at all
        {"\x01\x02\xff\xfe binary junk", "line 1"},  // not text
    };
    for (const auto& [content, why] : cases) {
        dir.Write("geoip", content);
        GeoIpDatabase db;
        std::string error;
        ASSERT_TRUE(db.Load(dir.File("geoip"), error) == false) << content;
        EXPECT_NE(error.find(why), std::string::npos) << error;
        EXPECT_FALSE(db.IsLoaded());
        EXPECT_EQ(db.CountryOf("0.0.0.3"), -1);
    }
    // A failed reload leaves nothing of the last good load behind.
    GeoIpDatabase db;
    std::string error;
    dir.Write("geoip", TinyDatabase);
    ASSERT_TRUE(db.Load(dir.File("geoip"), error));
    EXPECT_FALSE(db.Load(dir.File("missing"), error));
    EXPECT_EQ(error, "cannot read " + dir.File("missing"));
    EXPECT_EQ(db.CountryOf("10.0.0.1"), -1);
}

// The packaged database: a few holders that have not moved for years, and every code it contains,
// which must reach its own row, the row of the code it replaced, or -1 for the codes the table
// has no country for.
TEST(GeoIpDatabase, ThePackagedDatabaseMapsEveryCodeItContains) {
    if (!std::filesystem::exists(GeoIpDatabase::DefaultPath))
        GTEST_SKIP() << GeoIpDatabase::DefaultPath << " is missing: scripts/install-deps.sh installs tor-geoipdb";
    GeoIpDatabase db;
    std::string error;
    ASSERT_TRUE(db.Load(GeoIpDatabase::DefaultPath, error)) << error;
    EXPECT_EQ(db.CountryOf("8.8.8.8"), Row("US"));
    EXPECT_EQ(db.CountryOf("1.1.1.1"), Row("AU"));
    EXPECT_EQ(db.CountryOf("193.0.6.139"), Row("NL"));
    EXPECT_EQ(db.CountryOf("127.0.0.1"), -1);

    const std::map<std::string, std::string> successors = {{"TL", "TP"}, {"RS", "YU"}, {"ME", "YU"},
                                                           {"CS", "YU"}, {"CD", "ZR"}, {"CW", "AN"},
                                                           {"SX", "AN"}, {"BQ", "AN"}, {"UK", "GB"}};
    // Regions, and countries cut out of others after the table was fixed.
    const std::set<std::string> unmapped = {"??", "AP", "EU", "AX", "BL", "GG", "IM", "JE", "MF", "PS", "SS"};
    std::ifstream file(GeoIpDatabase::DefaultPath);
    std::set<std::string> codes;
    for (std::string line; std::getline(file, line);)
        if (!line.empty() && line[0] != '#')
            codes.insert(line.substr(line.rfind(',') + 1, 2));
    EXPECT_GT(codes.size(), 200u);
    for (const std::string& code : codes) {
        const int32_t row = IndexOfCode(code);
        if (unmapped.count(code)) {
            EXPECT_EQ(row, -1) << code;
            continue;
        }
        const auto successor = successors.find(code);
        EXPECT_EQ(CountryCode(row), successor == successors.end() ? code : successor->second) << code;
    }
    EXPECT_EQ(IndexOfCode("GB"), Row("GB"));
}

// A run with only the address items on: no network, and each file's trouble costs one log line.
TEST(GeoIpDatabase, ARunFillsCountryAndDangerOrLeavesThemWhenTheirFileIsUnusable) {
    struct Case {
        bool filesPresent;
        int32_t country;
        int32_t danger;
    };
    for (const Case& c : {Case{true, Row("US"), 1}, Case{false, 42, Untested}}) {
        TempDir dir;
        dir.Write("geoip", "100663296,100663551,US\n"); // 6.0.0.0/24, inside a dangerous network
        TestRunHarness h;
        h.settings.TestDelay = 0;
        h.settings.TestAnon = 0;
        h.settings.TestCountry = 1;
        h.settings.TestDanger = 1;
        h.context.GeoIpPath = c.filesPresent ? dir.File("geoip") : dir.File("none");
        h.context.DangerousListPath = c.filesPresent ? ORV_DANGEROUS_IP_DAT : dir.File("none.dat");
        ProxyItem& dangerous = h.AddRecord("6.0.0.7:8080");
        dangerous.m_country = 42;
        ProxyItem& safe = h.AddRecord("127.0.0.1:8080");
        safe.m_danger = 1;
        h.StartAll();
        ASSERT_TRUE(h.WaitIdle());
        EXPECT_EQ(dangerous.m_country, c.country);
        EXPECT_EQ(dangerous.m_danger, c.danger);
        EXPECT_EQ(safe.m_country, c.filesPresent ? -1 : Untested);
        EXPECT_EQ(safe.m_danger, c.filesPresent ? 0 : Untested);
        const std::string log = h.log.Text();
        EXPECT_EQ(log.find(TestRun::NoCountryText) != std::string::npos, !c.filesPresent) << log;
        EXPECT_EQ(log.find(TestRun::NoDangerText) != std::string::npos, !c.filesPresent) << log;
    }
}
