#include "settings/SavedList.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>

namespace {

// The file format written out by hand, independently of the archive code.
std::string Int(int32_t value) {
    std::string bytes;
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<char>((static_cast<uint32_t>(value) >> (8 * i)) & 0xFF));
    return bytes;
}

std::string Str(const std::string& text) {
    const auto n = static_cast<uint32_t>(text.size());
    std::string bytes;
    if (n < 255) {
        bytes.push_back(static_cast<char>(n));
    } else if (n < 0xFFFE) {
        bytes += "\xFF";
        bytes.push_back(static_cast<char>(n & 0xFF));
        bytes.push_back(static_cast<char>(n >> 8));
    } else {
        bytes += "\xFF\xFF\xFF" + Int(static_cast<int32_t>(n));
    }
    return bytes + text;
}

std::string Header(const std::string& lastTested, int32_t count, int32_t level1 = 0, int32_t level2 = 0,
                   int32_t level3 = 0, const std::string& title = "ORV Proxy List", int32_t version = 100) {
    return Str(title) + Int(version) + Str(lastTested) + Int(count) + Int(level1) + Int(level2) + Int(level3);
}

std::string Record(const std::string& ip, const std::string& port, int32_t status, int32_t delay = 350) {
    return Str(ip) + Str(port) + Int(222) + Int(delay) + Int(1) + Int(1) + Int(0) + Int(0) + Int(-2) + Int(status);
}

ProxyItem* Add(ProxyList& list, const char* address, int32_t status, int32_t delay = 350) {
    auto item = std::make_unique<ProxyItem>();
    item->SetAddress(address);
    item->m_country = 222;
    item->m_delay = delay;
    item->m_anonymity = 1;
    item->m_https = 1;
    item->m_gateway = 0;
    item->m_danger = 0;
    item->m_codeen = Untested;
    item->m_status = status;
    return list.Append(std::move(item));
}

const std::string Stamp = "2026-12-07 10:30:00";

TEST(SavedList, WritesTheFileByteForByte) {
    ProxyList list;
    Add(list, "1.2.3.4:3128", StatusActive);
    Add(list, "10.0.0.1:80", StatusBad, TimedOut);
    list.m_level1Count.Set(2);
    list.m_level3Count.Set(7);
    const std::string expected = Header(Stamp, 2, 2, 0, 7) + Record("1.2.3.4", "3128", StatusActive) +
                                 Record("10.0.0.1", "80", StatusBad, TimedOut);
    EXPECT_EQ(SavedList::ToBytes(list, Stamp), expected);
}

TEST(SavedList, EmptyListsAre55And36Bytes) {
    ProxyList list;
    EXPECT_EQ(SavedList::ToBytes(list, Stamp).size(), 55u);
    EXPECT_EQ(SavedList::ToBytes(list, "").size(), 36u);

    for (const std::string& stamp : {Stamp, std::string()}) {
        ProxyList back;
        const auto result = SavedList::FromBytes(SavedList::ToBytes(list, stamp), back);
        EXPECT_TRUE(result.m_loaded);
        EXPECT_EQ(result.m_lastTestedText, stamp);
        EXPECT_EQ(result.m_logText, "Loaded 0 proxies from the last tested result.\r\n");
        EXPECT_TRUE(back.IsEmpty());
    }
}

TEST(SavedList, ReadsEachStringForm) {
    const std::string forms[] = {std::string(254, 'a'), std::string(255, 'b'), std::string(65533, 'c'),
                                 std::string(65534, 'd'), std::string(70000, 'e')};
    const size_t prefix[] = {1, 3, 3, 7, 7};
    for (size_t i = 0; i < std::size(forms); ++i) {
        const std::string bytes = Header(forms[i], 1) + Record("1.2.3.4", "80", StatusGood);
        EXPECT_EQ(Str(forms[i]).size(), forms[i].size() + prefix[i]);
        ProxyList list;
        const auto result = SavedList::FromBytes(bytes, list);
        ASSERT_TRUE(result.m_loaded) << i;
        EXPECT_EQ(result.m_lastTestedText, forms[i]);
        ASSERT_EQ(list.GetSize(), 1u);
        EXPECT_EQ(list[0]->ProxyAddressText(), "1.2.3.4:80");
        EXPECT_EQ(SavedList::ToBytes(list, forms[i]), bytes) << i;
    }
}

TEST(SavedList, SaveAndLoadGiveBackTheSameList) {
    TempDir dir;
    ProxyList list;
    Add(list, "1.2.3.4:3128", StatusGood);
    Add(list, "5.6.7.8:8080", StatusActive);
    Add(list, "9.9.9.9:1", StatusReady, TimedOut);
    list.m_level1Count.Set(3);
    list.m_level2Count.Set(4); // stored counters need not match the records
    list.m_level3Count.Set(5);
    ASSERT_TRUE(SavedList::SaveList(dir.Path(), list, Stamp));

    ProxyList back;
    const auto result = SavedList::LoadList(dir.Path(), back);
    ASSERT_TRUE(result.m_loaded);
    EXPECT_EQ(result.m_lastTestedText, Stamp);
    ASSERT_EQ(back.GetSize(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(back[i]->m_index, i);
        EXPECT_EQ(back[i]->ProxyAddressText(), list[i]->ProxyAddressText());
        EXPECT_EQ(back[i]->m_status, list[i]->m_status);
        EXPECT_EQ(back[i]->m_delay, list[i]->m_delay);
        EXPECT_EQ(back[i]->m_codeen, Untested);
    }
    EXPECT_EQ(back.m_level1Count.Get(), 3);
    EXPECT_EQ(back.m_level2Count.Get(), 4);
    EXPECT_EQ(back.m_level3Count.Get(), 5);
    EXPECT_EQ(result.m_activeProxy, back[1]);
    EXPECT_EQ(result.m_logText, "Loaded 3 proxies from the last tested result.\r\n"
                                "Set 5.6.7.8:8080 as current active proxy.\r\n");
    EXPECT_EQ(SavedList::ToBytes(back, Stamp), dir.Read(SavedList::FileName));
}

TEST(SavedList, TheLastActiveRecordWins) {
    ProxyList list;
    const auto result =
        SavedList::FromBytes(Header("", 3) + Record("1.1.1.1", "1", StatusActive) +
                                 Record("2.2.2.2", "2", StatusActive) + Record("3.3.3.3", "3", StatusReady),
                             list);
    ASSERT_EQ(list.GetSize(), 3u);
    EXPECT_EQ(result.m_activeProxy, list[1]);
}

TEST(SavedList, ForeignNewerOrMissingFilesLoadNothing) {
    TempDir dir;
    ProxyList list;
    list.m_level1Count.Set(9);
    EXPECT_FALSE(SavedList::LoadList(dir.Path(), list).m_loaded);

    const std::string records = Record("1.1.1.1", "1", StatusGood);
    for (const std::string& bytes : {Header(Stamp, 1, 1, 1, 1, "ORV Proxy list") + records,
                                     Header(Stamp, 1, 1, 1, 1, "ORV Proxy List", 102) + records,
                                     Header(Stamp, 1, 1, 1, 1, "ORV Proxy List", INT32_MAX) + records}) {
        dir.Write(SavedList::FileName, bytes);
        const auto result = SavedList::LoadList(dir.Path(), list);
        EXPECT_FALSE(result.m_loaded);
        EXPECT_EQ(result.m_logText, "");
        EXPECT_TRUE(list.IsEmpty());
        EXPECT_EQ(list.m_level1Count.Get(), 9);
    }
    dir.Write(SavedList::FileName, Header(Stamp, 1, 1, 1, 1, "ORV Proxy List", 99) + records);
    EXPECT_TRUE(SavedList::LoadList(dir.Path(), list).m_loaded);
    EXPECT_EQ(list.GetSize(), 1u);
}

TEST(SavedList, EveryTruncationLoadsOnlyWhatTheDataHolds) {
    ProxyList list;
    Add(list, "1.2.3.4:3128", StatusGood);
    Add(list, "5.6.7.8:8080", StatusActive);
    Add(list, "123.123.123.123:65535", StatusBad, TimedOut);
    const std::string bytes = SavedList::ToBytes(list, Stamp);
    const size_t headerSize = 55;
    const size_t recordStart[] = {55, 55 + 1 + 7 + 1 + 4 + 32, 55 + 2 * (1 + 7 + 1 + 4 + 32)};

    for (size_t length = 0; length <= bytes.size(); ++length) {
        ProxyList back;
        const auto result = SavedList::FromBytes(std::string_view(bytes).substr(0, length), back);
        EXPECT_EQ(result.m_loaded, length >= headerSize) << length;
        size_t present = 0; // records whose address and port lie inside the data
        for (size_t i = 0; i < 3; ++i)
            present += length >= recordStart[i] + 2 + strlen(list[i]->m_ip) + strlen(list[i]->m_port) ? 1 : 0;
        ASSERT_EQ(back.GetSize(), present) << length;
        for (size_t i = 0; i < present; ++i)
            EXPECT_EQ(back[i]->ProxyAddressText(), list[i]->ProxyAddressText()) << length;
        // The active record is only known once its status was read.
        EXPECT_EQ(result.m_activeProxy != nullptr, length >= recordStart[2]) << length;
    }
}

TEST(SavedList, ACountBeyondTheDataAndOverlongFieldsAreHandled) {
    ProxyList list;
    auto result = SavedList::FromBytes(
        Header("", 1000000) + Record("1.1.1.1", "1", StatusGood) + Record("1234567890123456", "1", StatusGood) +
            Record("2.2.2.2", "123456", StatusActive) + Record("3.3.3.3", "12345", StatusGood),
        list);
    ASSERT_EQ(list.GetSize(), 2u);
    EXPECT_EQ(list[1]->ProxyAddressText(), "3.3.3.3:12345");
    EXPECT_EQ(list[1]->m_index, 1u);
    EXPECT_EQ(result.m_activeProxy, nullptr); // the refused record never becomes active
    EXPECT_EQ(result.m_logText, "Loaded 2 proxies from the last tested result.\r\n");

    ProxyList negative;
    result = SavedList::FromBytes(Header("", -5) + Record("1.1.1.1", "1", StatusGood), negative);
    EXPECT_TRUE(result.m_loaded);
    EXPECT_TRUE(negative.IsEmpty());
}

TEST(SavedList, AFailedSaveKeepsTheOldFile) {
    TempDir dir;
    ProxyList small;
    Add(small, "1.2.3.4:3128", StatusGood);
    ASSERT_TRUE(SavedList::SaveList(dir.Path(), small, Stamp));
    const std::string old = dir.Read(SavedList::FileName);

    ProxyList big;
    for (int i = 0; i < 1000; ++i)
        Add(big, "10.0.0.1:8080", StatusGood);
    // A full disk: no file may grow beyond 1000 bytes.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved;
    limit.rlim_cur = 1000;
    setrlimit(RLIMIT_FSIZE, &limit);
    const bool written = SavedList::SaveList(dir.Path(), big, Stamp);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_FALSE(written);
    EXPECT_EQ(dir.Read(SavedList::FileName), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), std::filesystem::directory_iterator()), 1);
}

TEST(SavedList, AHugeFileThatIsNoListIsRefusedAtItsTitleUnread) {
    TempDir dir;
    dir.Write(SavedList::FileName, "");
    std::filesystem::resize_file(dir.File(SavedList::FileName), uint64_t{2} << 30); // 2 GiB of zeros
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    ProxyList list;
    const auto result = SavedList::LoadList(dir.Path(), list);
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_FALSE(result.m_loaded);
    EXPECT_EQ(result.m_damage, "its title is not \"ORV Proxy List\"");
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024); // kilobytes
}

} // namespace

TEST(SavedList, OtherKindsAndCredentialsAreVersion101ByteForByte) {
    const auto extras = [](int32_t kind, const std::string& user, const std::string& password) {
        return Int(kind) + Str(user) + Str(password);
    };
    ProxyList list;
    Add(list, "1.2.3.4:3128", StatusGood);
    Add(list, "5.6.7.8:1080", StatusBad, TimedOut)->SetKind(ProxyKind::Socks5);
    Add(list, "9.9.9.9:8080", StatusGood)->SetCredentials("alice", std::string(255, 'p'));
    const std::string expected = Header(Stamp, 3, 0, 0, 0, "ORV Proxy List", 101) +
                                 Record("1.2.3.4", "3128", StatusGood) + extras(0, "", "") +
                                 Record("5.6.7.8", "1080", StatusBad, TimedOut) + extras(2, "", "") +
                                 Record("9.9.9.9", "8080", StatusGood) + extras(0, "alice", std::string(255, 'p'));
    EXPECT_EQ(SavedList::ToBytes(list, Stamp), expected);

    TempDir dir;
    ASSERT_TRUE(SavedList::SaveList(dir.Path(), list, Stamp));
    EXPECT_EQ(dir.Read(SavedList::FileName), expected);
    // The file holds a password: its owner alone may read it.
    struct stat status {};
    ASSERT_EQ(::stat(dir.File(SavedList::FileName).c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);

    ProxyList loaded;
    const auto result = SavedList::LoadList(dir.Path(), loaded);
    EXPECT_EQ(result.m_damage, "");
    ASSERT_EQ(loaded.GetSize(), 3u);
    EXPECT_EQ(loaded[1]->Kind(), ProxyKind::Socks5);
    EXPECT_EQ(loaded[2]->m_credentials->m_password, std::string(255, 'p'));
    EXPECT_EQ(SavedList::ToBytes(loaded, Stamp), expected);

    // Back to HTTP without credentials: version 100 again, as it always was.
    loaded[1]->SetKind(ProxyKind::Http);
    loaded[2]->m_credentials.reset();
    EXPECT_EQ(SavedList::ToBytes(loaded, Stamp).substr(0, 20), Header(Stamp, 3).substr(0, 20));
}

TEST(SavedList, A101RecordWeCannotHoldIsDamageLikeA100One) {
    const std::string good = Record("1.1.1.1", "80", StatusGood) + Int(1) + Str("") + Str("");
    struct Case {
        std::string rest; // after a good first record
        std::string damage;
        size_t loaded;
    };
    const std::string second = Record("2.2.2.2", "80", StatusGood);
    const Case cases[] = {
        {second + Int(7) + Str("") + Str("") + good, "record 2 is damaged", 2},
        {second + Int(2) + Str("a\r\nb") + Str("") + good, "record 2 is damaged", 2},
        {second + Int(2) + Str("a") + Str(std::string(256, 'x')) + good, "record 2 is damaged", 2},
        // Cut inside the extras: the record is kept as far as it goes, as in version 100.
        {second + Int(2), "it ends after 1 of its 3 records", 2},
    };
    for (const Case& c : cases) {
        ProxyList list;
        const auto result =
            SavedList::FromBytes(Header(Stamp, 3, 0, 0, 0, "ORV Proxy List", 101) + good + c.rest, list);
        EXPECT_TRUE(result.m_loaded);
        EXPECT_EQ(result.m_damage, c.damage) << c.damage;
        ASSERT_EQ(list.GetSize(), c.loaded) << c.damage;
        EXPECT_EQ(list[0]->Kind(), ProxyKind::Socks4);
    }
}
