#pragma once

#include "app/FrameView.h"

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
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
    void StartTimer(TimerId id, int periodMs) override {
        std::lock_guard<std::mutex> hold(m_lock);
        m_timers.emplace_back(id, periodMs);
    }
    void StopTimer(TimerId id) override {
        std::lock_guard<std::mutex> hold(m_lock);
        m_timers.emplace_back(id, -1);
    }
    std::vector<uint32_t> SelectedRows() override { return m_selected; }
    int64_t FirstSelectedRow() override { return m_selected.empty() ? -1 : m_selected.front(); }
    void ShowPanelUpdates(const std::vector<PanelUpdate>& updates) override {
        for (const PanelUpdate& update : updates)
            m_panel[update.first] = update.second;
    }
    void ShowBalloon(const std::string& text, const std::string& title, BalloonIcon icon, int seconds) override {
        std::lock_guard<std::mutex> hold(m_lock);
        m_balloons.push_back(text + "|" + title + "|" + std::to_string(static_cast<int>(icon)) + "|" +
                             std::to_string(seconds));
    }
    void AnimateTray(bool animate) override { m_trayAnimated = animate; }

    // Kept until the test, acting as the window's thread, runs them.
    void PostToWindow(std::function<void()> work) override {
        std::lock_guard<std::mutex> hold(m_postedLock);
        m_posted.push_back(std::move(work));
    }
    // Runs what was posted so far, in order; returns how many.
    size_t RunPosted() {
        std::vector<std::function<void()>> posted;
        {
            std::lock_guard<std::mutex> hold(m_postedLock);
            posted.swap(m_posted);
        }
        for (auto& work : posted)
            work();
        return posted.size();
    }

    std::vector<std::pair<int32_t, int32_t>> Redrawn() {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_redrawn;
    }
    std::vector<std::pair<TimerId, int>> Timers() {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_timers;
    }
    // "text|title|icon|seconds" for each balloon, the icon as its number.
    std::vector<std::string> Balloons() {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_balloons;
    }

    std::atomic<int> m_refreshes = 0;
    // (id, period) for each start, (id, -1) for each stop.
    std::vector<std::pair<TimerId, int>> m_timers;
    // What the test selected, ascending.
    std::vector<uint32_t> m_selected;
    // The panel's elements as the last updates left them.
    std::map<std::string, std::string> m_panel;
    bool m_trayAnimated = false;

private:
    std::mutex m_lock;
    std::vector<std::pair<int32_t, int32_t>> m_redrawn;
    std::vector<std::string> m_balloons;
    // Apart from m_lock, so that the recording adds no order between threads beyond the hand-over.
    std::mutex m_postedLock;
    std::vector<std::function<void()>> m_posted;
};
