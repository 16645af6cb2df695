#pragma once

#include <atomic>
#include <cstdint>

// A 32-bit field that one thread writes while another reads it, with no ordering between them:
// workers store results that the window paints. Reads and writes are single relaxed accesses,
// so a reader sees either the old or the new value and the code reads like a plain field.
class RelaxedInt32 {
public:
    constexpr RelaxedInt32(int32_t value = 0) noexcept : m_value(value) {}
    RelaxedInt32(const RelaxedInt32& other) noexcept : m_value(other.load()) {}
    RelaxedInt32& operator=(const RelaxedInt32& other) noexcept {
        store(other.load());
        return *this;
    }
    RelaxedInt32& operator=(int32_t value) noexcept {
        store(value);
        return *this;
    }
    operator int32_t() const noexcept { return load(); }

    int32_t load() const noexcept { return m_value.load(std::memory_order_relaxed); }
    void store(int32_t value) noexcept { m_value.store(value, std::memory_order_relaxed); }

private:
    std::atomic<int32_t> m_value;
};
