#include "ui/CDownloadDoneDlg.h"

#include "ui/CHtmlCtrl.h"

#include <QAbstractTextDocumentLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

// The dialog's width in dialog units, as its template gives it.
constexpr int WidthUnits = 154;

// A widget filled with one colour, its content inset by the given margins.
QWidget* Filled(QWidget* content, const QColor& colour, const QMargins& margins) {
    auto* filled = new QWidget;
    filled->setAutoFillBackground(true);
    QPalette palette = filled->palette();
    palette.setColor(QPalette::Window, colour);
    filled->setPalette(palette);
    auto* layout = new QVBoxLayout(filled);
    layout->setContentsMargins(margins);
    layout->addWidget(content);
    return filled;
}

} // namespace

CDownloadDoneDlg::CDownloadDoneDlg(std::string count, std::string updateTime, QWidget* parent)
    : QDialog(parent), m_html(new CHtmlCtrl(this)), m_count(std::move(count)), m_updateTime(std::move(updateTime)) {
    setWindowTitle(QStringLiteral("Download Proxy"));
    m_html->setObjectName(QStringLiteral("html"));
    m_html->SetLeftOutRow("btn");
    auto* yes = new QPushButton(QStringLiteral("Yes"));
    yes->setObjectName(QStringLiteral("yes"));
    auto* no = new QPushButton(QStringLiteral("No"));
    no->setObjectName(QStringLiteral("no"));
    connect(yes, &QPushButton::clicked, this, &QDialog::accept);
    connect(no, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_html);
    layout->addWidget(MakeButtonRow(yes, no));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    yes->setFocus();

    connect(m_html->document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this,
            &CDownloadDoneDlg::FitToPage);
    connect(m_html, &CHtmlCtrl::pageLoaded, this,
            [this] { m_html->PostPanelHtml("msg", MessageHtml(m_count, m_updateTime)); });
    m_html->Navigate(QStringLiteral("res://orv.exe/179"));
    FitToPage();
}

std::string CDownloadDoneDlg::MessageHtml(const std::string& count, const std::string& updateTime) {
    return "Get " + count + " proxy from Halvard successfully.<br>The proxy list is updated at " + updateTime + ".<br>";
}

// The page's button row: the buttons 50 px wide in 11 px type on #FFFFE7, at least 24 px high, inside the
// table's #bbb lines and the body's 1 px margin.
QWidget* CDownloadDoneDlg::MakeButtonRow(QPushButton* yes, QPushButton* no) {
    QFont font = yes->font();
    font.setFamilies({QStringLiteral("Verdana"), QStringLiteral("Tahoma"), QStringLiteral("Arial")});
    font.setPixelSize(11);
    auto* buttons = new QWidget;
    auto* row = new QHBoxLayout(buttons);
    row->setContentsMargins(4, 4, 4, 4);
    row->addStretch();
    for (QPushButton* button : {yes, no}) {
        button->setFont(font);
        button->setMinimumWidth(50);
        row->addWidget(button);
    }
    row->addStretch();
    buttons->setMinimumHeight(24);
    QWidget* cell = Filled(buttons, QColor(0xFF, 0xFF, 0xE7), QMargins());
    cell->setObjectName(QStringLiteral("btn"));
    return Filled(Filled(cell, QColor(0xbb, 0xbb, 0xbb), QMargins(1, 0, 1, 1)), palette().color(QPalette::Button),
                  QMargins(1, 0, 1, 1));
}

// The template's width, or more where the title would not fit beside the title bar's icon and buttons,
// which a window manager draws about two lines high each.
int CDownloadDoneDlg::ContentWidth() const {
    const QFontMetrics metrics(font());
    return std::max(WidthUnits * metrics.averageCharWidth() / 4,
                    metrics.horizontalAdvance(windowTitle()) + 8 * metrics.height());
}

// The view as high as its page, so that no empty band shows under it.
void CDownloadDoneDlg::FitToPage() {
    const int width = ContentWidth();
    m_html->document()->setTextWidth(width);
    m_html->setFixedSize(width, static_cast<int>(std::ceil(m_html->document()->size().height())));
}
