#pragma once

#include "ui/FrameView.h"

#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

// A window that records what the model asked of it. Safe to call from any thread.
class RecordingFrameView : public FrameView {
public:
    void RedrawRows(int32_t first, int32_t last) override {
        std::lock_guard<std::mutex> hold(m_lock);
        m_redrawn.emplace_back(first, last);
    }
    void RefreshListView() override { ++m_refreshes; }
    void StartTimer(int id, int periodMs) override {
        std::lock_guard<std::mutex> hold(m_lock);
        m_timers.emplace_back(id, periodMs);
    }
    void StopTimer(int id) override {
        std::lock_guard<std::mutex> hold(m_lock);
        m_timers.emplace_back(id, -1);
    }

    std::vector<std::pair<int32_t, int32_t>> Redrawn() {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_redrawn;
    }

    std::atomic<int> m_refreshes = 0;
    // (id, period) for each start, (id, -1) for each stop.
    std::vector<std::pair<int, int>> m_timers;

private:
    std::mutex m_lock;
    std::vector<std::pair<int32_t, int32_t>> m_redrawn;
};
