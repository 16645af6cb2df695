#include "installer/CQuilletDlg.h"

#include <QButtonGroup>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QIcon>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

// The dialog's size in dialog units, as its template gives it.
constexpr int WidthUnits = 163;
constexpr int HeightUnits = 77;

} // namespace

CQuilletDlg::CQuilletDlg(const std::string& commandLine, ExtensionInstaller& installer, QWidget* parent)
    : QDialog(parent), m_installer(installer), m_choice(new QButtonGroup(this)),
      m_install(new QRadioButton(QStringLiteral("Install the ORV extension for Firefox"))),
      m_uninstall(new QRadioButton(QStringLiteral("Uninstall the ORV extension for Firefox"))) {
    setWindowTitle(QStringLiteral("ORV Firefox Extension"));
    setWindowIcon(QIcon(QStringLiteral(":/quillet.svg")));
    if (QFontDatabase::hasFamily(QStringLiteral("Tahoma")))
        setFont(QFont(QStringLiteral("Tahoma"), 9));

    m_choice->addButton(m_install, Install);
    m_choice->addButton(m_uninstall, Uninstall);
    auto* go = new QPushButton(QStringLiteral("Go"));
    go->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    connect(go, &QPushButton::clicked, this, &CQuilletDlg::OnGo);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* radios = new QVBoxLayout;
    radios->addWidget(m_install);
    radios->addWidget(m_uninstall);
    radios->addStretch();
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(go);
    buttons->addWidget(cancel);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(radios, 1);
    layout->addLayout(buttons);

    const QFontMetrics metrics(font());
    resize(
        QSize(WidthUnits * metrics.averageCharWidth() / 4, HeightUnits * metrics.height() / 8).expandedTo(sizeHint()));

    // A switch is found anywhere in the line, and "/install" wins over "/uninstall".
    SetChoice(Install);
    if (commandLine.find("/install") != std::string::npos) {
        m_uninstall->setEnabled(false);
    } else if (commandLine.find("/uninstall") != std::string::npos) {
        SetChoice(Uninstall);
        m_install->setEnabled(false);
    }
    m_installer.SetBringToFront([this] { BringToFront(); });
}

int CQuilletDlg::GetChoice() const {
    return m_choice->checkedId();
}

void CQuilletDlg::SetChoice(int choice) {
    m_choice->button(choice)->setChecked(true);
}

void CQuilletDlg::OnGo() {
    const ExtensionInstaller::Result result =
        GetChoice() == Install ? m_installer.InstallExtension() : m_installer.UninstallExtension();
    m_exitCode = result == ExtensionInstaller::RegistryFailed ? -1 : 0;
    accept();
}

void CQuilletDlg::BringToFront() {
    showNormal();
    raise();
    activateWindow();
    setFocus();
}
