#pragma once

#include "tester/TestLog.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

// The text of the log pane. Any thread may append; the pane shows the text and follows its end.
// Every append is one atomic step under the store's lock, so appends from several threads never lose text.
class LogStore : public TestLog {
public:
    // Above this many characters the next append restarts the log.
    static constexpr size_t ResetLength = 30720;
    static constexpr std::string_view ResetLine = "Reset log text.\r\n";

    // What a reader has not seen yet. When `restarted` is set the reader must drop what it shows and show
    // `text` alone; otherwise `text` follows what it shows.
    struct Change {
        uint64_t generation = 0;
        size_t length = 0;
        bool restarted = false;
        std::string text;
    };

    // Callers pass whole lines ending in "\r\n". LogMode::Clear empties the log first; a log longer than
    // ResetLength is restarted with ResetLine whatever the mode.
    void AppendLog(std::string_view text, LogMode mode = LogMode::Append) override;
    std::string Text() const;

    // The change since a reader last saw (generation, length); start with a default Change.
    Change ReadSince(uint64_t generation, size_t length) const;

    // Called after every append, on the appending thread and outside the lock. Set it before other threads
    // append; the callee must be cheap and thread-safe (the pane only schedules a re-show).
    void SetListener(std::function<void()> listener);

private:
    mutable std::mutex m_lock;
    std::string m_text;
    uint64_t m_generation = 1; // bumped whenever the text is replaced rather than extended
    std::function<void()> m_listener;
};
