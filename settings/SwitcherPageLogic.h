#pragma once

#include "settings/SettingsStore.h"

// What the "Switcher" page's two check boxes hold.
struct SwitcherPageControls {
    bool m_changeIEProxy = true;
    bool m_changeFFProxy = true;
};

// The rules of the settings sheet's "Switcher" page, without the widgets.
class SwitcherPageLogic {
public:
    explicit SwitcherPageLogic(SettingsStore& store) : m_store(store) {}

    SwitcherPageControls Initialise() const;
    void OnDefault(SwitcherPageControls& controls) const { controls = SwitcherPageControls(); }
    // The sheet's OK: takes both boxes and saves the settings; it never fails.
    bool Validate(const SwitcherPageControls& controls);

private:
    SettingsStore& m_store;
};
