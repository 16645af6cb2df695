#include "ui/CHtmlCtrl.h"

#include "ui/OrvResources.h"

#include <QFile>
#include <QMovie>
#include <QScrollBar>

namespace {

const QString ResourcePrefix = QStringLiteral("res://orv.exe/");
const QString AnimatedImage = QStringLiteral("res://orv.exe/143");

// "res://orv.exe/N" -> the Qt resource of page N; empty when the address is not one of ours.
QString PageResource(const QString& address) {
    if (!address.startsWith(ResourcePrefix, Qt::CaseInsensitive)) {
        return {};
    }
    return QStringLiteral(":/html/") + address.mid(ResourcePrefix.size()) + QStringLiteral(".html");
}

} // namespace

CHtmlCtrl::CHtmlCtrl(QWidget* parent) : QTextBrowser(parent) {
    InitOrvResources();
    m_movie = new QMovie(QStringLiteral(":/html/143.gif"), QByteArray(), this);
    setOpenLinks(false);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setContextMenuPolicy(Qt::NoContextMenu);
    setTextInteractionFlags(Qt::LinksAccessibleByMouse); // no text selection, like the page's own script
    setFocusPolicy(Qt::NoFocus);
    document()->setDocumentMargin(0);
    // The page's body is on the button face colour, which rich text cannot name.
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    setPalette(palette);
    m_movie->setCacheMode(QMovie::CacheAll);
    connect(m_movie, &QMovie::frameChanged, this, &CHtmlCtrl::OnMovieFrame);
    connect(this, &QTextBrowser::anchorClicked, this, &CHtmlCtrl::OnAnchorClicked);
}

bool CHtmlCtrl::Navigate(const QString& address) {
    QFile file(PageResource(address));
    if (file.fileName().isEmpty() || !file.open(QIODevice::ReadOnly)) {
        return false;
    }
    m_page = HtmlPage(file.readAll().toStdString());
    m_hasPage = true;
    Reshow();
    emit pageLoaded();
    return true;
}

void CHtmlCtrl::SetPanelHtml(const std::string& id, const std::string& html) {
    if (m_hasPage && m_page.SetInnerHtml(id, html)) {
        Reshow();
    }
}

void CHtmlCtrl::ApplyPanelUpdates(const std::vector<PanelUpdate>& updates) {
    bool changed = false;
    for (const auto& [id, html] : updates) {
        changed = (m_hasPage && m_page.SetInnerHtml(id, html)) || changed;
    }
    if (changed) {
        Reshow();
    }
}

void CHtmlCtrl::PostPanelHtml(std::string id, std::string html) {
    std::lock_guard guard(m_pendingLock);
    bool posted = m_pending.has_value();
    m_pending = PanelUpdate(std::move(id), std::move(html));
    if (!posted) {
        QMetaObject::invokeMethod(this, &CHtmlCtrl::TakePosted, Qt::QueuedConnection);
    }
}

void CHtmlCtrl::TakePosted() {
    std::optional<PanelUpdate> update;
    {
        std::lock_guard guard(m_pendingLock);
        update.swap(m_pending);
    }
    if (update) {
        SetPanelHtml(update->first, update->second);
    }
}

void CHtmlCtrl::OnAppCmd(const QString& command) {
    const QString word = command.toLower();
    if (word == QLatin1String("exit") || word == QLatin1String("no") || word == QLatin1String("cancel")) {
        emit appCommand(IdCancel);
    } else if (word == QLatin1String("ok") || word == QLatin1String("yes")) {
        emit appCommand(IdOk);
    }
}

void CHtmlCtrl::OnAnchorClicked(const QUrl& url) {
    const QString address = url.toString();
    if (address.startsWith(QLatin1String("app:"), Qt::CaseInsensitive)) {
        OnAppCmd(address.mid(4));
    } else {
        Navigate(address); // our own pages only: nothing else is reachable from them
    }
}

QVariant CHtmlCtrl::loadResource(int type, const QUrl& name) {
    if (type == QTextDocument::ImageResource && name.toString().compare(AnimatedImage, Qt::CaseInsensitive) == 0) {
        return m_movie->currentPixmap();
    }
    return QTextBrowser::loadResource(type, name);
}

void CHtmlCtrl::OnMovieFrame() {
    document()->addResource(QTextDocument::ImageResource, QUrl(AnimatedImage), m_movie->currentPixmap());
    viewport()->update();
}

void CHtmlCtrl::Reshow() {
    QString text = QString::fromStdString(m_page.DisplayText(m_leftOutRow));
    // Rich text has no system colour names; the page's body is on the button face.
    text.replace(QLatin1String("buttonface"), palette().color(QPalette::Button).name(), Qt::CaseInsensitive);
    const int x = horizontalScrollBar()->value();
    const int y = verticalScrollBar()->value();
    setHtml(text);
    horizontalScrollBar()->setValue(x);
    verticalScrollBar()->setValue(y);
    // The animation runs only while the page shows it.
    if (text.contains(AnimatedImage, Qt::CaseInsensitive)) {
        if (m_movie->state() != QMovie::Running) {
            m_movie->jumpToFrame(0);
            m_movie->start();
        }
        OnMovieFrame();
    } else {
        m_movie->stop();
    }
}
