#pragma once

#include <QDialog>

#include <functional>
#include <string>

class QLineEdit;

// "Add Proxy": an address and a port. OK hands both to the accept function, which adds the proxy and
// says whether the input was right; the dialog closes only then and otherwise keeps its texts.
class CAddProxyDlg : public QDialog {
    Q_OBJECT
public:
    using AcceptFunction = std::function<bool(const std::string& ip, const std::string& port)>;

    CAddProxyDlg(AcceptFunction accept, QWidget* parent = nullptr);

    QLineEdit* IpEdit() const { return m_ip; }
    QLineEdit* PortEdit() const { return m_port; }

    void accept() override;

private:
    AcceptFunction m_accept;
    QLineEdit* m_ip;
    QLineEdit* m_port;
};
