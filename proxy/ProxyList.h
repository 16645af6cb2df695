#pragma once

#include "proxy/LevelCounter.h"
#include "proxy/ProxyItem.h"

#include <functional>
#include <memory>
#include <vector>

// The frame's ordered, owning array of records and the three level counters.
// Order and membership change only on the window's thread while no test runs; workers address
// records by position.
class ProxyList {
public:
    LevelCounter m_level1Count;
    LevelCounter m_level2Count;
    LevelCounter m_level3Count;

    // The counter of anonymity level 1, 2 or 3; none for any other value (untested, failed).
    LevelCounter* CounterOf(int32_t level) {
        LevelCounter* counters[] = {&m_level1Count, &m_level2Count, &m_level3Count};
        return level >= 1 && level <= 3 ? counters[level - 1] : nullptr;
    }

    size_t GetSize() const { return m_items.size(); }
    bool IsEmpty() const { return m_items.empty(); }
    ProxyItem* GetAt(size_t position) const { return m_items[position].get(); }
    ProxyItem* operator[](size_t position) const { return m_items[position].get(); }

    ProxyItem* Append(std::unique_ptr<ProxyItem> item);
    // Room for count records in all, so that a long list grows without copying its array.
    void Reserve(size_t count) { m_items.reserve(count); }
    void RemoveAt(size_t position);
    // Deletes every record for which the predicate holds, keeping the order of the others;
    // one pass, so that deleting many records of a long list stays linear. Returns the number deleted.
    size_t RemoveIf(const std::function<bool(const ProxyItem&)>& doomed);
    void RemoveAll();
    void RenumberList();
    // Reorders the array; the permutation holds every position exactly once.
    void Reorder(const std::vector<uint32_t>& newOrder);

private:
    std::vector<std::unique_ptr<ProxyItem>> m_items;
};
