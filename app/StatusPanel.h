#pragma once

#include "tester/TestRunHost.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One element update of the panel page: the element's id and its new inner HTML.
using PanelUpdate = std::pair<std::string, std::string>;

// The panel's values while a test runs, read once per second.
struct PanelCounters {
    int32_t level1 = 0;
    int32_t level2 = 0;
    int32_t level3 = 0;
    int32_t progress = 0;
    int32_t ready = 0; // size of the quick-switch set after its rebuild
};

// What the full refresh shows; the frame fills it from its list, counters and switching state.
struct PanelSnapshot {
    int32_t total = 0;
    int32_t level1 = 0;
    int32_t level2 = 0;
    int32_t level3 = 0;
    int32_t ready = 0;
    bool testing = false; // a test run is in progress
    std::string lastTestedText;
    std::optional<std::string> activeProxy; // its ProxyAddressText, none for a direct connection
    bool downloading = false;               // a list download runs: the log may stay silent while the service is
};

struct PanelRefresh {
    std::vector<PanelUpdate> updates;
    bool clearLastTested = false; // the list is empty: the frame forgets when it was last tested
    bool animateTray = false;     // a proxy is active: start the tray animation, else stop it
};

// The statistics panel's page logic: the HTML of its elements and which of them a refresh changes.
// Runs on the user-interface thread; the view applies the updates in order.
class StatusPanel {
public:
    static PanelUpdate PanelValue(std::string_view id, int32_t value);
    // The element "test": while a test runs the progress ("0" when empty), otherwise LastTestedText
    // ("(not tested yet)" when empty).
    static PanelUpdate TestLine(TestLineMode mode, std::string_view text);
    // The test line while a list download runs, with the same busy picture as a run.
    static PanelUpdate DownloadLine();

    // The per-second refresh: only the values that differ from the ones this panel last showed.
    std::vector<PanelUpdate> Tick(const PanelCounters& now);
    // The whole panel, shown after every change of the list or of the active proxy.
    static PanelRefresh FullRefresh(const PanelSnapshot& snapshot);

private:
    PanelCounters m_shown;
};
