#pragma once

#include "platform/Clock.h"
#include "proxy/ProxyList.h"
#include "settings/AppSettings.h"
#include "tester/CInternetThread.h"
#include "tester/TestContext.h"
#include "tests/support/RecordingFrameView.h"

#include <chrono>
#include <memory>
#include <string>

// A list, settings, a recording window and a context: what a test needs to run workers.
struct WorkerHarness {
    AppSettings settings;
    ProxyList list;
    RecordingFrameView view;
    platform::SystemClock systemClock;
    TestContext context{settings, list, view, systemClock};

    WorkerHarness();

    // Appends a record for "address:port" and returns its position.
    int32_t AddRecord(const std::string& address);
    ProxyItem& Record(int32_t index) { return *list[static_cast<size_t>(index)]; }
    // A worker for the record at index, not started.
    std::unique_ptr<CInternetThread> Worker(int32_t index);
    // Starts a worker for the record and waits until it has ended (at most limit).
    std::unique_ptr<CInternetThread> RunWorker(int32_t index, std::chrono::seconds limit = std::chrono::seconds(20));
};

// Waits until the thread has ended; false when limit passed first.
bool WaitUntilEnded(const CThread& thread, std::chrono::milliseconds limit);
