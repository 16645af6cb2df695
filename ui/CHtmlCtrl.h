#pragma once

#include "app/HtmlPage.h"
#include "app/StatusPanel.h"

#include <QTextBrowser>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

class QMovie;

// An HTML view used as a child control: it shows one of our pages ("res://orv.exe/141" is the status panel,
// "res://orv.exe/179" the download dialog), replaces elements by id, plays the page's animated image and
// turns "app:" links into commands. The page text is ours: updates edit it and the view re-shows it.
class CHtmlCtrl : public QTextBrowser {
    Q_OBJECT

public:
    // Command ids sent to the host by the default OnAppCmd.
    static constexpr int IdOk = 1;
    static constexpr int IdCancel = 2;

    explicit CHtmlCtrl(QWidget* parent = nullptr);

    // Loads page N of the resources for "res://orv.exe/N" (any case). False, with the old page kept, when
    // there is no such page. Emits pageLoaded() once the page shows.
    bool Navigate(const QString& address);

    // Replaces the inner HTML of the element with that id and re-shows the page; without a page or such an
    // element nothing happens. User-interface thread only.
    void SetPanelHtml(const std::string& id, const std::string& html);
    // Several updates in order, shown once.
    void ApplyPanelUpdates(const std::vector<PanelUpdate>& updates);
    // From any thread: the update is done later on the control's thread. Only one update waits; a second
    // post before the first is done replaces it.
    void PostPanelHtml(std::string id, std::string html);

    const HtmlPage& Page() const { return m_page; }
    // The table row holding the element with this id is not shown: the window puts real controls in its place.
    void SetLeftOutRow(std::string id) { m_leftOutRow = std::move(id); }

signals:
    // IdOk or IdCancel for the window that hosts the control (a dialog connects it to done()).
    void appCommand(int id);
    void pageLoaded();

protected:
    // The text after "app:". By default "ok"/"yes" send IdOk and "exit"/"no"/"cancel" IdCancel (any case);
    // other words do nothing.
    virtual void OnAppCmd(const QString& command);
    QVariant loadResource(int type, const QUrl& name) override;

private:
    void OnAnchorClicked(const QUrl& url);
    void OnMovieFrame();
    void TakePosted();
    void Reshow();

    HtmlPage m_page;
    std::string m_leftOutRow;
    bool m_hasPage = false;
    QMovie* m_movie = nullptr;
    std::mutex m_pendingLock;
    std::optional<PanelUpdate> m_pending;
};
