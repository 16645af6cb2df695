#pragma once

#include "settings/SwitcherPageLogic.h"

#include <QWidget>

class QCheckBox;
class QSpinBox;

// The settings sheet's "Switcher" page: which programs a proxy switch changes, the watch of the active proxy,
// and whether the desktop starts the program.
class CSettingSwitcherDlg : public QWidget {
    Q_OBJECT
public:
    CSettingSwitcherDlg(SettingsStore& store, platform::MessageBox& messages, AutostartEntry autostart,
                        QWidget* parent = nullptr);

    void OnDefault();
    bool Validate();

    QCheckBox* ChangeIEProxyBox() const { return m_changeIEProxy; }
    QCheckBox* ChangeFFProxyBox() const { return m_changeFFProxy; }
    QCheckBox* WatchActiveBox() const { return m_watchActive; }
    QSpinBox* WatchMinutesBox() const { return m_watchMinutes; }
    QCheckBox* StartWithDesktopBox() const { return m_startWithDesktop; }

private:
    SwitcherPageControls Controls() const;
    void Show(const SwitcherPageControls& controls);

    SwitcherPageLogic m_logic;
    QCheckBox* m_changeIEProxy;
    QCheckBox* m_changeFFProxy;
    QCheckBox* m_watchActive;
    QSpinBox* m_watchMinutes;
    QCheckBox* m_startWithDesktop;
};
