#include "proxy/KeyTree.h"

#include <new>

namespace {

// Slots keep 31 bits of index beside the tag bit.
constexpr size_t MaxIndex = (size_t{1} << 31) - 1;

uint32_t Bit(uint64_t key, unsigned depth) {
    return static_cast<uint32_t>((key >> depth) & 1);
}

} // namespace

KeyTree::Slot KeyTree::NewLeaf(int64_t key) {
    if (m_keys.size() >= MaxIndex)
        throw std::bad_alloc();
    m_keys.push_back(key);
    return static_cast<Slot>((m_keys.size() - 1) * 2 + 1);
}

KeyTree::Slot KeyTree::NewNode() {
    if (m_nodes.size() >= MaxIndex)
        throw std::bad_alloc();
    m_nodes.push_back({0, 0});
    return static_cast<Slot>((m_nodes.size() - 1) * 2);
}

bool KeyTree::Insert(int64_t key) {
    const auto bits = static_cast<uint64_t>(key);
    Place place{0, 0};
    // Two different keys differ in one of their 64 bits, so the walk ends within 64 levels.
    for (unsigned depth = 0;; ++depth) {
        const Slot slot = At(place);
        if (slot == 0) {
            const Slot leaf = NewLeaf(key);
            At(place) = leaf;
            return true;
        }
        if (slot & 1) {
            const int64_t other = m_keys[slot / 2];
            if (other == key)
                return false;
            // Split: an inner node takes the leaf's place, the old leaf hangs on its own bit's side,
            // and the walk goes on below the new node.
            const Slot node = NewNode();
            m_nodes[node / 2][Bit(static_cast<uint64_t>(other), depth)] = slot;
            At(place) = node;
            place = {node / 2, Bit(bits, depth)};
            continue;
        }
        place = {slot / 2, Bit(bits, depth)};
    }
}

void KeyTree::Clear() {
    m_nodes.assign(1, {0, 0});
    m_nodes.shrink_to_fit();
    m_keys.clear();
    m_keys.shrink_to_fit();
}
