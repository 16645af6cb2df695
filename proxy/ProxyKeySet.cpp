#include "proxy/ProxyKeySet.h"

#include "proxy/HugePages.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <new>
#include <utility>

namespace {

constexpr size_t InitialCapacity = 1024;
// How far ahead of the insertion InsertMany prefetches.
constexpr size_t PrefetchDistance = 16;

int64_t* NewSlots(size_t capacity) {
    // calloc hands large blocks over as fresh zero pages.
    auto* slots = static_cast<int64_t*>(std::calloc(capacity, sizeof(int64_t)));
    if (!slots)
        throw std::bad_alloc();
    AdviseHugePages(slots, capacity * sizeof(int64_t));
    return slots;
}

} // namespace

void ProxyKeySet::Free::operator()(int64_t* slots) const {
    std::free(slots);
}

ProxyKeySet::ProxyKeySet() : m_slots(NewSlots(InitialCapacity)) {
    m_capacity = InitialCapacity;
    m_shift = 64 - static_cast<unsigned>(std::countr_zero(InitialCapacity));
}

size_t ProxyKeySet::SlotOf(int64_t key) const {
    // The keys are decimal folds whose low bits vary little: the multiply spreads every bit into the
    // high ones, which pick the slot.
    return static_cast<size_t>((static_cast<uint64_t>(key) * 0x9E3779B97F4A7C15ULL) >> m_shift);
}

void ProxyKeySet::Reserve(size_t more) {
    if ((m_count + more) * 2 <= m_capacity)
        return;
    size_t capacity = m_capacity;
    unsigned shift = m_shift;
    while ((m_count + more) * 2 > capacity) {
        capacity *= 2;
        --shift;
    }
    // Allocated first: when memory runs out, the set stays as it was.
    std::unique_ptr<int64_t[], Free> old(NewSlots(capacity));
    std::swap(old, m_slots);
    const size_t oldCapacity = std::exchange(m_capacity, capacity);
    m_shift = shift;
    // The keys move in groups whose new slots are prefetched together.
    constexpr size_t Group = 16;
    int64_t moving[Group];
    size_t count = 0;
    for (size_t i = 0; i < oldCapacity; ++i) {
        if (old[i] == 0)
            continue;
        moving[count++] = old[i];
        __builtin_prefetch(&m_slots[SlotOf(old[i])], 1);
        if (count == Group) {
            for (int64_t key : moving)
                Place(key);
            count = 0;
        }
    }
    for (size_t i = 0; i < count; ++i)
        Place(moving[i]);
}

void ProxyKeySet::Place(int64_t key) {
    size_t slot = SlotOf(key);
    while (m_slots[slot] != 0)
        slot = (slot + 1) & (m_capacity - 1);
    m_slots[slot] = key;
}

bool ProxyKeySet::InsertAt(int64_t key, size_t slot) {
    if (key == 0) {
        const bool isNew = !m_hasZero;
        m_hasZero = true;
        return isNew;
    }
    for (;; slot = (slot + 1) & (m_capacity - 1)) {
        if (m_slots[slot] == key)
            return false;
        if (m_slots[slot] == 0) {
            m_slots[slot] = key;
            ++m_count;
            return true;
        }
    }
}

bool ProxyKeySet::Insert(int64_t key) {
    Reserve(1);
    return InsertAt(key, SlotOf(key));
}

void ProxyKeySet::InsertMany(std::span<const int64_t> keys, std::span<bool> isNew) {
    Reserve(keys.size());
    for (size_t i = 0; i < std::min(PrefetchDistance, keys.size()); ++i)
        __builtin_prefetch(&m_slots[SlotOf(keys[i])]);
    for (size_t i = 0; i < keys.size(); ++i) {
        if (i + PrefetchDistance < keys.size())
            __builtin_prefetch(&m_slots[SlotOf(keys[i + PrefetchDistance])]);
        isNew[i] = InsertAt(keys[i], SlotOf(keys[i]));
    }
}
