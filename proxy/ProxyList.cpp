#include "proxy/ProxyList.h"

#include <algorithm>

ProxyItem* ProxyList::Append(std::unique_ptr<ProxyItem> item) {
    m_items.push_back(std::move(item));
    return m_items.back().get();
}

void ProxyList::RemoveAt(size_t position) {
    m_items.erase(m_items.begin() + static_cast<ptrdiff_t>(position));
}

size_t ProxyList::RemoveIf(const std::function<bool(const ProxyItem&)>& doomed) {
    const auto end = std::remove_if(m_items.begin(), m_items.end(), [&](const auto& item) { return doomed(*item); });
    const auto removed = static_cast<size_t>(m_items.end() - end);
    m_items.erase(end, m_items.end());
    return removed;
}

void ProxyList::RemoveAll() {
    m_items.clear();
}

void ProxyList::RenumberList() {
    for (size_t i = 0; i < m_items.size(); ++i)
        m_items[i]->m_index = static_cast<uint32_t>(i);
}

void ProxyList::Reorder(const std::vector<uint32_t>& newOrder) {
    std::vector<std::unique_ptr<ProxyItem>> reordered;
    reordered.reserve(m_items.size());
    for (uint32_t from : newOrder)
        reordered.push_back(std::move(m_items[from]));
    m_items = std::move(reordered);
}
