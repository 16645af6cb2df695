#include "ui/CSettingSheet.h"

#include "ui/CSettingSwitcherDlg.h"
#include "ui/CSettingTesterDlg.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

CSettingSheet::CSettingSheet(SettingsStore& store, platform::MessageBox& messages, const AutostartEntry& autostart,
                             QWidget* parent)
    : QDialog(parent), m_tabs(new QTabWidget(this)), m_tester(new CSettingTesterDlg(store, messages, m_tabs)),
      m_switcher(new CSettingSwitcherDlg(store, messages, autostart, m_tabs)),
      m_default(new QPushButton(QStringLiteral("Default"), this)), m_ok(new QPushButton(QStringLiteral("OK"), this)),
      m_cancel(new QPushButton(QStringLiteral("Cancel"), this)) {
    setWindowTitle(QStringLiteral("ORV Settings"));
    setFont(DialogFont());
    m_tabs->addTab(m_tester, QStringLiteral("Tester"));
    m_tabs->addTab(m_switcher, QStringLiteral("Switcher"));
    m_default->setObjectName(QStringLiteral("default"));
    m_ok->setDefault(true);
    // "Default" matches OK in size; the shared layout margin puts its left edge on the tab control's.
    for (QPushButton* button : {m_default, m_ok, m_cancel})
        button->setFixedWidth(std::max(m_ok->sizeHint().width(), 80));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_default);
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addLayout(buttons);

    connect(m_default, &QPushButton::clicked, this, &CSettingSheet::OnDefault);
    connect(m_ok, &QPushButton::clicked, this, &CSettingSheet::accept);
    connect(m_cancel, &QPushButton::clicked, this, &CSettingSheet::reject);
    setFixedSize(sizeHint());
}

QFont CSettingSheet::DialogFont() {
    QFont font(QStringLiteral("Tahoma"), 9);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

void CSettingSheet::OnDefault() {
    if (m_tabs->currentWidget() == m_tester)
        m_tester->OnDefault();
    else
        m_switcher->OnDefault();
}

void CSettingSheet::accept() {
    // Each page saves on its own success; the Switcher page is asked only after the Tester page agreed.
    if (m_tester->Validate() && m_switcher->Validate())
        QDialog::accept();
}
