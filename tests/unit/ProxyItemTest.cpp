#include "proxy/ProxyItem.h"
#include "proxy/BinaryArchive.h"
#include "proxy/ProxyList.h"
#include "settings/AppSettings.h"

#include <gtest/gtest.h>

TEST(ProxyItem, NewRecordHasDefaults) {
    ProxyItem item;
    EXPECT_EQ(item.m_index, 0u);
    EXPECT_STREQ(item.m_ip, "");
    EXPECT_EQ(item.m_country, Untested);
    EXPECT_EQ(item.m_delay, Untested);
    EXPECT_EQ(item.m_status, StatusUnknown);
}

TEST(ProxyItem, SetAddressSplitsAtFirstColonAndIgnoresTextWithoutOne) {
    ProxyItem item;
    item.SetAddress("10.0.0.1:80");
    EXPECT_STREQ(item.m_ip, "10.0.0.1");
    EXPECT_STREQ(item.m_port, "80");
    item.SetAddress("10.0.0.2 8080");
    EXPECT_EQ(item.ProxyAddressText(), "10.0.0.1:80");
}

TEST(ProxyItem, SetAddressCheckedRefusesOverlongParts) {
    ProxyItem item;
    EXPECT_FALSE(item.SetAddressChecked("1234567890123456:80"));
    EXPECT_FALSE(item.SetAddressChecked("1.2.3.4:123456"));
    EXPECT_STREQ(item.m_ip, "");
    EXPECT_TRUE(item.SetAddressChecked("255.255.255.255:65535"));
    EXPECT_EQ(item.ProxyAddressText(), "255.255.255.255:65535");
}

TEST(ProxyItem, DeriveStatusFollowsTheSwitchedOnTests) {
    AppSettings settings;
    ProxyItem item;
    settings.TestAnon = 0;
    item.DeriveStatus(settings.Items()); // delay only: an Untested delay counts as Good
    EXPECT_EQ(item.m_status, StatusGood);
    item.m_delay = TimedOut;
    item.DeriveStatus(settings.Items());
    EXPECT_EQ(item.m_status, StatusBad);

    settings.TestAnon = 1;
    item.m_anonymity = Untested;
    item.DeriveStatus(settings.Items());
    EXPECT_EQ(item.m_status, StatusUnknown);
    item.m_anonymity = 3;
    item.DeriveStatus(settings.Items());
    EXPECT_EQ(item.m_status, StatusGood);
}

TEST(ProxyItem, ResetForTestKeepsActiveAndReadyAndCountry) {
    AppSettings settings;
    settings.TestSSL = 1;
    ProxyItem item;
    item.m_country = 5;
    item.m_delay = 100;
    item.m_https = 1;
    item.m_status = StatusReady;
    item.ResetForTest(settings.Items());
    EXPECT_EQ(item.m_country, 5);
    EXPECT_EQ(item.m_delay, Untested);
    EXPECT_EQ(item.m_https, Untested);
    EXPECT_EQ(item.m_status, StatusReady);

    settings.TestDelay = 0;
    settings.TestAnon = 0;
    item.m_status = StatusGood;
    item.ResetForTest(settings.Items());
    EXPECT_EQ(item.m_status, StatusGood);
}

TEST(ProxyItem, SerializeRoundTripsEveryStoredField) {
    ProxyItem item;
    item.SetAddress("1.2.3.4:3128");
    item.m_country = 222;
    item.m_delay = 350;
    item.m_anonymity = 1;
    item.m_status = StatusActive;
    BinaryArchive out;
    ASSERT_EQ(item.Serialize(out, true), 1);
    EXPECT_EQ(out.Buffer().size(), 1u + 7 + 1 + 4 + 8 * 4);

    BinaryArchive in(out.Buffer());
    ProxyItem back;
    ASSERT_EQ(back.Serialize(in, false), 1);
    EXPECT_EQ(back.ProxyAddressText(), "1.2.3.4:3128");
    EXPECT_EQ(back.m_country, 222);
    EXPECT_EQ(back.m_delay, 350);
    EXPECT_EQ(back.m_status, StatusActive);

    BinaryArchive cut(std::string_view(out.Buffer()).substr(0, 20));
    EXPECT_EQ(ProxyItem().Serialize(cut, false), 0);
}

TEST(ProxyList, RemoveIfKeepsOrderAndRenumberRestoresPositions) {
    ProxyList list;
    for (const char* a : {"1.1.1.1:1", "2.2.2.2:2", "3.3.3.3:3", "4.4.4.4:4"}) {
        auto item = std::make_unique<ProxyItem>();
        item->SetAddress(a);
        list.Append(std::move(item));
    }
    EXPECT_EQ(list.RemoveIf([](const ProxyItem& i) { return i.m_ip[0] == '2' || i.m_ip[0] == '4'; }), 2u);
    list.RenumberList();
    ASSERT_EQ(list.GetSize(), 2u);
    EXPECT_EQ(list[1]->ProxyAddressText(), "3.3.3.3:3");
    EXPECT_EQ(list[1]->m_index, 1u);
}
