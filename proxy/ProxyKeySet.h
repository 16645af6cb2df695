#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

// The set of ProxyKeys seen during one parse: open addressing with linear probing, kept at most half
// full so that probes stay short. A slot holding 0 is empty; the key 0 itself is kept in a flag.
class ProxyKeySet {
public:
    ProxyKeySet();

    // Adds the key; true when it was not in the set yet.
    bool Insert(int64_t key);
    // The same as calling Insert for each key in turn, isNew[i] taking the result for keys[i]. The
    // slots of the next few keys are prefetched, so that the cache misses of a large set overlap.
    void InsertMany(std::span<const int64_t> keys, std::span<bool> isNew);
    size_t GetCount() const { return m_count + m_hasZero; }

private:
    struct Free {
        void operator()(int64_t* slots) const;
    };

    size_t SlotOf(int64_t key) const;
    // Makes room for more keys without passing half full; probes stay valid until the next call.
    void Reserve(size_t more);
    // Places a non-zero key that is not in the set, starting at its slot.
    void Place(int64_t key);
    bool InsertAt(int64_t key, size_t slot);

    std::unique_ptr<int64_t[], Free> m_slots;
    size_t m_capacity = 0;
    unsigned m_shift = 64;
    size_t m_count = 0; // non-zero keys
    bool m_hasZero = false;
};
