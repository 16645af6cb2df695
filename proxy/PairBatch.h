#pragma once

#include "proxy/ProxyKey.h"
#include "proxy/ProxyKeySet.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

// The pairs found, gathered so that their keys go into the set together (see
// ProxyKeySet::InsertMany), then handed on in order when new.
class PairBatch {
public:
    static constexpr size_t Capacity = 256;

    PairBatch(ProxyKeySet& seen, const std::function<void(std::string_view)>& found) : m_seen(seen), m_found(found) {}

    // A pair has at most 21 characters: 15 of address, a separator, 5 of port.
    void Add(std::string_view address, char separator, std::string_view port) {
        Pair& pair = m_pairs[m_count];
        char* end = std::copy(address.begin(), address.end(), pair.text);
        *end++ = separator;
        end = std::copy(port.begin(), port.end(), end);
        pair.length = static_cast<uint8_t>(end - pair.text);
        // The key is taken before a blank becomes a colon: "a.b.c.d p" and "a.b.c.d:p" are two records.
        m_keys[m_count] = ProxyKey(std::string_view(pair.text, pair.length));
        pair.text[address.size()] = ':';
        if (++m_count == Capacity)
            Flush();
    }

    void Flush() {
        m_seen.InsertMany(std::span(m_keys, m_count), std::span(m_isNew, m_count));
        for (size_t i = 0; i < m_count; ++i) {
            if (!m_isNew[i])
                continue;
            m_found(std::string_view(m_pairs[i].text, m_pairs[i].length));
        }
        m_count = 0;
    }

private:
    struct Pair {
        char text[24];
        uint8_t length;
    };

    ProxyKeySet& m_seen;
    const std::function<void(std::string_view)>& m_found;
    Pair m_pairs[Capacity];
    int64_t m_keys[Capacity];
    bool m_isNew[Capacity];
    size_t m_count = 0;
};
