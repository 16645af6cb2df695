#include "proxy/ProxyTextParser.h"
#include "proxy/ProxyList.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <thread>
#include <unistd.h>

namespace {

using Pairs = std::vector<std::string>;

class ProxyTextParserTest : public ::testing::Test {
protected:
    ProxyTextParser m_parser;
    ProxyList m_list;

    Pairs Load(const std::string& text) {
        ProxyList list;
        m_parser.LoadProxies(list, text, true);
        return Addresses(list);
    }

    static Pairs Addresses(const ProxyList& list) {
        Pairs pairs;
        for (size_t i = 0; i < list.GetSize(); ++i)
            pairs.push_back(list[i]->ProxyAddressText());
        return pairs;
    }
};

} // namespace

TEST_F(ProxyTextParserTest, FindsEveryPairOfAPlainLineInOrder) {
    EXPECT_EQ(m_parser.LoadProxies(m_list, "1.2.3.4:8080 5.6.7.8 3128", true).count, 2);
    EXPECT_EQ(Addresses(m_list), (Pairs{"1.2.3.4:8080", "5.6.7.8:3128"}));
    EXPECT_STREQ(m_list[1]->m_ip, "5.6.7.8");
    EXPECT_STREQ(m_list[1]->m_port, "3128");
    EXPECT_EQ(m_list[1]->m_status, StatusUnknown);
}

TEST_F(ProxyTextParserTest, DropsDuplicatesWithinOneTextOnly) {
    const std::string text = "1.2.3.4:8080\nsome words 1.2.3.4:8080\n";
    EXPECT_EQ(m_parser.LoadProxies(m_list, text, true).count, 1);
    EXPECT_EQ(m_parser.LoadProxies(m_list, text, true).count, 1);
    EXPECT_EQ(Addresses(m_list), (Pairs{"1.2.3.4:8080", "1.2.3.4:8080"}));
}

TEST_F(ProxyTextParserTest, BlankFormAndColonFormAreTwoRecords) {
    EXPECT_EQ(Load("1.2.3.4 8080 and 1.2.3.4:8080"), (Pairs{"1.2.3.4:8080", "1.2.3.4:8080"}));
}

TEST_F(ProxyTextParserTest, AppendsBehindExistingRecordsAndRenumbers) {
    m_parser.LoadProxies(m_list, "9.9.9.9:99", true);
    EXPECT_EQ(m_parser.LoadProxies(m_list, "1.1.1.1:11 2.2.2.2:22", true).count, 2);
    ASSERT_EQ(m_list.GetSize(), 3u);
    EXPECT_EQ(m_list[2]->m_index, 2u);
    EXPECT_EQ(m_list[2]->ProxyAddressText(), "2.2.2.2:22");
}

TEST_F(ProxyTextParserTest, PatternBoundaries) {
    EXPECT_EQ(Load("1.2.3.4:8"), Pairs{});
    EXPECT_EQ(Load("1.2.3.4:65536"), Pairs{"1.2.3.4:65536"});
    EXPECT_EQ(Load("300.1.1.1:80"), Pairs{"300.1.1.1:80"});
    EXPECT_EQ(Load("1234.5.6.7:80"), Pairs{"234.5.6.7:80"});
    EXPECT_EQ(Load("1.2.3.4:1234567"), Pairs{"1.2.3.4:12345"});
    EXPECT_EQ(Load("010.001.002.003:00080"), Pairs{"010.001.002.003:00080"});
    EXPECT_EQ(Load("1.2.3.4:\t80 1.2.3.4  80 1.2.3:80 1..2.3.4:80"), Pairs{});
    EXPECT_EQ(Load("x1.2.3.4:80y"), Pairs{"1.2.3.4:80"});
}

TEST_F(ProxyTextParserTest, TableRowGivesOneRecordAfterThePlainPairs) {
    const std::string page = "<table><tr><td>1.2.3.4</td><td>8080</td></tr>\n"
                             "<tr><td>5.6.7.8</td><td>3128</td></tr></table>\n"
                             "<p>Also 5.6.7.8:3128 and 9.9.9.9:99</p>";
    EXPECT_EQ(Load(page), (Pairs{"5.6.7.8:3128", "9.9.9.9:99", "1.2.3.4:8080"}));
}

TEST_F(ProxyTextParserTest, PortCellThatIsNoNumberPairsWithTheNextDigitsCell) {
    const std::string page = "<tr><td>1.2.3.4</td><td><script>p(0x1F90)</script></td></tr>\n"
                             "<tr><td>x</td><td>  3128\t</td></tr>";
    EXPECT_EQ(Load(page), Pairs{"1.2.3.4:3128"});
    // The lazy gap stops at the first digits cell: the address cell in between is swallowed.
    EXPECT_EQ(Load("<td>1.1.1.1</td><td>2.2.2.2</td><td>80</td><td>90</td>"), Pairs{"1.1.1.1:80"});
}

TEST_F(ProxyTextParserTest, TableCellsAllowEveryBlankAndAnyByteBetweenThem) {
    EXPECT_EQ(Load(">\v1.2.3.4\f\r\n<b>\xff\xfe\x01</b>\t\v77 <"), Pairs{"1.2.3.4:77"});
}

TEST_F(ProxyTextParserTest, AddressCellsWithoutPortCellsGiveNothing) {
    // A backtracking engine spends seconds on this page and then gives up.
    std::string page;
    for (int row = 0; row < 20000; ++row)
        page += "<tr><td>10.0." + std::to_string(row / 250) + "." + std::to_string(row % 250) +
                "</td><td><script>port(" + std::to_string(row) + ")</script></td></tr>\n";
    EXPECT_EQ(Load(page), Pairs{});
}

TEST_F(ProxyTextParserTest, TextWithoutPairsCountsZero) {
    EXPECT_EQ(m_parser.LoadProxies(m_list, "", true).count, 0);
    EXPECT_EQ(m_parser.LoadProxies(m_list, "no proxies here", true).count, 0);
    EXPECT_TRUE(m_list.IsEmpty());
}

TEST_F(ProxyTextParserTest, ReadsAFileAndCutsEachChunkAtItsFirstNul) {
    TempDir dir;
    // The first chunk holds a pair, a NUL, then a pair that is lost; the second chunk counts again.
    std::string bytes = "1.1.1.1:11 ";
    bytes += '\0';
    bytes += " 2.2.2.2:22 ";
    bytes.resize(ProxyTextParser::ChunkBufferSize - 1, ' ');
    bytes += "3.3.3.3:33\n";
    dir.Write("list.txt", bytes);
    const ProxyTextParser::Loaded loaded = m_parser.LoadProxies(m_list, dir.File("list.txt"), false);
    EXPECT_EQ(loaded.count, 2);
    EXPECT_EQ(Addresses(m_list), (Pairs{"1.1.1.1:11", "3.3.3.3:33"}));
    EXPECT_TRUE(loaded.error.empty());
}

TEST_F(ProxyTextParserTest, PairAcrossAChunkBorderIsFound) {
    TempDir dir;
    std::string bytes(ProxyTextParser::ChunkBufferSize - 6, ' ');
    bytes += "4.4.4.4:8080\n";
    dir.Write("list.txt", bytes);
    EXPECT_EQ(m_parser.LoadProxies(m_list, dir.File("list.txt"), false).count, 1);
    EXPECT_EQ(Addresses(m_list), Pairs{"4.4.4.4:8080"});
}

TEST_F(ProxyTextParserTest, PipeIsCutIntoTheSameChunksAsAFileWhetherReadWholeOrAsItArrives) {
    // The writer sends small pieces; the NUL still only ends the first 102399-byte chunk's part.
    std::string bytes = "1.1.1.1:11 ";
    bytes += '\0';
    bytes += "2.2.2.2:22";
    bytes.resize(ProxyTextParser::ChunkBufferSize - 1, ' ');
    bytes += "3.3.3.3:33 <td>5.5.5.5</td><td>55</td> <td>3.3.3.3</td><td>33</td>";
    const auto send = [&bytes](const std::function<void(int)>& read) {
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        std::thread writer([&bytes, out = ends[1]] {
            for (size_t at = 0; at < bytes.size(); at += 4000)
                EXPECT_GT(::write(out, bytes.data() + at, std::min<size_t>(4000, bytes.size() - at)), 0);
            ::close(out);
        });
        read(ends[0]);
        writer.join();
        ::close(ends[0]);
    };
    std::string text;
    send([&](int fd) { EXPECT_TRUE(m_parser.ReadSource(fd, text)); });
    EXPECT_EQ(text, "1.1.1.1:11 3.3.3.3:33 <td>5.5.5.5</td><td>55</td> <td>3.3.3.3</td><td>33</td>");
    Pairs pairs;
    int pieces = 0;
    const auto found = [&](std::string_view pair) { pairs.emplace_back(pair); };
    send([&](int fd) { EXPECT_TRUE(m_parser.ExtractPairsAsRead(fd, found, [&] { ++pieces; })); });
    EXPECT_EQ(pairs, (Pairs{"1.1.1.1:11", "3.3.3.3:33", "5.5.5.5:55"}));
    EXPECT_GT(pieces, 2);
}

TEST_F(ProxyTextParserTest, FileGivesTheChunkReadersTextWhetherMappedOrNot) {
    // A file without NUL is mapped, one with a NUL is read chunk by chunk: both must give what the
    // reader gives. A file whose size the system does not know (procfs) is read.
    TempDir dir;
    std::string nulInSecondChunk(ProxyTextParser::ChunkBufferSize + 10, '7');
    nulInSecondChunk[ProxyTextParser::ChunkBufferSize + 2] = '\0';
    const struct {
        std::string name, bytes;
    } cases[] = {
        {"empty", ""},
        {"one pair", "1.1.1.1:11"},
        {"three chunks", std::string(3 * ProxyTextParser::ChunkBufferSize, '5') + "2.2.2.2:22"},
        {"NUL in the second chunk", nulInSecondChunk},
        {"NUL last", std::string("3.3.3.3:33") + '\0'},
    };
    for (const auto& c : cases) {
        dir.Write(c.name, c.bytes);
        SourceText text;
        ASSERT_TRUE(m_parser.ReadSourceFile(dir.File(c.name), text, true)) << c.name;
        const int fd = ::open(dir.File(c.name).c_str(), O_RDONLY);
        std::string read;
        EXPECT_TRUE(m_parser.ReadSource(fd, read)) << c.name;
        ::close(fd);
        EXPECT_EQ(text.View(), read) << c.name;
    }
    SourceText status;
    ASSERT_TRUE(m_parser.ReadSourceFile("/proc/self/status", status, true));
    EXPECT_NE(status.View().find("Pid:"), std::string_view::npos);
}

TEST_F(ProxyTextParserTest, EmptyPathFailsSilently) {
    const ProxyTextParser::Loaded loaded = m_parser.LoadProxies(m_list, "", false);
    EXPECT_EQ(loaded.count, -1);
    EXPECT_TRUE(loaded.error.empty());
}

TEST_F(ProxyTextParserTest, UnreadableSourceShowsTheSystemsReason) {
    TempDir dir;
    Pairs errors;
    for (const std::string& path : {dir.File("missing.txt"), dir.Path()}) {
        const ProxyTextParser::Loaded loaded = m_parser.LoadProxies(m_list, path, false);
        EXPECT_EQ(loaded.count, -1) << path;
        errors.push_back(loaded.error);
    }
    EXPECT_EQ(errors, (Pairs{"Couldn't open source file: No such file or directory",
                             "Couldn't open source file: Is a directory"}));
    EXPECT_TRUE(m_list.IsEmpty());
}

TEST_F(ProxyTextParserTest, AddProxyCountsWhatTheJoinedFieldsGive) {
    EXPECT_EQ(m_parser.AddProxy(m_list, " 1.2.3.4", "8080 "), 1);
    EXPECT_EQ(m_parser.AddProxy(m_list, "999.999.999.999", "99999"), 1);
    EXPECT_EQ(m_parser.AddProxy(m_list, "1.2.3.4", "8080"), 1); // already listed: added again
    EXPECT_EQ(m_parser.AddProxy(m_list, "1.2.3.4 ", "8080"), 0);
    EXPECT_EQ(m_parser.AddProxy(m_list, "1.2.3.4", "8a"), 0);
    EXPECT_EQ(m_parser.AddProxy(m_list, "1.2.3.4", "8"), 0);
    EXPECT_EQ(m_parser.AddProxy(m_list, "1.2.3.4:80 5.6.7.8", "81"), 2);
    EXPECT_EQ(m_list.GetSize(), 5u);
}
