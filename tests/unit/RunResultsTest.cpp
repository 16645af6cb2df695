#include "app/RunResults.h"
#include "proxy/CountryTable.h"
#include "proxy/ProxyItem.h"
#include "proxy/ProxyList.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstring>

namespace {

ProxyItem& Add(ProxyList& list, const char* ip, const char* port) {
    auto item = std::make_unique<ProxyItem>();
    std::strncpy(item->m_ip, ip, ProxyItem::MaxIpLength);
    std::strncpy(item->m_port, port, ProxyItem::MaxPortLength);
    return *list.Append(std::move(item));
}

} // namespace

// A fully tested record, an untested one, and texts a CSV reader or a JSON writer could trip on.
TEST(RunResults, JsonAndCsvCarryTheSameRecordsWithNullForUntested) {
    ProxyList list;
    ProxyItem& tested = Add(list, "10.0.0.1", "8080");
    tested.m_status = StatusGood;
    tested.m_delay = 250;
    tested.m_anonymity = 1;
    tested.m_gateway = 0;
    tested.m_country = 222; // United States
    tested.m_https = 1;
    tested.m_danger = 0;
    ProxyItem& failed = Add(list, "10.0.0.2", "3128");
    failed.m_status = StatusBad;
    failed.m_delay = TimedOut;
    failed.m_country = -1;
    Add(list, "a,\"b\xff", "80x"); // a hand-edited record: a separator, a quote, a byte that is no UTF-8
    list.m_level1Count.Set(1);

    const nlohmann::json run = nlohmann::json::parse(RunResults::Json(list, {"finished", 12, "2026-12-07 17:00:00"}));
    EXPECT_EQ(run["outcome"], "finished");
    EXPECT_EQ(run["proxies"], 3);
    EXPECT_EQ(run["seconds"], 12);
    EXPECT_EQ(run["highAnonymous"], 1);
    EXPECT_EQ(run["lastTested"], "2026-12-07 17:00:00");
    const nlohmann::json& records = run["records"];
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0], nlohmann::json::parse(R"({"address":"10.0.0.1","port":8080,"status":"good","delay":250,
        "anonymity":1,"gateway":0,"country":"US","https":1,"danger":0,"kind":"http"})"));
    EXPECT_EQ(records[1]["delay"], -1);
    EXPECT_EQ(records[1]["country"], "--");
    EXPECT_TRUE(records[1]["anonymity"].is_null());
    EXPECT_TRUE(records[1]["https"].is_null());
    EXPECT_EQ(records[2]["address"], "a,\"b\xEF\xBF\xBD");
    EXPECT_EQ(records[2]["port"], 80);

    EXPECT_EQ(RunResults::Csv(list), "address,port,status,delay,anonymity,gateway,country,https,danger,kind\r\n"
                                     "10.0.0.1,8080,good,250,1,0,US,1,0,http\r\n"
                                     "10.0.0.2,3128,bad,-1,,,--,,,http\r\n"
                                     "\"a,\"\"b\xff\",80,unknown,,,,,,,http\r\n");
}

TEST(RunResults, KindsAlwaysAndPasswordsOnlyWhenAskedFor) {
    ProxyList list;
    Add(list, "10.0.0.2", "1080").SetKind(ProxyKind::Socks5);
    list[0]->SetCredentials("al", "p,w");
    EXPECT_EQ(nlohmann::json::parse(RunResults::Json(list, {}))["records"][0]["kind"], "socks5");
    EXPECT_EQ(RunResults::Json(list, {}).find("p,w"), std::string::npos);
    EXPECT_EQ(nlohmann::json::parse(RunResults::Json(list, {}, true))["records"][0]["password"], "p,w");
    EXPECT_EQ(RunResults::Csv(list), std::string(RunResults::CsvHeader) + "\r\n10.0.0.2,1080,unknown,,,,,,,socks5\r\n");
    EXPECT_EQ(RunResults::Csv(list, true), std::string(RunResults::CsvHeader) +
                                               ",user,password\r\n10.0.0.2,1080,unknown,,,,,,,socks5,al,\"p,w\"\r\n");
}
