#include "settings/SwitcherPageLogic.h"

#include "platform/MessageBox.h"

#include <algorithm>

SwitcherPageControls SwitcherPageLogic::Initialise() const {
    const AppSettings& s = m_store.Settings();
    return {s.ChangeIEProxy != 0, s.ChangeFFProxy != 0, s.WatchActive != 0, s.WatchMinutes, StartsWithDesktop()};
}

bool SwitcherPageLogic::Validate(const SwitcherPageControls& controls) {
    AppSettings& s = m_store.Settings();
    s.ChangeIEProxy = controls.m_changeIEProxy;
    s.ChangeFFProxy = controls.m_changeFFProxy;
    s.WatchActive = controls.m_watchActive;
    s.WatchMinutes = std::clamp(controls.m_watchMinutes, SwitcherPageControls::LeastWatchMinutes,
                                SwitcherPageControls::MostWatchMinutes);
    m_store.SaveSettings();
    return ApplyStartWithDesktop(controls.m_startWithDesktop);
}

bool SwitcherPageLogic::ApplyStartWithDesktop(bool start) {
    // An entry that is already as asked stays untouched, with whatever the user changed in it.
    if (start == StartsWithDesktop())
        return true;
    std::string reason;
    if (start ? m_autostart.Write(reason) : m_autostart.Remove(reason))
        return true;
    m_messages.Show((start ? "Could not write the autostart entry " : "Could not remove the autostart entry ") +
                    m_autostart.Path() + ": " + reason + ".");
    return false;
}
