#pragma once

#include <string_view>

// Where a test run writes its log lines. Any thread may append.
class TestLog {
public:
    virtual ~TestLog() = default;
    // Callers pass whole lines ending in "\r\n"; mode 1 clears the log first.
    virtual void AppendLog(std::string_view text, int mode = 0) = 0;
};
