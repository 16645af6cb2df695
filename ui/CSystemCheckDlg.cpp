#include "ui/CSystemCheckDlg.h"

#include "platform/ShellOpen.h"
#include "settings/SettingsStore.h"
#include "syscheck/SystemCheck.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CSystemCheckDlg::CSystemCheckDlg(SettingsStore& settings, platform::ShellOpen& shell, platform::MessageBox& messages,
                                 QWidget* parent)
    : QDialog(parent), m_settings(settings), m_shell(shell), m_messages(messages),
      m_check(new QCheckBox(QStringLiteral("Don't check system on startup"), this)) {
    setWindowTitle(QStringLiteral("ORV System Check"));
    m_check->setObjectName(QStringLiteral("checkSystem"));
    m_check->setChecked(m_settings.Settings().CheckSystem != 0);
    connect(m_check, &QCheckBox::clicked, this, [this](bool checked) {
        m_settings.Settings().CheckSystem = checked ? 1 : 0;
        m_settings.SaveSettings();
    });

    auto* limit = new QLabel(QStringLiteral("You are using Windows XP or Vista, which limits the simultaneous "
                                            "connection to 10.  Please download the path to fix it."),
                             this);
    limit->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* yes = buttons->addButton(QStringLiteral("Yes"), QDialogButtonBox::AcceptRole);
    yes->setObjectName(QStringLiteral("yes"));
    buttons->addButton(QStringLiteral("No"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("no"));
    yes->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSystemCheckDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CSystemCheckDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(limit);
    layout->addWidget(new QLabel(QStringLiteral("Would you like to download the patch now?"), this));
    layout->addWidget(buttons);
    layout->addWidget(m_check);
    // 167 x 90 dialog units.
    resize(251, 146);
}

void CSystemCheckDlg::accept() {
    // Whatever the box shows: once the user went for the patch, the start-up check is done with.
    m_settings.Settings().CheckSystem = 1;
    m_settings.SaveSettings();
    platform::OpenOrExplain(m_shell, m_messages, SystemCheck::SupportUrl);
    QDialog::accept();
}
