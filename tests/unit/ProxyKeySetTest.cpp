#include "proxy/ProxyKeySet.h"
#include "proxy/ProxyKey.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <random>
#include <unordered_set>
#include <vector>

TEST(ProxyKey, FoldsTheCharacterValuesInBaseTen) {
    EXPECT_EQ(ProxyKey("1.2"), 1 * 100 + 10 * 10 + 2);
    EXPECT_EQ(ProxyKey("1:2"), 1 * 100 + 11 * 10 + 2);
    EXPECT_EQ(ProxyKey("1 2"), 1 * 100 - 33 * 10 + 2);
    EXPECT_EQ(ProxyKey("A"), 0);
    EXPECT_EQ(ProxyKey("a"), 32);
    EXPECT_EQ(ProxyKey(""), 0);
}

TEST(ProxyKey, BlankAndColonFormsDiffer) {
    EXPECT_NE(ProxyKey("1.2.3.4 8080"), ProxyKey("1.2.3.4:8080"));
}

TEST(ProxyKey, OnlyTheFirst21CharactersCountAndTheFoldWraps) {
    // 10^21 - 1 taken modulo 2^64.
    EXPECT_EQ(ProxyKey("999999999999999999999"), 3875820019684212735LL);
    EXPECT_EQ(ProxyKey("999999999999999999999123"), ProxyKey("999999999999999999999"));
    EXPECT_EQ(ProxyKey("255.255.255.255:65535"), ProxyKey("255.255.255.255:655359"));
}

namespace {

// Keys that all start at the set's last slot whatever its size, so that probes run long and wrap: -i
// times the inverse of the odd multiplier that spreads the keys over the slots.
std::vector<int64_t> SameSlotKeys(int count) {
    uint64_t inverse = 0x9E3779B97F4A7C15ULL; // Newton's iteration for the inverse modulo 2^64
    for (int step = 0; step < 5; ++step)
        inverse *= 2 - 0x9E3779B97F4A7C15ULL * inverse;
    std::vector<int64_t> keys;
    for (int i = 1; i <= count; ++i)
        keys.push_back(static_cast<int64_t>(inverse * (0 - static_cast<uint64_t>(i))));
    keys.push_back(static_cast<int64_t>(inverse * (0 - uint64_t{3}))); // a repeat deep in the chain
    return keys;
}

std::vector<int64_t> RandomKeys(int count, uint64_t spread) {
    std::mt19937_64 random(11);
    std::vector<int64_t> keys;
    for (int i = 0; i < count; ++i)
        keys.push_back(static_cast<int64_t>(random() % spread) - static_cast<int64_t>(spread / 2));
    return keys;
}

} // namespace

TEST(ProxyKeySet, AnswersAsAHashSetKeyByKeyAndInBatches) {
    const struct {
        const char* name;
        std::vector<int64_t> keys;
    } cases[] = {
        {"the empty slot's value and the extremes", {0, 1, 0, -1, INT64_MIN, INT64_MAX, INT64_MIN, 1, -1, 0}},
        {"one chain through the whole set", SameSlotKeys(3000)},
        {"growth past a million slots, with repeats", RandomKeys(700000, 500000)},
    };
    for (const auto& c : cases) {
        // One set key by key, one in batches of odd sizes that end where growth must happen.
        ProxyKeySet single, batched;
        std::unordered_set<int64_t> reference;
        std::vector<bool> expected;
        for (int64_t key : c.keys) {
            expected.push_back(reference.insert(key).second);
            ASSERT_EQ(single.Insert(key), expected.back()) << c.name << ": " << key;
        }
        for (size_t first = 0, size = 1; first < c.keys.size(); first += size, size = size * 3 % 1000 + 1) {
            const size_t count = std::min(size, c.keys.size() - first);
            auto isNew = std::make_unique<bool[]>(count);
            batched.InsertMany(std::span(c.keys).subspan(first, count), std::span(isNew.get(), count));
            for (size_t i = 0; i < count; ++i)
                ASSERT_EQ(isNew[i], expected[first + i]) << c.name << ": " << c.keys[first + i];
        }
        EXPECT_EQ(single.GetCount(), reference.size()) << c.name;
        EXPECT_EQ(batched.GetCount(), reference.size()) << c.name;
    }
}
