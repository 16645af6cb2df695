#include "ui/CSettingSwitcherDlg.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

CSettingSwitcherDlg::CSettingSwitcherDlg(SettingsStore& store, platform::MessageBox& messages, AutostartEntry autostart,
                                         QWidget* parent)
    : QWidget(parent), m_logic(store, messages, std::move(autostart)),
      m_changeIEProxy(new QCheckBox(QStringLiteral("Change the proxy of Internet Explorer"), this)),
      m_changeFFProxy(new QCheckBox(QStringLiteral("Change the proxy of Firefox"), this)),
      m_watchActive(new QCheckBox(QStringLiteral("Check the active proxy every"), this)),
      m_watchMinutes(new QSpinBox(this)),
      m_startWithDesktop(new QCheckBox(QStringLiteral("Start with the desktop"), this)) {
    m_changeIEProxy->setObjectName(QStringLiteral("changeIEProxy"));
    m_changeFFProxy->setObjectName(QStringLiteral("changeFFProxy"));
    m_watchActive->setObjectName(QStringLiteral("watchActive"));
    m_watchMinutes->setObjectName(QStringLiteral("watchMinutes"));
    m_startWithDesktop->setObjectName(QStringLiteral("startWithDesktop"));
    m_watchMinutes->setRange(SwitcherPageControls::LeastWatchMinutes, SwitcherPageControls::MostWatchMinutes);
    m_watchActive->setToolTip(QStringLiteral("When the check fails, another working proxy of the list is used"));
    // The boxes keep their familiar names; on this desktop they mean these two programs.
    m_changeIEProxy->setToolTip(
        QStringLiteral("On this system: the desktop's system proxy (GNOME settings or KDE's proxy settings)"));
    m_changeFFProxy->setToolTip(QStringLiteral("On this system: Firefox, through its Tarvelo extension"));
    m_startWithDesktop->setToolTip(
        QStringLiteral("Starts Tarvelo hidden in the tray when you log in, through an autostart entry"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_changeIEProxy);
    layout->addWidget(m_changeFFProxy);
    auto* watch = new QHBoxLayout;
    watch->addWidget(m_watchActive);
    watch->addWidget(m_watchMinutes);
    watch->addWidget(new QLabel(QStringLiteral("minutes"), this));
    watch->addStretch(1);
    layout->addLayout(watch);
    layout->addWidget(m_startWithDesktop);
    layout->addStretch(1);
    Show(m_logic.Initialise());
}

void CSettingSwitcherDlg::OnDefault() {
    SwitcherPageControls c = Controls();
    m_logic.OnDefault(c);
    Show(c);
}

bool CSettingSwitcherDlg::Validate() {
    if (m_logic.Validate(Controls()))
        return true;
    // The box tells how the desktop will start next time, whatever was asked.
    m_startWithDesktop->setChecked(m_logic.StartsWithDesktop());
    return false;
}

SwitcherPageControls CSettingSwitcherDlg::Controls() const {
    return {m_changeIEProxy->isChecked(), m_changeFFProxy->isChecked(), m_watchActive->isChecked(),
            m_watchMinutes->value(), m_startWithDesktop->isChecked()};
}

void CSettingSwitcherDlg::Show(const SwitcherPageControls& c) {
    m_changeIEProxy->setChecked(c.m_changeIEProxy);
    m_changeFFProxy->setChecked(c.m_changeFFProxy);
    m_watchActive->setChecked(c.m_watchActive);
    m_watchMinutes->setValue(c.m_watchMinutes);
    m_startWithDesktop->setChecked(c.m_startWithDesktop);
}
