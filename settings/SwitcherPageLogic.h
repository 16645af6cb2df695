#pragma once

#include "settings/SettingsStore.h"

#include <cstdint>

// What the "Switcher" page's boxes hold.
struct SwitcherPageControls {
    static constexpr int32_t LeastWatchMinutes = 1;
    static constexpr int32_t MostWatchMinutes = 1440;

    bool m_changeIEProxy = true;
    bool m_changeFFProxy = true;
    bool m_watchActive = false;
    int32_t m_watchMinutes = 5;
};

// The rules of the settings sheet's "Switcher" page, without the widgets.
class SwitcherPageLogic {
public:
    explicit SwitcherPageLogic(SettingsStore& store) : m_store(store) {}

    SwitcherPageControls Initialise() const;
    void OnDefault(SwitcherPageControls& controls) const { controls = SwitcherPageControls(); }
    // The sheet's OK: takes every box, the minutes brought into their range, and saves the settings; it never fails.
    bool Validate(const SwitcherPageControls& controls);

private:
    SettingsStore& m_store;
};
