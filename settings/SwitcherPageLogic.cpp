#include "settings/SwitcherPageLogic.h"

#include <algorithm>

SwitcherPageControls SwitcherPageLogic::Initialise() const {
    const AppSettings& s = m_store.Settings();
    return {s.ChangeIEProxy != 0, s.ChangeFFProxy != 0, s.WatchActive != 0, s.WatchMinutes};
}

bool SwitcherPageLogic::Validate(const SwitcherPageControls& controls) {
    AppSettings& s = m_store.Settings();
    s.ChangeIEProxy = controls.m_changeIEProxy;
    s.ChangeFFProxy = controls.m_changeFFProxy;
    s.WatchActive = controls.m_watchActive;
    s.WatchMinutes = std::clamp(controls.m_watchMinutes, SwitcherPageControls::LeastWatchMinutes,
                                SwitcherPageControls::MostWatchMinutes);
    m_store.SaveSettings();
    return true;
}
