#include "proxy/ProxySorter.h"

#include "proxy/ProxyCell.h"
#include "proxy/ProxyList.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <initializer_list>
#include <memory>

namespace ProxySorter {

namespace {

struct ColumnSort {
    const char* word;
    uint32_t bucketCount; // 0: quicksort
};

constexpr std::array<ColumnSort, ColumnCount> ColumnSorts = {{
    {"Status", 5},
    {"IP", 0},
    {"Port", 0},
    {"Speed", 0},
    {"Anonymity", 5},
    {"Country", 242},
    {"SSL", 4},
    {"Gateway", 4},
    {"Danger", 3},
    {"Codeen", 4},
}};

// As the C library's text-to-integer conversion: blanks, a sign, then the leading digits; 0 without
// digits. Wraps instead of overflowing.
uint32_t DecimalValue(const char* text) {
    while (std::isspace(static_cast<unsigned char>(*text)))
        ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    uint32_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        value = value * 10 + uint32_t(*text - '0');
    return negative ? 0u - value : value;
}

uint32_t AddressKey(const char* ip) {
    uint32_t key = 0;
    const char* part = ip;
    for (int i = 0; i < 4; ++i) {
        key = key << 8 | (part ? DecimalValue(part) : 0);
        part = part ? std::strchr(part, '.') : nullptr;
        if (part)
            ++part;
    }
    return key;
}

// Key of a value by its place in the listed values; unlisted values go after all of them.
uint32_t ListedKey(int32_t value, std::initializer_list<int32_t> listed) {
    uint32_t key = 1;
    for (int32_t candidate : listed) {
        if (value == candidate)
            return key;
        ++key;
    }
    return key;
}

uint32_t CountryKey(int32_t country) {
    if (country >= 0 && country <= 238)
        return uint32_t(country) + 1;
    if (country == -1)
        return 241;
    return country == Untested ? 242 : 243;
}

struct Entry {
    uint32_t key;
    uint32_t from;
};

// Minimum and maximum key over ranges of positions, for jumping over the long stretches that a
// partition would otherwise walk one record at a time. Leaves are only trusted inside ranges that
// were refreshed and changed through Update since.
class KeyRangeTree {
public:
    explicit KeyRangeTree(size_t count) {
        while (m_size < count || m_size < 2)
            m_size *= 2;
        m_min.assign(2 * m_size, UINT32_MAX);
        m_max.assign(2 * m_size, 0);
    }

    void Refresh(const std::vector<Entry>& entries, size_t low, size_t high) {
        for (size_t i = low; i <= high; ++i)
            SetLeaf(i, entries[i].key);
        for (size_t l = (low + m_size) / 2, h = (high + m_size) / 2; l >= 1; l /= 2, h /= 2) {
            for (size_t node = l; node <= h; ++node)
                Pull(node);
        }
    }

    void Update(size_t position, uint32_t key) {
        if (m_min[position + m_size] == key)
            return;
        SetLeaf(position, key);
        for (size_t node = (position + m_size) / 2; node >= 1; node /= 2)
            Pull(node);
    }

    // The last position in [low, high] whose key is below the limit, or -1.
    int64_t LastBelow(int64_t low, int64_t high, uint32_t limit) const {
        return low > high ? -1 : LastBelow(1, 0, int64_t(m_size) - 1, low, high, limit);
    }
    // The first position in [low, high] whose key is above the limit, or -1.
    int64_t FirstAbove(int64_t low, int64_t high, uint32_t limit) const {
        return low > high ? -1 : FirstAbove(1, 0, int64_t(m_size) - 1, low, high, limit);
    }

private:
    void SetLeaf(size_t position, uint32_t key) { m_min[position + m_size] = m_max[position + m_size] = key; }
    void Pull(size_t node) {
        m_min[node] = std::min(m_min[2 * node], m_min[2 * node + 1]);
        m_max[node] = std::max(m_max[2 * node], m_max[2 * node + 1]);
    }

    int64_t LastBelow(size_t node, int64_t from, int64_t to, int64_t low, int64_t high, uint32_t limit) const {
        if (to < low || from > high || m_min[node] >= limit)
            return -1;
        if (from == to)
            return from;
        const int64_t middle = (from + to) / 2;
        const int64_t right = LastBelow(2 * node + 1, middle + 1, to, low, high, limit);
        return right >= 0 ? right : LastBelow(2 * node, from, middle, low, high, limit);
    }

    int64_t FirstAbove(size_t node, int64_t from, int64_t to, int64_t low, int64_t high, uint32_t limit) const {
        if (to < low || from > high || m_max[node] <= limit)
            return -1;
        if (from == to)
            return from;
        const int64_t middle = (from + to) / 2;
        const int64_t left = FirstAbove(2 * node, from, middle, low, high, limit);
        return left >= 0 ? left : FirstAbove(2 * node + 1, middle + 1, to, low, high, limit);
    }

    size_t m_size = 1;
    std::vector<uint32_t> m_min;
    std::vector<uint32_t> m_max;
};

// The quicksort: while low < high, partition, sort the part below the pivot, go on above it.
// Ranges are independent, so they are kept on a stack instead of the call stack.
//
// Many equal keys (one port for half the list, a mass of untested delays) make most partitions
// split off a record or two after walking the whole range, which is quadratic. Once a range splits
// that unevenly, its parts walk with the key tree instead: a partition then costs the records it
// moves, not the records it passes, and the result stays the same record for record.
class QuickSorter {
public:
    explicit QuickSorter(std::vector<Entry>& entries) : m_entries(entries) {}

    void Sort() {
        if (m_entries.size() < 2)
            return;
        std::vector<Task> tasks = {{0, int64_t(m_entries.size()) - 1, false}};
        while (!tasks.empty()) {
            const Task task = tasks.back();
            tasks.pop_back();
            if (task.low >= task.high)
                continue;
            const int64_t p =
                task.byTree ? Partition<true>(task.low, task.high) : Partition<false>(task.low, task.high);
            const int64_t length = task.high - task.low + 1;
            const bool uneven = length >= SmallRange && std::min(p - task.low, task.high - p) <= length / 64;
            if (uneven && !task.byTree)
                Tree().Refresh(m_entries, size_t(task.low), size_t(task.high));
            // The shorter part first keeps the stack short.
            const Task below = {task.low, p - 1, uneven};
            const Task above = {p + 1, task.high, uneven};
            const bool belowShorter = p - task.low < task.high - p;
            tasks.push_back(belowShorter ? above : below);
            tasks.push_back(belowShorter ? below : above);
        }
    }

private:
    struct Task {
        int64_t low;
        int64_t high;
        bool byTree;
    };
    // Below this length a plain walk is cheaper than the tree.
    static constexpr int64_t SmallRange = 128;

    KeyRangeTree& Tree() {
        if (!m_tree)
            m_tree = std::make_unique<KeyRangeTree>(m_entries.size());
        return *m_tree;
    }

    template <bool ByTree> void Put(int64_t position, const Entry& entry) {
        m_entries[size_t(position)] = entry;
        if constexpr (ByTree)
            m_tree->Update(size_t(position), entry.key);
    }

    template <bool ByTree> void Swap(int64_t a, int64_t b) {
        const Entry first = m_entries[size_t(a)];
        Put<ByTree>(a, m_entries[size_t(b)]);
        Put<ByTree>(b, first);
    }

    uint32_t Key(int64_t position) const { return m_entries[size_t(position)].key; }

    // The median of the keys at low, mid and high becomes the pivot at low.
    template <bool ByTree> void ChooseMedian(int64_t low, int64_t high) {
        const int64_t mid = low + (high - low) / 2;
        const uint32_t a = Key(low), b = Key(mid), c = Key(high);
        if (a > b) {
            if (a <= c)
                return;
            Swap<ByTree>(low, b <= c ? high : mid);
        } else {
            if (a >= c)
                return;
            Swap<ByTree>(low, b >= c ? high : mid);
        }
    }

    template <bool ByTree> int64_t Partition(int64_t low, int64_t high) {
        if (high - low >= 6)
            ChooseMedian<ByTree>(low, high);
        const Entry pivot = m_entries[size_t(low)];
        const uint32_t kp = pivot.key;
        int64_t i = low;
        int64_t j = high;
        while (i < j) {
            if constexpr (ByTree) {
                const int64_t below = m_tree->LastBelow(i + 1, j, kp);
                j = below < 0 ? i : below;
            } else {
                while (i < j && Key(j) >= kp)
                    --j;
            }
            Put<ByTree>(i, m_entries[size_t(j)]);
            if constexpr (ByTree) {
                const int64_t above = m_tree->FirstAbove(i, j - 1, kp);
                i = above < 0 ? j : above;
            } else {
                while (i < j && Key(i) <= kp)
                    ++i;
            }
            Put<ByTree>(j, m_entries[size_t(i)]);
        }
        Put<ByTree>(i, pivot);
        return i;
    }

    std::vector<Entry>& m_entries;
    std::unique_ptr<KeyRangeTree> m_tree;
};

std::vector<Entry> Entries(const std::vector<uint32_t>& keys) {
    std::vector<Entry> entries(keys.size());
    for (size_t i = 0; i < keys.size(); ++i)
        entries[i] = {keys[i], uint32_t(i)};
    return entries;
}

} // namespace

uint32_t SortKey(const ProxyItem& item, int32_t column) {
    switch (column) {
    case ColumnStatus:
        return ListedKey(item.m_status, {StatusActive, StatusReady, StatusGood, StatusUnknown, StatusBad});
    case ColumnProxy:
        return AddressKey(item.m_ip);
    case ColumnPort:
        return DecimalValue(item.m_port);
    case ColumnDelay: {
        // Unsigned: measured delays first, then TimedOut (-2), then Untested (-1) together with the
        // negative values only a damaged saved list holds.
        const int32_t delay = item.m_delay;
        if (delay == TimedOut)
            return uint32_t(-2);
        return delay < 0 ? uint32_t(-1) : uint32_t(delay);
    }
    case ColumnAnonymity:
        return ListedKey(item.m_anonymity, {1, 2, 3, TimedOut, Untested});
    case ColumnCountry:
        return CountryKey(item.m_country);
    case ColumnHttps:
        return ListedKey(item.m_https, {1, 0, TimedOut, Untested});
    case ColumnGateway:
        return ListedKey(item.m_gateway, {0, 1, TimedOut, Untested});
    case ColumnDanger:
        return ListedKey(item.m_danger, {0, 1, Untested});
    case ColumnCodeen:
        return ListedKey(item.m_codeen, {0, 1, TimedOut, Untested});
    default:
        return 0;
    }
}

std::vector<uint32_t> CountingSortByKey(const std::vector<uint32_t>& keys, uint32_t bucketCount) {
    // Bucket k - 1 for key k and one more after them for any other key. After the running totals
    // each bucket holds the end of its stretch, filled from the last record backwards so that equal
    // keys keep their order.
    auto bucketOf = [bucketCount](uint32_t key) { return key >= 1 && key <= bucketCount ? key - 1 : bucketCount; };
    std::vector<uint32_t> totals(size_t(bucketCount) + 1, 0);
    for (uint32_t key : keys)
        ++totals[bucketOf(key)];
    for (size_t bucket = 1; bucket < totals.size(); ++bucket)
        totals[bucket] += totals[bucket - 1];
    std::vector<uint32_t> order(keys.size());
    for (size_t i = keys.size(); i-- > 0;)
        order[--totals[bucketOf(keys[i])]] = uint32_t(i);
    return order;
}

std::vector<uint32_t> QuickSortByKey(const std::vector<uint32_t>& keys) {
    std::vector<Entry> entries = Entries(keys);
    QuickSorter(entries).Sort();
    std::vector<uint32_t> order(entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        order[i] = entries[i].from;
    return order;
}

std::string SortByColumn(ProxyList& list, int32_t column) {
    if (column < 0 || size_t(column) >= ColumnSorts.size())
        return {};
    const ColumnSort& sort = ColumnSorts[size_t(column)];
    // Records lie scattered over the heap once the list has been sorted; fetching a few ahead keeps
    // the key pass from waiting on memory for every record.
    constexpr size_t Ahead = 16;
    std::vector<uint32_t> keys(list.GetSize());
    for (size_t i = 0; i < keys.size(); ++i) {
        if (i + Ahead < keys.size())
            __builtin_prefetch(list[i + Ahead]);
        keys[i] = SortKey(*list[i], column);
    }
    list.Reorder(sort.bucketCount ? CountingSortByKey(keys, sort.bucketCount) : QuickSortByKey(keys));
    list.RenumberList();
    return std::string("Sorted the list by the \"") + sort.word + "\" of the proxies.\r\n";
}

} // namespace ProxySorter
