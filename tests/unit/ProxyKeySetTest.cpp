#include "proxy/KeyTree.h"
#include "proxy/ProxyKey.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <unordered_set>

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

TEST(KeyTree, ReportsNewAndPresentKeys) {
    KeyTree tree;
    EXPECT_TRUE(tree.Insert(42));
    EXPECT_FALSE(tree.Insert(42));
    EXPECT_TRUE(tree.Insert(-42));
    EXPECT_TRUE(tree.Insert(0));
    EXPECT_FALSE(tree.Insert(0));
    EXPECT_EQ(tree.GetCount(), 3u);
}

TEST(KeyTree, KeysSharingLowBitsAreKeptApart) {
    KeyTree tree;
    // Equal up to bit 40, then up to bit 63: long chains of inner nodes.
    const int64_t base = 0x123456789ALL;
    EXPECT_TRUE(tree.Insert(base));
    EXPECT_TRUE(tree.Insert(base + (int64_t{1} << 40)));
    EXPECT_TRUE(tree.Insert(base + (int64_t{1} << 41)));
    EXPECT_TRUE(tree.Insert(0));
    EXPECT_TRUE(tree.Insert(INT64_MIN));
    EXPECT_TRUE(tree.Insert(-1));
    EXPECT_TRUE(tree.Insert(INT64_MAX));
    for (int64_t key :
         {base, base + (int64_t{1} << 40), base + (int64_t{1} << 41), int64_t{0}, INT64_MIN, int64_t{-1}, INT64_MAX})
        EXPECT_FALSE(tree.Insert(key)) << key;
}

TEST(KeyTree, AgreesWithAHashSetOnManyKeys) {
    KeyTree tree;
    std::unordered_set<int64_t> reference;
    std::mt19937_64 random(7);
    for (int i = 0; i < 200000; ++i) {
        // Few distinct high parts and low parts, so that keys repeat and share long runs of bits.
        const int64_t key = static_cast<int64_t>((random() % 512) << 50 | (random() % 4096));
        ASSERT_EQ(tree.Insert(key), reference.insert(key).second) << key;
    }
    EXPECT_EQ(tree.GetCount(), reference.size());
}

TEST(KeyTree, InsertManyAnswersAsInsertsInTurn) {
    // Enough keys to fill the upper levels completely, repeats within one batch, and batches of odd
    // sizes; each batch goes to InsertMany in one tree and key by key to Insert in the other.
    KeyTree many, single;
    std::mt19937_64 random(11);
    std::vector<int64_t> keys;
    for (int batch = 0; batch < 300; ++batch) {
        keys.resize(1 + random() % 1000);
        for (int64_t& key : keys)
            key =
                random() % 3 == 0 ? static_cast<int64_t>(random() % 64) << 40 : static_cast<int64_t>(random() % 300000);
        auto isNew = std::make_unique<bool[]>(keys.size());
        many.InsertMany(keys, std::span(isNew.get(), keys.size()));
        for (size_t i = 0; i < keys.size(); ++i)
            ASSERT_EQ(isNew[i], single.Insert(keys[i])) << "batch " << batch << " key " << keys[i];
    }
    EXPECT_EQ(many.GetCount(), single.GetCount());
}

TEST(KeyTree, ClearEmptiesTheTree) {
    KeyTree tree;
    tree.Insert(5);
    tree.Insert(7);
    tree.Clear();
    EXPECT_EQ(tree.GetCount(), 0u);
    EXPECT_TRUE(tree.Insert(5));
}
