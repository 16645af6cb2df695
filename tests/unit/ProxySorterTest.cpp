#include "proxy/ProxySorter.h"
#include "proxy/ProxyList.h"

#include <gtest/gtest.h>

#include <random>

using namespace ProxySorter;

namespace {

// The quicksort exactly as written down for the list, recursion and all: the oracle for the fast one.
struct ReferenceQuickSort {
    std::vector<uint32_t> keys;
    std::vector<uint32_t> order;

    explicit ReferenceQuickSort(std::vector<uint32_t> input) : keys(std::move(input)), order(keys.size()) {
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = uint32_t(i);
        if (!keys.empty())
            Sort(0, int64_t(keys.size()) - 1);
    }
    void Swap(int64_t a, int64_t b) {
        std::swap(keys[size_t(a)], keys[size_t(b)]);
        std::swap(order[size_t(a)], order[size_t(b)]);
    }
    void Copy(int64_t to, int64_t from) {
        keys[size_t(to)] = keys[size_t(from)];
        order[size_t(to)] = order[size_t(from)];
    }
    int64_t Partition(int64_t low, int64_t high) {
        if (high - low >= 6) {
            const int64_t mid = low + (high - low) / 2;
            const uint32_t a = keys[size_t(low)], b = keys[size_t(mid)], c = keys[size_t(high)];
            if (a > b) {
                if (a > c)
                    Swap(low, b <= c ? high : mid);
            } else if (a < c) {
                Swap(low, b >= c ? high : mid);
            }
        }
        const uint32_t kp = keys[size_t(low)];
        const uint32_t pivot = order[size_t(low)];
        int64_t i = low, j = high;
        while (i < j) {
            while (i < j && keys[size_t(j)] >= kp)
                --j;
            Copy(i, j);
            while (i < j && keys[size_t(i)] <= kp)
                ++i;
            Copy(j, i);
        }
        keys[size_t(i)] = kp;
        order[size_t(i)] = pivot;
        return i;
    }
    void Sort(int64_t low, int64_t high) {
        while (low < high) {
            const int64_t p = Partition(low, high);
            Sort(low, p - 1);
            low = p + 1;
        }
    }
};

ProxyItem* Add(ProxyList& list, const char* address) {
    ProxyItem* item = list.Append(std::make_unique<ProxyItem>());
    item->SetAddress(address);
    return item;
}

std::vector<std::string> Addresses(const ProxyList& list) {
    std::vector<std::string> addresses;
    for (size_t i = 0; i < list.GetSize(); ++i)
        addresses.push_back(list[i]->ProxyAddressText());
    return addresses;
}

} // namespace

TEST(ProxySorter, QuickSortOrdersEqualKeysAsItsPartitionLeavesThem) {
    // Worked by hand: the first partition moves the last 1 to the front and the first 2 behind the
    // other 2s but one.
    EXPECT_EQ(QuickSortByKey({2, 1, 2, 1, 2, 1, 2}), (std::vector<uint32_t>{5, 1, 3, 2, 4, 0, 6}));
    // Too short for the median of three: the pivot is the first record.
    EXPECT_EQ(QuickSortByKey({3, 1, 3, 2}), (std::vector<uint32_t>{1, 3, 2, 0}));
    EXPECT_EQ(QuickSortByKey({5, 1, 4, 2, 6, 3, 0}), (std::vector<uint32_t>{6, 1, 3, 5, 2, 0, 4}));
    EXPECT_EQ(QuickSortByKey({}), std::vector<uint32_t>{});
    EXPECT_EQ(QuickSortByKey({7}), std::vector<uint32_t>{0});
}

TEST(ProxySorter, QuickSortMatchesTheWrittenAlgorithmOnLongListsWithManyEqualKeys) {
    std::mt19937 random(7);
    auto check = [](const std::vector<uint32_t>& keys, const char* what) {
        EXPECT_EQ(QuickSortByKey(keys), ReferenceQuickSort(keys).order) << what << " " << keys.size();
    };
    for (uint32_t distinct : {1u, 2u, 3u, 5u, 40u, 1000u, 0u}) {
        std::vector<uint32_t> keys(3000);
        for (uint32_t& key : keys)
            key = distinct ? random() % distinct : random();
        check(keys, "random");
        std::sort(keys.begin(), keys.end());
        check(keys, "ascending");
        std::reverse(keys.begin(), keys.end());
        check(keys, "descending");
    }
    // Mostly one key with a few others scattered, and the extremes of the key range.
    std::vector<uint32_t> keys(4000, 0xFFFFFFFFu);
    for (size_t i = 0; i < keys.size(); i += 97)
        keys[i] = i % 3 == 0 ? 0xFFFFFFFEu : uint32_t(i);
    check(keys, "mostly untested");
}

TEST(ProxySorter, CountingSortIsStableAndPutsUnknownKeysLast) {
    EXPECT_EQ(CountingSortByKey({3, 1, 2, 1, 3, 2}, 3), (std::vector<uint32_t>{1, 3, 2, 5, 0, 4}));
    EXPECT_EQ(CountingSortByKey({4, 0, 1, 99, 2}, 3), (std::vector<uint32_t>{2, 4, 0, 1, 3}));
}

TEST(ProxySorter, KeysFollowTheColumns) {
    ProxyItem item;
    item.SetAddress("10.0.0.1:8080");
    EXPECT_EQ(SortKey(item, 1), 0x0A000001u);
    EXPECT_EQ(SortKey(item, 2), 8080u);
    item.SetAddress("1.2.3:08x");
    EXPECT_EQ(SortKey(item, 1), 0x01020300u);
    EXPECT_EQ(SortKey(item, 2), 8u);
    item.SetAddress("2.300.0.0:");
    EXPECT_EQ(SortKey(item, 1), 0x032C0000u); // a part above 255 is or-ed into the one before
    EXPECT_EQ(SortKey(item, 2), 0u);

    item.m_delay = Untested;
    EXPECT_EQ(SortKey(item, 3), 0xFFFFFFFFu);
    item.m_delay = TimedOut;
    EXPECT_EQ(SortKey(item, 3), 0xFFFFFFFEu);
    item.m_delay = -9;
    EXPECT_EQ(SortKey(item, 3), 0xFFFFFFFFu);
    item.m_delay = 0;
    EXPECT_EQ(SortKey(item, 3), 0u);
    item.m_country = 0;
    EXPECT_EQ(SortKey(item, 5), 1u);
    item.m_country = -1;
    EXPECT_EQ(SortKey(item, 5), 241u);
    item.m_country = Untested;
    EXPECT_EQ(SortKey(item, 5), 242u);
}

TEST(ProxySorter, DelayPutsMeasuredFirstThenTimeoutsThenUntested) {
    ProxyList list;
    const int32_t delays[] = {Untested, 250, TimedOut, 10, Untested, 4000};
    for (size_t i = 0; i < std::size(delays); ++i)
        Add(list, ("1.1.1." + std::to_string(i) + ":80").c_str())->m_delay = delays[i];
    EXPECT_EQ(SortByColumn(list, 3), "Sorted the list by the \"Speed\" of the proxies.\r\n");
    std::vector<int32_t> sorted;
    for (size_t i = 0; i < list.GetSize(); ++i) {
        sorted.push_back(list[i]->m_delay);
        EXPECT_EQ(list[i]->m_index, i);
    }
    EXPECT_EQ(sorted, (std::vector<int32_t>{10, 250, 4000, TimedOut, Untested, Untested}));
}

TEST(ProxySorter, AddressesSortAsNumbersAndPortsAsTheQuicksortLeavesThem) {
    ProxyList list;
    for (const char* address : {"10.0.0.1:80", "9.0.0.1:80", "100.0.0.1:80", "9.0.0.10:80", "9.0.0.2:80"})
        Add(list, address);
    EXPECT_EQ(SortByColumn(list, 1), "Sorted the list by the \"IP\" of the proxies.\r\n");
    EXPECT_EQ(Addresses(list),
              (std::vector<std::string>{"9.0.0.1:80", "9.0.0.2:80", "9.0.0.10:80", "10.0.0.1:80", "100.0.0.1:80"}));

    ProxyList ports;
    for (const char* address :
         {"1.0.0.1:8080", "1.0.0.2:80", "1.0.0.3:8080", "1.0.0.4:80", "1.0.0.5:8080", "1.0.0.6:80", "1.0.0.7:8080"})
        Add(ports, address);
    SortByColumn(ports, 2);
    EXPECT_EQ(Addresses(ports), (std::vector<std::string>{"1.0.0.6:80", "1.0.0.2:80", "1.0.0.4:80", "1.0.0.3:8080",
                                                          "1.0.0.5:8080", "1.0.0.1:8080", "1.0.0.7:8080"}));
}

TEST(ProxySorter, BucketColumnsKeepTheOrderOfEqualKeysAndPutDamagedValuesLast) {
    ProxyList list;
    const int32_t levels[] = {2, Untested, 1, 7, 2, TimedOut, 1, 3};
    for (size_t i = 0; i < std::size(levels); ++i)
        Add(list, ("1.1.1." + std::to_string(i) + ":80").c_str())->m_anonymity = levels[i];
    SortByColumn(list, 4);
    const std::vector<std::string> once = Addresses(list);
    EXPECT_EQ(once, (std::vector<std::string>{"1.1.1.2:80", "1.1.1.6:80", "1.1.1.0:80", "1.1.1.4:80", "1.1.1.7:80",
                                              "1.1.1.5:80", "1.1.1.1:80", "1.1.1.3:80"}));
    EXPECT_EQ(SortByColumn(list, 4), "Sorted the list by the \"Anonymity\" of the proxies.\r\n");
    EXPECT_EQ(Addresses(list), once);
}

TEST(ProxySorter, YesNoColumnsAndStatusOrder) {
    ProxyList list;
    const int32_t values[] = {0, Untested, 1, TimedOut, 0, 1};
    for (size_t i = 0; i < std::size(values); ++i) {
        ProxyItem* item = Add(list, ("1.1.1." + std::to_string(i) + ":80").c_str());
        item->m_https = values[i];
        item->m_gateway = values[i];
        item->m_status = int32_t(i % 5);
    }
    auto column = [&](int32_t index, RelaxedInt32 ProxyItem::*field) {
        SortByColumn(list, index);
        std::vector<int32_t> result;
        for (size_t i = 0; i < list.GetSize(); ++i)
            result.push_back((*list[i]).*field);
        return result;
    };
    EXPECT_EQ(column(6, &ProxyItem::m_https), (std::vector<int32_t>{1, 1, 0, 0, TimedOut, Untested}));
    EXPECT_EQ(column(7, &ProxyItem::m_gateway), (std::vector<int32_t>{0, 0, 1, 1, TimedOut, Untested}));
    EXPECT_EQ(column(0, &ProxyItem::m_status),
              (std::vector<int32_t>{StatusActive, StatusReady, StatusGood, StatusUnknown, StatusUnknown, StatusBad}));
}

TEST(ProxySorter, EveryColumnNamesItselfAndEmptyListsOnlyLog) {
    const char* words[] = {"Status",  "IP",  "Port",    "Speed",  "Anonymity",
                           "Country", "SSL", "Gateway", "Danger", "Codeen"};
    ProxyList list;
    for (int32_t column = 0; column < 10; ++column)
        EXPECT_EQ(SortByColumn(list, column),
                  std::string("Sorted the list by the \"") + words[column] + "\" of the proxies.\r\n");
    Add(list, "1.1.1.1:80");
    EXPECT_EQ(SortByColumn(list, 10), "");
    EXPECT_EQ(SortByColumn(list, -1), "");
}
