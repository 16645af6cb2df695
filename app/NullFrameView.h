#pragma once

#include "app/FrameView.h"

// A window that is not there: runs without one (the command line, benchmarks) redraw, time and show nothing.
class NullFrameView : public FrameView {
public:
    void RedrawRows(int32_t, int32_t) override {}
    void RefreshListView() override {}
    void StartTimer(TimerId, int) override {}
    void StopTimer(TimerId) override {}
    std::vector<uint32_t> SelectedRows() override { return {}; }
    int64_t FirstSelectedRow() override { return -1; }
    void ShowPanelUpdates(const std::vector<PanelUpdate>&) override {}
    void ShowBalloon(const std::string&, const std::string&, BalloonIcon, int) override {}
    void AnimateTray(bool) override {}
    // Without a window the caller's thread is the only one.
    void PostToWindow(std::function<void()> work) override { work(); }
};
