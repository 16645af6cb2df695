#pragma once

#include "app/FrameView.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

// A window that is not there, with the window's thread played by whoever calls Run: it sleeps until a timer
// is due or work is posted, as the real one does. The command line's switch and check run a frame on it.
class LoopFrameView : public FrameView {
public:
    using Clock = std::chrono::steady_clock;

    // Timers go to onTimer; none set drops them.
    std::function<void(TimerId)> m_onTimer;
    long m_wakeups = 0;
    long m_timerFirings = 0;

    void RedrawRows(int32_t, int32_t) override {}
    void RefreshListView() override {}
    void StartTimer(TimerId id, int periodMs) override {
        std::lock_guard<std::mutex> hold(m_lock);
        m_timers[id] = {Clock::now() + std::chrono::milliseconds(periodMs), periodMs};
        m_wake.notify_all();
    }
    void StopTimer(TimerId id) override {
        std::lock_guard<std::mutex> hold(m_lock);
        m_timers.erase(id);
    }
    void ShowBalloon(const std::string&, const std::string&, BalloonIcon, int) override {}
    void PostToWindow(std::function<void()> work) override {
        std::lock_guard<std::mutex> hold(m_lock);
        m_posted.push_back(std::move(work));
        m_wake.notify_all();
    }
    std::vector<uint32_t> SelectedRows() override { return {}; }
    int64_t FirstSelectedRow() override { return -1; }
    void ShowPanelUpdates(const std::vector<PanelUpdate>&) override {}
    void AnimateTray(bool) override {}

    // Runs the loop until done() holds (true) or end passes (false).
    bool Run(const std::function<bool()>& done, Clock::time_point end) {
        while (!done()) {
            if (Clock::now() >= end)
                return false;
            std::vector<std::function<void()>> posted;
            std::vector<TimerId> due;
            {
                std::unique_lock<std::mutex> hold(m_lock);
                m_wake.wait_until(hold, std::min(end, NextDeadline()),
                                  [&] { return !m_posted.empty() || Clock::now() >= NextDeadline(); });
                ++m_wakeups;
                posted.swap(m_posted);
                for (auto& [id, timer] : m_timers) {
                    if (Clock::now() < timer.first)
                        continue;
                    due.push_back(id);
                    timer.first = Clock::now() + std::chrono::milliseconds(timer.second);
                }
            }
            for (auto& work : posted)
                work();
            for (TimerId id : due) {
                ++m_timerFirings;
                if (m_onTimer)
                    m_onTimer(id);
            }
        }
        return true;
    }

private:
    Clock::time_point NextDeadline() const {
        Clock::time_point next = Clock::time_point::max();
        for (const auto& [id, timer] : m_timers)
            next = std::min(next, timer.first);
        return next;
    }

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::map<TimerId, std::pair<Clock::time_point, int>> m_timers;
    std::vector<std::function<void()>> m_posted;
};
