#pragma once

#include <QDialog>

#include <string>

class CHtmlCtrl;

// "Download Proxy": page 179 over the whole dialog, saying how many proxies came and when the list was
// updated, and asking whether to test the list now. "Yes" accepts, "No" rejects.
class CDownloadDoneDlg : public QDialog {
    Q_OBJECT
public:
    CDownloadDoneDlg(std::string count, std::string updateTime, QWidget* parent = nullptr);

    CHtmlCtrl* Html() const { return m_html; }
    static std::string MessageHtml(const std::string& count, const std::string& updateTime);

private:
    CHtmlCtrl* m_html;
    std::string m_count;
    std::string m_updateTime;
};
