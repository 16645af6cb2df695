#pragma once

#include "proxy/RelaxedInt32.h"

#include <mutex>

// One of the three level counters: workers increment it under its own lock, the window reads it
// at any time, the frame sets it while no test runs.
class LevelCounter {
public:
    void Increment() {
        std::lock_guard<std::mutex> hold(m_lock);
        m_value = m_value + 1;
    }
    void Set(int32_t value) { m_value = value; }
    int32_t Get() const { return m_value; }

private:
    std::mutex m_lock;
    RelaxedInt32 m_value = 0;
};
