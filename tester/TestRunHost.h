#pragma once

#include "tester/TimerId.h"

#include <cstdint>
#include <functional>
#include <string>

// What the panel's line about the run shows: when the list was last tested, or a run's progress.
enum class TestLineMode : int { LastTested = 0, Running = 1 };

// The icon of a balloon over the tray icon.
enum class BalloonIcon : int { None = 0, Information = 1, Warning = 2, Error = 3 };

// What a test run asks of whoever hosts it: the window, or nothing on the command line.
// The run's threads call it; only RedrawRows waits for the host's thread.
class TestRunHost {
public:
    virtual ~TestRunHost() = default;

    // Redraws the rows first..last. Called from worker threads: returns once the host's thread has
    // handled it, or at once when the host is closing. The host's thread never waits for a worker.
    virtual void RedrawRows(int32_t first, int32_t last) = 0;
    // The list's length or order changed: set the row count and redraw what is visible.
    virtual void RefreshListView() = 0;
    virtual void StartTimer(TimerId id, int periodMs) = 0;
    virtual void StopTimer(TimerId id) = 0;
    // The panel's line about the run.
    virtual void ShowTestLine(TestLineMode mode, const std::string& text) = 0;
    // A balloon over the tray icon; title may be empty. Never waits for the host's thread.
    virtual void ShowBalloon(const std::string& text, const std::string& title, BalloonIcon icon, int seconds) = 0;
    // Runs work on the host's thread after everything asked of it before, without waiting for it;
    // dropped when the host is closing. The controller hands over what only that thread may touch.
    virtual void PostToWindow(std::function<void()> work) = 0;
    // The run's state changed, on any thread. A host whose commands are enabled by it re-evaluates
    // them on its own thread; the others have nothing to do.
    virtual void TestingChanged() {}
};
