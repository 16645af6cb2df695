#include "proxy/DangerousList.h"
#include "proxy/ProxyList.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace {

struct Range {
    uint32_t first;
    uint32_t last;
};

constexpr uint32_t Ip(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return a << 24 | b << 16 | c << 8 | d;
}

void PutUInt32(std::string& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out += static_cast<char>(value >> shift & 0xFF);
}

// A file in the program's format; the parts can be spoiled one by one.
struct DatFile {
    std::vector<Range> records;
    std::array<int32_t, 256> octetIndex = {};
    uint32_t count = 0;
    uint8_t recordSize = 8;
    bool autoIndex = true;

    explicit DatFile(std::vector<Range> ranges) : records(std::move(ranges)), count(uint32_t(records.size())) {}

    std::string Bytes() const {
        std::string out("orv", 4);
        PutUInt32(out, uint32_t(8 + records.size() * 8));
        std::array<int32_t, 256> index = octetIndex;
        for (size_t i = 0; i < records.size(); ++i) {
            PutUInt32(out, records[i].first);
            PutUInt32(out, records[i].last);
            if (autoIndex && index[records[i].first >> 24] == 0)
                index[records[i].first >> 24] = int32_t(i + 1);
        }
        PutUInt32(out, count);
        out.append(8, 'x');
        out += static_cast<char>(recordSize);
        for (int32_t entry : index)
            PutUInt32(out, uint32_t(entry));
        return out;
    }
};

class DangerousListTest : public testing::Test {
protected:
    std::string Write(const std::string& bytes) {
        m_dir.Write("DangerousIP.dat", bytes);
        return m_dir.File("DangerousIP.dat");
    }
    int Load(const DatFile& file) { return m_list.LoadDangerousList(Write(file.Bytes())); }

    TempDir m_dir;
    DangerousList m_list;
};

const std::vector<Range> SampleRanges = {
    {Ip(6, 0, 0, 0), Ip(6, 255, 255, 255)},     {Ip(11, 1, 0, 0), Ip(11, 1, 255, 255)},
    {Ip(11, 3, 0, 10), Ip(11, 3, 0, 20)},       {Ip(11, 200, 0, 0), Ip(11, 200, 0, 0)},
    {Ip(214, 0, 0, 0), Ip(215, 0, 0, 255)},     {Ip(255, 0, 0, 0), Ip(255, 0, 0, 9)},
    {Ip(255, 7, 0, 0), Ip(255, 255, 255, 255)},
};

} // namespace

TEST_F(DangerousListTest, AddressesAtBothEndsOfARangeAreDangerous) {
    ASSERT_EQ(Load(DatFile(SampleRanges)), 0);
    EXPECT_EQ(m_list.IsDangerousAddress("6.0.0.0"), 1);
    EXPECT_EQ(m_list.IsDangerousAddress("6.255.255.255"), 1);
    EXPECT_EQ(m_list.IsDangerousAddress("11.3.0.10"), 1);
    EXPECT_EQ(m_list.IsDangerousAddress("11.3.0.20"), 1);
    EXPECT_EQ(m_list.IsDangerousAddress("11.200.0.0"), 1);
    EXPECT_EQ(m_list.IsDangerousAddress("11.3.0.9"), 0);
    EXPECT_EQ(m_list.IsDangerousAddress("11.3.0.21"), 0);
    EXPECT_EQ(m_list.IsDangerousAddress("11.0.255.255"), 0);
    EXPECT_EQ(m_list.IsDangerousAddress("11.255.0.0"), 0);
}

TEST_F(DangerousListTest, OctetsWithoutRecordsAreSafeAndTheTopOctetIsSearchedToTheEnd) {
    ASSERT_EQ(Load(DatFile(SampleRanges)), 0);
    EXPECT_EQ(m_list.IsDangerousAddress("7.0.0.1"), 0);
    EXPECT_EQ(m_list.IsDangerousAddress("0.0.0.0"), 0);
    EXPECT_EQ(m_list.IsDangerousAddress("255.0.0.9"), 1);
    EXPECT_EQ(m_list.IsDangerousAddress("255.0.0.10"), 0);
    EXPECT_EQ(m_list.IsDangerousAddress("255.255.255.255"), 1);

    DangerousList withoutTop;
    ASSERT_EQ(withoutTop.LoadDangerousList(Write(DatFile({{Ip(6, 0, 0, 0), Ip(6, 0, 0, 255)}}).Bytes())), 0);
    EXPECT_EQ(withoutTop.IsDangerousAddress("255.255.255.255"), 0);
}

TEST_F(DangerousListTest, ARangeIsOnlyFoundUnderTheOctetItStartsWith) {
    ASSERT_EQ(Load(DatFile(SampleRanges)), 0);
    EXPECT_EQ(m_list.IsDangerousAddress("214.9.9.9"), 1);
    // 215 has no record of its own, so the part of the range above 214 is never searched.
    EXPECT_EQ(m_list.IsDangerousAddress("215.0.0.1"), 0);
}

TEST_F(DangerousListTest, DigitsAreTakenModuloSixteen) {
    ASSERT_EQ(Load(DatFile(SampleRanges)), 0);
    EXPECT_EQ(m_list.IsDangerousAddress("11.3.0.1:"), 1); // ':' counts 10: 11.3.0.20
    EXPECT_EQ(m_list.IsDangerousAddress("6.a.b.c"), 1);
    // An octet above 255 carries into the octet before it.
    EXPECT_EQ(m_list.IsDangerousAddress("5.256.0.0"), 1);
}

TEST_F(DangerousListTest, TextsThatAreNoAddressAreSafe) {
    ASSERT_EQ(Load(DatFile(SampleRanges)), 0);
    for (const char* text : {"", "6", "6.", "6.1.2", "6.1.2.", "6.1.2.3.", "6.1.2.3.4", "6..2.3", ".6.1.2.3",
                             "6.1.2.3456", "6.1234.2.3", "6666.1.2.3", "...."})
        EXPECT_EQ(m_list.IsDangerousAddress(text), 0) << '"' << text << '"';
}

TEST_F(DangerousListTest, ReleaseKeepsTheOctetIndexSoIndexedOctetsAnswerMinusTwo) {
    ASSERT_EQ(Load(DatFile(SampleRanges)), 0);
    m_list.FreeDangerousList();
    EXPECT_EQ(m_list.IsDangerousAddress("6.1.1.1"), -2);
    EXPECT_EQ(m_list.IsDangerousAddress("11.99.0.0"), -2);
    EXPECT_EQ(m_list.IsDangerousAddress("7.1.1.1"), 0);
    m_list.FreeDangerousList(); // a second release does nothing

    ASSERT_EQ(Load(DatFile({{Ip(7, 0, 0, 0), Ip(7, 0, 0, 0)}})), 0);
    EXPECT_EQ(m_list.IsDangerousAddress("7.0.0.0"), 1);
    EXPECT_EQ(m_list.IsDangerousAddress("6.1.1.1"), 0);
}

TEST_F(DangerousListTest, TheLoadedFlagStaysSetUntilRelease) {
    EXPECT_EQ(m_list.LoadDangerousList(m_dir.File("missing.dat")), -3);
    // The file exists now, but the flag makes the next load do nothing.
    EXPECT_EQ(Load(DatFile(SampleRanges)), 0);
    EXPECT_EQ(m_list.IsDangerousAddress("6.0.0.1"), 0);
    m_list.FreeDangerousList();
    EXPECT_EQ(Load(DatFile(SampleRanges)), 0);
    EXPECT_EQ(m_list.IsDangerousAddress("6.0.0.1"), 1);
    EXPECT_EQ(Load(DatFile({})), 0); // already loaded: the records stay
    EXPECT_EQ(m_list.IsDangerousAddress("6.0.0.1"), 1);
}

TEST_F(DangerousListTest, WrongMagicAndUnreachableIndexLoadNothing) {
    std::string bytes = DatFile(SampleRanges).Bytes();
    bytes[2] = 'w';
    EXPECT_EQ(m_list.LoadDangerousList(Write(bytes)), -2);
    EXPECT_EQ(m_list.IsDangerousAddress("6.0.0.1"), 0);
    m_list.FreeDangerousList();

    bytes = DatFile(SampleRanges).Bytes();
    bytes[7] = char(0x80); // index offset 2^31 and more: the seek fails
    EXPECT_EQ(m_list.LoadDangerousList(Write(bytes)), 0);
    EXPECT_EQ(m_list.IsDangerousAddress("6.0.0.1"), 0);
    m_list.FreeDangerousList();

    EXPECT_EQ(m_list.LoadDangerousList(Write("orv")), -2);
}

TEST_F(DangerousListTest, FilesThatDoNotHoldWhatTheirHeaderSaysAreRefused) {
    DatFile wrongSize(SampleRanges);
    wrongSize.recordSize = 16;
    DatFile countTooLarge(SampleRanges);
    countTooLarge.count = 500;
    DatFile hugeCount(SampleRanges);
    hugeCount.count = 0xFFFFFFFF;
    DatFile indexBeyondRecords(SampleRanges);
    indexBeyondRecords.octetIndex[9] = 8;
    std::string truncated = DatFile(SampleRanges).Bytes();
    truncated.resize(truncated.size() - 1);
    std::string indexPastEnd = DatFile(SampleRanges).Bytes();
    indexPastEnd[4] = char(0xF0);

    // A good load first, so that a refused file must also leave the former index alone.
    ASSERT_EQ(Load(DatFile({{Ip(9, 0, 0, 0), Ip(9, 0, 0, 0)}})), 0);
    for (const std::string& bytes : {wrongSize.Bytes(), countTooLarge.Bytes(), hugeCount.Bytes(),
                                     indexBeyondRecords.Bytes(), truncated, indexPastEnd}) {
        m_list.FreeDangerousList();
        EXPECT_EQ(m_list.LoadDangerousList(Write(bytes)), -2);
        EXPECT_EQ(m_list.IsDangerousAddress("6.0.0.1"), 0);
        EXPECT_EQ(m_list.IsDangerousAddress("9.0.0.0"), -2);
    }
}

TEST_F(DangerousListTest, AnIndexThatIsNotInOrderStillEndsTheSearchInsideTheRecords) {
    DatFile shuffled(SampleRanges);
    shuffled.autoIndex = false;
    shuffled.octetIndex[6] = 7;
    shuffled.octetIndex[7] = 1;
    shuffled.octetIndex[0] = 4;
    ASSERT_EQ(Load(shuffled), 0);
    for (const char* text : {"6.0.0.0", "6.255.255.255", "0.0.0.0", "255.255.255.255", "7.1.1.1"})
        EXPECT_LE(m_list.IsDangerousAddress(text), 1) << text;
}

TEST_F(DangerousListTest, MarkDangerousSetsOnlyTheFlagsOfDangerousRecords) {
    ProxyList list;
    for (const char* address : {"6.1.2.3:80", "8.8.8.8:80", "11.3.0.15:3128", "9.9.9.9:80"})
        list.Append(std::make_unique<ProxyItem>())->SetAddress(address);
    list[3]->m_danger = 0;
    list[2]->m_danger = 0;

    EXPECT_EQ(m_list.MarkDangerous(list, Write(DatFile(SampleRanges).Bytes())), 2);
    EXPECT_EQ(list[0]->m_danger, 1);
    EXPECT_EQ(list[1]->m_danger, Untested);
    EXPECT_EQ(list[2]->m_danger, 1);
    EXPECT_EQ(list[3]->m_danger, 0);
    // The pass releases the list again.
    EXPECT_EQ(m_list.IsDangerousAddress("6.1.2.3"), -2);

    list[0]->m_danger = Untested;
    EXPECT_EQ(m_list.MarkDangerous(list, m_dir.File("missing.dat")), 0);
    EXPECT_EQ(list[0]->m_danger, Untested);
}

TEST_F(DangerousListTest, DeletePassRemovesDangerousRecordsInOrder) {
    ProxyList list;
    for (const char* address : {"6.1.2.3:80", "8.8.8.8:80", "11.3.0.15:3128", "9.9.9.9:81", "6.0.0.0:1"})
        list.Append(std::make_unique<ProxyItem>())->SetAddress(address);
    list[1]->m_danger = 1; // the flag is not consulted

    EXPECT_EQ(m_list.DeleteDangerousProxies(list, Write(DatFile(SampleRanges).Bytes())), 3);
    ASSERT_EQ(list.GetSize(), 2u);
    EXPECT_EQ(list[0]->ProxyAddressText(), "8.8.8.8:80");
    EXPECT_EQ(list[1]->ProxyAddressText(), "9.9.9.9:81");
    EXPECT_EQ(RemovedDangerousText(3), "Removed 3 dangerous (FBI/Army) proxies from the list.\r\n");

    EXPECT_EQ(m_list.DeleteDangerousProxies(list, m_dir.File("missing.dat")), 0);
    EXPECT_EQ(list.GetSize(), 2u);
    EXPECT_EQ(RemovedDangerousText(0), "Removed 0 dangerous (FBI/Army) proxies from the list.\r\n");
}

TEST(DangerousListData, TheShippedFileListsTheDefenseNetworks) {
    DangerousList list;
    ASSERT_EQ(list.LoadDangerousList(ORV_DANGEROUS_IP_DAT), 0);
    for (const char* text : {"6.0.0.0", "7.1.2.3", "11.0.0.1", "21.2.3.4", "22.2.3.4", "26.9.9.9", "28.1.1.1",
                             "29.1.1.1", "30.1.1.1", "33.1.1.1", "55.255.255.255", "214.1.2.3", "215.255.255.255"})
        EXPECT_EQ(list.IsDangerousAddress(text), 1) << text;
    for (const char* text : {"5.255.255.255", "8.0.0.0", "10.0.0.1", "127.0.0.1", "192.168.1.1", "216.0.0.0"})
        EXPECT_EQ(list.IsDangerousAddress(text), 0) << text;
}
