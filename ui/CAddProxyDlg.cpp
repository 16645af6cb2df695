#include "ui/CAddProxyDlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CAddProxyDlg::CAddProxyDlg(AcceptFunction accept, QWidget* parent)
    : QDialog(parent), m_accept(std::move(accept)), m_ip(new QLineEdit(this)), m_port(new QLineEdit(this)) {
    setWindowTitle(QStringLiteral("Add Proxy"));
    m_ip->setObjectName(QStringLiteral("ip"));
    m_port->setObjectName(QStringLiteral("port"));
    m_ip->setMinimumWidth(150);
    m_port->setMaximumWidth(70);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CAddProxyDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CAddProxyDlg::reject);

    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("IP"), this), 0, 0);
    layout->addWidget(m_ip, 0, 1);
    layout->addWidget(new QLabel(QStringLiteral("Port"), this), 0, 2);
    layout->addWidget(m_port, 0, 3);
    layout->addWidget(buttons, 1, 0, 1, 4);
    setFixedSize(sizeHint());
}

void CAddProxyDlg::accept() {
    if (m_accept(m_ip->text().toLatin1().toStdString(), m_port->text().toLatin1().toStdString())) {
        QDialog::accept();
        return;
    }
    // The error box belonged to the main window, which the desktop activates when the box closes.
    raise();
    activateWindow();
}
