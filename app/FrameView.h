#pragma once

#include "app/StatusPanel.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What the frame's model asks of the window. The window implements it; tests use a recording fake.
// Calls come from the window's thread unless a method says otherwise.
class FrameView {
public:
    virtual ~FrameView() = default;

    // Redraws the rows first..last. Called from worker threads: returns once the window's thread has
    // handled it, or at once when the window is closing. The window's thread never waits for a worker.
    virtual void RedrawRows(int32_t first, int32_t last) = 0;
    // The list's length or order changed: set the row count and redraw what is visible.
    virtual void RefreshListView() = 0;
    virtual void StartTimer(int id, int periodMs) = 0;
    virtual void StopTimer(int id) = 0;

    // The selected rows in ascending order, as the list view counts them.
    virtual std::vector<uint32_t> SelectedRows() = 0;
    // The first selected row, or -1 without a selection. Cheap: the menus ask before every opening.
    virtual int64_t FirstSelectedRow() = 0;

    // Element updates of the statistics panel, applied in order.
    virtual void ShowPanelUpdates(const std::vector<PanelUpdate>& updates) = 0;
    // A balloon over the tray icon; title may be empty. Called from the test controller's thread:
    // never waits for the window's thread.
    virtual void ShowBalloon(const std::string& text, const std::string& title, int iconFlags, int seconds) = 0;
    // Runs work on the window's thread after everything asked of the window before it, without
    // waiting for it; dropped when the window is closing. From any thread: the test controller hands
    // over what only the window's thread may touch.
    virtual void PostToWindow(std::function<void()> work) = 0;
};
