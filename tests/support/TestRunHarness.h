#pragma once

#include "app/LogStore.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "proxy/ProxyList.h"
#include "settings/AppSettings.h"
#include "tester/TestContext.h"
#include "tester/TestRun.h"
#include "tests/support/RecordingFrameView.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// The system's clock, unless a test scripts the times of day it reads: each reading takes the next
// scripted value and the last one stays. Formats the last reading on 2026-12-07. Thread-safe.
class ScriptedClock : public platform::Clock {
public:
    void Script(std::vector<int32_t> msOfDay);
    int32_t LocalTimeOfDayMs() override;
    std::string FormatLocalTime(const char* format) override;

private:
    std::mutex m_lock;
    std::vector<int32_t> m_script;
    size_t m_next = 0;
    int32_t m_last = 0;
    platform::SystemClock m_system;
};

// A message box that a controller thread may ask: records the texts, answers from its script.
class LockedMessageBox : public platform::MessageBox {
public:
    Answer Show(const std::string& text, Buttons buttons = Ok) override;
    std::vector<std::string> Shown();
    void Answers(std::vector<Answer> answers);

private:
    std::mutex m_lock;
    platform::ScriptedMessageBox m_box;
};

// A list, its settings, a recording window and a test run over them, as the frame owns them.
struct TestRunHarness {
    AppSettings settings;
    ProxyList list;
    RecordingFrameView view;
    ScriptedClock clock;
    TestContext context{settings, list, view, clock};
    LogStore log;
    LockedMessageBox messageBox;
    std::atomic<RunState> testing = RunState::Idle;
    std::atomic<int> saves = 0;
    std::atomic<int> quickSwitchRebuilds = 0;
    // Called by the run's save, on the controller's thread; set it before the run starts.
    std::function<void()> onSave;

private:
    std::mutex m_lock;
    std::string m_lastTested;
    TestRun::Hooks MakeHooks();

public:
    TestRun run{context, log, testing, MakeHooks()};

    TestRunHarness();
    // Appends a record for "address:port" and returns it.
    ProxyItem& AddRecord(const std::string& address);
    // Puts every record into the test set and starts the run.
    void StartAll();
    // Waits until the run has ended; false when limit passed first.
    bool WaitIdle(std::chrono::milliseconds limit = std::chrono::seconds(30));
    std::string LastTested();
};
