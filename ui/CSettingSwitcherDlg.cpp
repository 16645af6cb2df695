#include "ui/CSettingSwitcherDlg.h"

#include <QCheckBox>
#include <QVBoxLayout>

CSettingSwitcherDlg::CSettingSwitcherDlg(SettingsStore& store, QWidget* parent)
    : QWidget(parent), m_logic(store),
      m_changeIEProxy(new QCheckBox(QStringLiteral("Change the proxy of Internet Explorer"), this)),
      m_changeFFProxy(new QCheckBox(QStringLiteral("Change the proxy of Firefox"), this)) {
    m_changeIEProxy->setObjectName(QStringLiteral("changeIEProxy"));
    m_changeFFProxy->setObjectName(QStringLiteral("changeFFProxy"));
    // The boxes keep their familiar names; on this desktop they mean these two programs.
    m_changeIEProxy->setToolTip(
        QStringLiteral("On this system: the desktop's system proxy (GNOME settings or KDE's proxy settings)"));
    m_changeFFProxy->setToolTip(QStringLiteral("On this system: Firefox, through its Tarvelo extension"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_changeIEProxy);
    layout->addWidget(m_changeFFProxy);
    layout->addStretch(1);
    Show(m_logic.Initialise());
}

void CSettingSwitcherDlg::OnDefault() {
    SwitcherPageControls c = Controls();
    m_logic.OnDefault(c);
    Show(c);
}

bool CSettingSwitcherDlg::Validate() {
    return m_logic.Validate(Controls());
}

SwitcherPageControls CSettingSwitcherDlg::Controls() const {
    return {m_changeIEProxy->isChecked(), m_changeFFProxy->isChecked()};
}

void CSettingSwitcherDlg::Show(const SwitcherPageControls& c) {
    m_changeIEProxy->setChecked(c.m_changeIEProxy);
    m_changeFFProxy->setChecked(c.m_changeFFProxy);
}
