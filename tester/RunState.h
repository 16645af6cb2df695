#pragma once

#include <cstdint>

// Who holds the list: nobody, a test run, or a run that is stopping. A list download counts as
// stopping: the list stays closed to editing while it runs, yet nothing can be stopped.
enum class RunState : uint8_t { Idle = 0, Running = 1, Stopping = 2 };
