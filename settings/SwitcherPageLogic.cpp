#include "settings/SwitcherPageLogic.h"

SwitcherPageControls SwitcherPageLogic::Initialise() const {
    const AppSettings& s = m_store.Settings();
    return {s.ChangeIEProxy != 0, s.ChangeFFProxy != 0};
}

bool SwitcherPageLogic::Validate(const SwitcherPageControls& controls) {
    m_store.Settings().ChangeIEProxy = controls.m_changeIEProxy;
    m_store.Settings().ChangeFFProxy = controls.m_changeFFProxy;
    m_store.SaveSettings();
    return true;
}
