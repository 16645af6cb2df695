#include "proxy/KeyTree.h"

#include <algorithm>
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
    return static_cast<Slot>(m_keys.push_back(key) * 2 + 1);
}

KeyTree::Slot KeyTree::NewNode() {
    if (m_nodes.size() >= MaxIndex)
        throw std::bad_alloc();
    return static_cast<Slot>(m_nodes.push_back({0, 0}) * 2);
}

bool KeyTree::InsertFrom(int64_t key, Place place, unsigned depth) {
    const auto bits = static_cast<uint64_t>(key);
    // Two different keys differ in one of their 64 bits, so the walk ends within 64 levels.
    for (;; ++depth) {
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

void KeyTree::InsertMany(std::span<const int64_t> keys, std::span<bool> isNew) {
    constexpr size_t Group = 32;
    // Small trees, the usual case, do without shortcuts: their upper levels are not full yet.
    if (m_shortcuts.empty() && m_keys.size() > ShortcutMask)
        m_shortcuts.resize(ShortcutMask + 1, Place{0, 0});
    const bool shortcuts = !m_shortcuts.empty();
    Place places[Group];
    unsigned depths[Group];
    bool walking[Group];
    for (size_t first = 0; first < keys.size(); first += Group) {
        const size_t count = std::min(Group, keys.size() - first);
        // Walk every key of the group down to its first empty slot or leaf, one level per key in turn,
        // prefetching the node each key needs next. Nothing changes the tree meanwhile.
        for (size_t i = 0; i < count; ++i) {
            const Place shortcut =
                shortcuts ? m_shortcuts[static_cast<uint64_t>(keys[first + i]) & ShortcutMask] : Place{0, 0};
            places[i] = shortcut;
            depths[i] = shortcut.node ? ShortcutDepth : 0;
            walking[i] = true;
        }
        for (bool moved = true; moved;) {
            moved = false;
            for (size_t i = 0; i < count; ++i) {
                if (!walking[i])
                    continue;
                const Slot slot = At(places[i]);
                if (slot == 0 || (slot & 1)) {
                    walking[i] = false;
                    if (slot & 1)
                        __builtin_prefetch(&m_keys[slot / 2]);
                    continue;
                }
                __builtin_prefetch(&m_nodes[slot / 2]);
                const auto key = static_cast<uint64_t>(keys[first + i]);
                places[i] = {slot / 2, Bit(key, depths[i]++)};
                if (shortcuts && depths[i] == ShortcutDepth)
                    m_shortcuts[key & ShortcutMask] = places[i];
                moved = true;
            }
        }
        // Finish the insertions in order. An earlier key of the group can only have filled or split
        // the slot a later key reached, never the inner nodes above it, so each walk resumes there.
        for (size_t i = 0; i < count; ++i)
            isNew[first + i] = InsertFrom(keys[first + i], places[i], depths[i]);
    }
}

void KeyTree::Clear() {
    m_nodes.clear();
    m_nodes.push_back({0, 0});
    m_keys.clear();
    m_shortcuts.clear();
    m_shortcuts.shrink_to_fit();
}
