#pragma once

#include "settings/AutostartEntry.h"
#include "settings/SettingsStore.h"

#include <cstdint>
#include <utility>

namespace platform {
class MessageBox;
}

// What the "Switcher" page's boxes hold.
struct SwitcherPageControls {
    static constexpr int32_t LeastWatchMinutes = 1;
    static constexpr int32_t MostWatchMinutes = 1440;

    bool m_changeIEProxy = true;
    bool m_changeFFProxy = true;
    bool m_watchActive = false;
    int32_t m_watchMinutes = 5;
    // Whether the desktop starts orv at login: the autostart entry, not a setting.
    bool m_startWithDesktop = false;
};

// The rules of the settings sheet's "Switcher" page, without the widgets.
class SwitcherPageLogic {
public:
    SwitcherPageLogic(SettingsStore& store, platform::MessageBox& messages, AutostartEntry autostart)
        : m_store(store), m_messages(messages), m_autostart(std::move(autostart)) {}

    SwitcherPageControls Initialise() const;
    void OnDefault(SwitcherPageControls& controls) const { controls = SwitcherPageControls(); }
    // The sheet's OK: takes every box, the minutes brought into their range, and saves the settings. Then
    // writes or removes the autostart entry as the box asks; false after a message when that failed.
    bool Validate(const SwitcherPageControls& controls);
    // Whether the autostart entry is there now.
    bool StartsWithDesktop() const { return m_autostart.Exists(); }

private:
    bool ApplyStartWithDesktop(bool start);

    SettingsStore& m_store;
    platform::MessageBox& m_messages;
    AutostartEntry m_autostart;
};
