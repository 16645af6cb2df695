#pragma once

#include "proxy/BlockArray.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// The set of ProxyKeys seen during one parse: a bitwise trie over the key's bits, least significant
// bit first. An inner node picks its child by the key's bit at the node's depth (0 first, 1 second);
// a leaf holds one key. Nodes live in large blocks, so a million keys cost a few allocations and the
// tree is freed block by block; walks are loops, never recursion.
class KeyTree {
public:
    KeyTree() { m_nodes.push_back({0, 0}); }

    // Adds the key; true when it was not in the tree yet.
    bool Insert(int64_t key) { return InsertFrom(key, {0, 0}, 0); }
    // The same as calling Insert for each key in turn, isNew[i] taking the result for keys[i]. The
    // walks of a few keys are interleaved so that their cache misses overlap: a large tree is
    // mostly cache misses.
    void InsertMany(std::span<const int64_t> keys, std::span<bool> isNew);
    // Empties the tree and frees its nodes.
    void Clear();
    size_t GetCount() const { return m_keys.size(); }

private:
    // A slot holds 0 (empty), an odd number (leaf: index into m_keys * 2 + 1) or an even non-zero
    // number (inner node: index into m_nodes * 2). Node 0 only holds the root slot.
    using Slot = uint32_t;
    struct Place {
        uint32_t node;
        uint32_t side;
    };

    Slot& At(Place place) { return m_nodes[place.node][place.side]; }
    // Goes on with an insertion whose walk has reached place at depth.
    bool InsertFrom(int64_t key, Place place, unsigned depth);
    Slot NewLeaf(int64_t key);
    Slot NewNode();

    BlockArray<std::array<Slot, 2>> m_nodes;
    BlockArray<int64_t> m_keys;
    // Where walks reach the depth ShortcutDepth, by the key's bits below it. Inner nodes are never
    // removed, so once a walk has passed that depth, every later key with the same low bits can
    // start there instead of at the root.
    static constexpr unsigned ShortcutDepth = 14;
    static constexpr uint64_t ShortcutMask = (uint64_t{1} << ShortcutDepth) - 1;
    std::vector<Place> m_shortcuts;
};
