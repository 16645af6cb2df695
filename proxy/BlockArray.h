#pragma once

#include <cstddef>
#include <memory>
#include <vector>

// An array that grows by whole blocks: growing never moves or copies what it holds.
template <typename T, unsigned BlockBits = 12> class BlockArray {
public:
    static constexpr size_t BlockSize = size_t{1} << BlockBits;

    T& operator[](size_t index) { return m_blocks[index >> BlockBits][index & (BlockSize - 1)]; }
    const T& operator[](size_t index) const { return m_blocks[index >> BlockBits][index & (BlockSize - 1)]; }
    size_t size() const { return m_size; }

    // Appends the value and returns its index.
    size_t push_back(const T& value) {
        if (m_size == m_blocks.size() * BlockSize)
            m_blocks.push_back(std::make_unique_for_overwrite<T[]>(BlockSize));
        (*this)[m_size] = value;
        return m_size++;
    }

    void clear() {
        m_blocks.clear();
        m_blocks.shrink_to_fit();
        m_size = 0;
    }

private:
    std::vector<std::unique_ptr<T[]>> m_blocks;
    size_t m_size = 0;
};
