#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The local wall clock. The tester measures delays with it and the frame stamps test runs with it;
// tests replace it to cross midnight or to freeze a date.
class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since local midnight: ((h * 60 + m) * 60 + s) * 1000 + ms.
    virtual int32_t LocalTimeOfDayMs() = 0;
    // Local time formatted with strftime.
    virtual std::string FormatLocalTime(const char* format) = 0;
};

class SystemClock : public Clock {
public:
    int32_t LocalTimeOfDayMs() override;
    std::string FormatLocalTime(const char* format) override;
};

// A clock that says what the test tells it.
class FixedClock : public Clock {
public:
    int32_t m_timeOfDayMs = 0;
    std::string m_formatted = "2026-01-02 03:04:05";

    int32_t LocalTimeOfDayMs() override { return m_timeOfDayMs; }
    std::string FormatLocalTime(const char*) override { return m_formatted; }
};

} // namespace platform
