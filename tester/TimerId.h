#pragma once

// The window's timers: the test tick (every second of a run), the one-shot panel refresh and the
// one-shot start-up work, and the watch of the active proxy (one-shot, armed for its next step).
enum class TimerId : int { TestTick = 1, PanelRefresh = 2, StartUp = 3, Watch = 4 };
