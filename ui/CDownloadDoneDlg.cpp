#include "ui/CDownloadDoneDlg.h"

#include "ui/CHtmlCtrl.h"

#include <QVBoxLayout>

CDownloadDoneDlg::CDownloadDoneDlg(std::string count, std::string updateTime, QWidget* parent)
    : QDialog(parent), m_html(new CHtmlCtrl(this)), m_count(std::move(count)), m_updateTime(std::move(updateTime)) {
    setWindowTitle(QStringLiteral("Download Proxy"));
    m_html->setObjectName(QStringLiteral("html")); // child 114
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_html);
    // 154 x 101 dialog units.
    setFixedSize(231, 165);
    connect(m_html, &CHtmlCtrl::pageLoaded, this,
            [this] { m_html->PostPanelHtml("msg", MessageHtml(m_count, m_updateTime)); });
    connect(m_html, &CHtmlCtrl::appCommand, this,
            [this](int id) { done(id == CHtmlCtrl::IdOk ? Accepted : Rejected); });
    m_html->Navigate(QStringLiteral("res://orv.exe/179"));
}

std::string CDownloadDoneDlg::MessageHtml(const std::string& count, const std::string& updateTime) {
    return "Get " + count + " proxy from Halvard successfully.<br>The proxy list is updated at " + updateTime + ".<br>";
}
