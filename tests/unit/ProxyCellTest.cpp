#include "proxy/ProxyCell.h"
#include "proxy/ProxyItem.h"

#include <gtest/gtest.h>

namespace {

CellInfo Cell(const ProxyItem& item, int32_t column) {
    CellInfo cell;
    cell.m_column = column;
    FillProxyCell(item, cell);
    return cell;
}

ProxyItem Record(const char* address, int32_t status) {
    ProxyItem item;
    item.SetAddress(address);
    item.m_status = status;
    return item;
}

} // namespace

TEST(ProxyCell, NewRecordShowsOnlyItsAddressInGreyWithTheUnknownImage) {
    ProxyItem item = Record("10.0.0.1:8080", StatusUnknown);
    item.m_index = 41;

    const CellInfo status = Cell(item, ColumnStatus);
    EXPECT_EQ(status.m_image, StatusUnknown);
    EXPECT_TRUE(status.m_centreImage);
    EXPECT_TRUE(status.m_plain);
    EXPECT_EQ(status.m_blend, BlendNone);
    EXPECT_EQ(status.m_text, "");
    EXPECT_EQ(status.m_tip, "# 42 - Unknown");

    EXPECT_EQ(Cell(item, ColumnProxy).m_text, "10.0.0.1");
    EXPECT_EQ(Cell(item, ColumnProxy).m_tip, "10.0.0.1:8080");
    EXPECT_EQ(Cell(item, ColumnPort).m_text, "8080");
    EXPECT_EQ(Cell(item, ColumnPort).m_tip, "8080");
    for (int32_t column = ColumnDelay; column < ColumnCount; ++column) {
        EXPECT_EQ(Cell(item, column).m_text, "") << column;
        EXPECT_EQ(Cell(item, column).m_tip, "") << column;
    }
    for (int32_t column = 0; column < ColumnCount; ++column) {
        const CellInfo cell = Cell(item, column);
        EXPECT_EQ(cell.m_textColour, GreyRowColour) << column;
        EXPECT_EQ(cell.m_backgroundColour, DefaultColour) << column;
        EXPECT_EQ(cell.m_selectedTextColour, DefaultColour) << column;
        if (column != ColumnStatus) {
            EXPECT_EQ(cell.m_image, -1) << column;
            EXPECT_FALSE(cell.m_plain) << column;
            EXPECT_EQ(cell.m_blend, BlendHalf) << column;
        }
    }
}

TEST(ProxyCell, StatusImageAndTipFollowTheStatus) {
    const char* names[] = {"Unknown", "Active", "Ready", "Good", "Bad"};
    for (int32_t status = StatusUnknown; status <= StatusBad; ++status) {
        const CellInfo cell = Cell(Record("1.2.3.4:80", status), ColumnStatus);
        EXPECT_EQ(cell.m_image, status);
        EXPECT_EQ(cell.m_tip, std::string("# 1 - ") + names[status]);
    }
    const CellInfo damaged = Cell(Record("1.2.3.4:80", 9), ColumnStatus);
    EXPECT_EQ(damaged.m_image, -1);
    EXPECT_EQ(damaged.m_tip, "");
}

TEST(ProxyCell, GreyRowsKeepTheGreenAndBlueOfTheirOwnCells) {
    for (int32_t status : {StatusUnknown, StatusBad}) {
        ProxyItem item = Record("1.2.3.4:80", status);
        item.m_anonymity = 1;
        item.m_https = 1;
        EXPECT_EQ(Cell(item, ColumnAnonymity).m_textColour, GreenColour);
        EXPECT_EQ(Cell(item, ColumnHttps).m_textColour, GreenColour);
        EXPECT_EQ(Cell(item, ColumnProxy).m_textColour, GreyRowColour);
        item.m_anonymity = 2;
        EXPECT_EQ(Cell(item, ColumnAnonymity).m_textColour, BlueColour);
    }
    for (int32_t status : {StatusActive, StatusReady, StatusGood}) {
        ProxyItem item = Record("1.2.3.4:80", status);
        item.m_anonymity = 3;
        EXPECT_EQ(Cell(item, ColumnProxy).m_textColour, DefaultColour);
        EXPECT_EQ(Cell(item, ColumnAnonymity).m_textColour, DefaultColour);
    }
    EXPECT_EQ(GreenColour, 0x009600u); // red in the low byte, as the view reads it
    EXPECT_EQ(BlueOf(BlueColour), 150);
}

TEST(ProxyCell, DelayAndAnonymityTexts) {
    ProxyItem item = Record("1.2.3.4:80", StatusGood);
    struct Case {
        int32_t value;
        const char* text;
        const char* tip;
    };
    for (const Case& c : {Case{250, "250", "250ms"}, Case{1, "1", "1ms"}, Case{TimedOut, "---", "Timeout"},
                          Case{0, "", ""}, Case{Untested, "", ""}, Case{-7, "", ""}}) {
        item.m_delay = c.value;
        EXPECT_EQ(Cell(item, ColumnDelay).m_text, c.text) << c.value;
        EXPECT_EQ(Cell(item, ColumnDelay).m_tip, c.tip) << c.value;
    }
    for (const Case& c : {Case{1, "Level 1", "High Anonymous (Elite)"}, Case{2, "Level 2", "Anonymous"},
                          Case{3, "Level 3", "Not Anonymous (Transparent)"}, Case{TimedOut, "---", "Timeout"},
                          Case{Untested, "", ""}, Case{4, "", ""}, Case{0, "", ""}}) {
        item.m_anonymity = c.value;
        EXPECT_EQ(Cell(item, ColumnAnonymity).m_text, c.text) << c.value;
        EXPECT_EQ(Cell(item, ColumnAnonymity).m_tip, c.tip) << c.value;
    }
}

TEST(ProxyCell, YesNoColumnsShowTwoDashesForTimeoutsAndNothingForUnlistedValues) {
    ProxyItem item = Record("1.2.3.4:80", StatusGood);
    item.m_https = TimedOut;
    item.m_gateway = 0;
    item.m_danger = 1;
    item.m_codeen = 1;
    EXPECT_EQ(Cell(item, ColumnHttps).m_text, "--");
    EXPECT_EQ(Cell(item, ColumnHttps).m_tip, "Timeout");
    EXPECT_EQ(Cell(item, ColumnGateway).m_text, "No");
    EXPECT_EQ(Cell(item, ColumnGateway).m_tip, "Not Gateway Proxy");
    EXPECT_EQ(Cell(item, ColumnDanger).m_text, "Yes");
    EXPECT_EQ(Cell(item, ColumnDanger).m_tip, "FBI/Army IP");
    EXPECT_EQ(Cell(item, ColumnCodeen).m_tip, "A node of the CoDeeN CDN Network");

    item.m_https = 1;
    item.m_gateway = 1;
    item.m_danger = 0;
    item.m_codeen = 0;
    EXPECT_EQ(Cell(item, ColumnHttps).m_tip, "Support Https");
    EXPECT_EQ(Cell(item, ColumnHttps).m_textColour, GreenColour);
    EXPECT_EQ(Cell(item, ColumnGateway).m_tip, "Gateway Proxy");
    EXPECT_EQ(Cell(item, ColumnDanger).m_tip, "Safe IP");
    EXPECT_EQ(Cell(item, ColumnCodeen).m_tip, "Not a node of the CoDeeN CDN Network");

    // Danger has no timeout; other values come only from a damaged list.
    item.m_danger = TimedOut;
    item.m_gateway = 5;
    item.m_codeen = Untested;
    for (int32_t column : {ColumnDanger, ColumnGateway, ColumnCodeen}) {
        EXPECT_EQ(Cell(item, column).m_text, "") << column;
        EXPECT_EQ(Cell(item, column).m_tip, "") << column;
    }
}

TEST(ProxyCell, CountryShowsCodeWithTheNameAsTip) {
    ProxyItem item = Record("1.2.3.4:80", StatusGood);
    item.m_country = 222;
    EXPECT_EQ(Cell(item, ColumnCountry).m_text, "US");
    EXPECT_EQ(Cell(item, ColumnCountry).m_tip, "United States");
    item.m_country = -1;
    EXPECT_EQ(Cell(item, ColumnCountry).m_text, "--");
    EXPECT_EQ(Cell(item, ColumnCountry).m_tip, "unknown");
    item.m_country = 239;
    EXPECT_EQ(Cell(item, ColumnCountry).m_text, "");
}

TEST(ProxyCell, ColumnsHaveTheirHeadersAndWidths) {
    const char* headers[] = {" ",       "Proxy", "Port",    "Delay",  "Anonymity",
                             "Country", "Https", "Gateway", "Danger", "CoDeeN"};
    const int32_t widths[] = {31, 120, 58, 66, 80, 62, 58, 66, 62, 62};
    for (size_t i = 0; i < ListColumns.size(); ++i) {
        EXPECT_STREQ(ListColumns[i].m_header, headers[i]);
        EXPECT_EQ(ListColumns[i].m_width, widths[i]);
    }
}
