#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// The set of ProxyKeys seen during one parse: a bitwise trie over the key's bits, least significant
// bit first. An inner node picks its child by the key's bit at the node's depth (0 first, 1 second);
// a leaf holds one key. Nodes live in one array, so a million keys cost a few allocations and the
// tree is freed at once; walks are loops, never recursion.
class KeyTree {
public:
    // Adds the key; true when it was not in the tree yet.
    bool Insert(int64_t key);
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
    Slot NewLeaf(int64_t key);
    Slot NewNode();

    std::vector<std::array<Slot, 2>> m_nodes{{0, 0}};
    std::vector<int64_t> m_keys;
};
