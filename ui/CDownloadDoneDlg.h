#pragma once

#include <QDialog>

#include <string>

class CHtmlCtrl;
class QPushButton;

// "Download Proxy": the page "Finish Downloading" (res://orv.exe/179), saying how many proxies came and when the list
// was updated, and asking whether to test the list now. The page's "Yes" and "No" are real buttons under it, so that
// Tab and Enter reach them; "Yes" accepts, "No" (and Escape) rejects. The dialog takes the size of its content.
class CDownloadDoneDlg : public QDialog {
    Q_OBJECT
public:
    CDownloadDoneDlg(std::string count, std::string updateTime, QWidget* parent = nullptr);

    CHtmlCtrl* Html() const { return m_html; }
    static std::string MessageHtml(const std::string& count, const std::string& updateTime);

private:
    QWidget* MakeButtonRow(QPushButton* yes, QPushButton* no);
    int ContentWidth() const;
    void FitToPage();

    CHtmlCtrl* m_html;
    std::string m_count;
    std::string m_updateTime;
};
