#pragma once

// The window's timers: the test tick (every second of a run), the one-shot panel refresh and the
// one-shot start-up work.
enum class TimerId : int { TestTick = 1, PanelRefresh = 2, StartUp = 3 };
