#pragma once

#include <string_view>

// How an append treats what the log holds already.
enum class LogMode : int { Append = 0, Clear = 1 };

// Where a test run writes its log lines. Any thread may append.
class TestLog {
public:
    virtual ~TestLog() = default;
    // Callers pass whole lines ending in "\r\n"; LogMode::Clear empties the log first.
    virtual void AppendLog(std::string_view text, LogMode mode = LogMode::Append) = 0;
};
