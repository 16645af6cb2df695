#pragma once

#include "app/FrameModel.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QTimer;
class QSystemTrayIcon;
class QWidget;

// The program's icon in the notification area with its menu. Where the desktop has no tray, the icon
// simply is not shown and every call succeeds without effect.
class CSystemTray : public QObject {
    Q_OBJECT
public:
    using Dispatch = std::function<void(int id)>;
    using StateOf = std::function<CommandState(int id)>;

    CSystemTray();
    ~CSystemTray() override;

    // Shows the icon with its tip and its menu, whose commands go to dispatch; the menu asks stateOf
    // for each item's state before it opens. A double click sends the default item ("Show main window").
    bool Create(QWidget* owner, const QString& tip, Dispatch dispatch, StateOf stateOf);
    void HideIcon();
    // A message over the icon for some seconds; nothing where the desktop has no tray.
    void ShowBalloon(const std::string& text, const std::string& title, BalloonIcon icon, int seconds);

    // Cycles the three frames every 500 ms while on; off brings the still icon back.
    void Animate(bool on);
    bool IsAnimating() const;
    // The desktop shows tray icons: hiding the window into the tray makes sense.
    bool IsAvailable() const;

    QMenu* Menu() const { return m_menu.get(); }
    QSystemTrayIcon* Icon() const { return m_icon; }
    static QIcon StaticIcon();
    // Only the entry that is on carries a mark: a checkable entry that is off would draw an empty box,
    // and the menus would look like multiple choice.
    static void SetMark(QAction* action, bool on);

    static constexpr int QuickSwitchMax = 12;
    static constexpr int FramePeriodMs = 500;

private:
    // The quick-switch entries and the items' states, just before the menu opens.
    void UpdateMenu();
    void NextFrame();

    QSystemTrayIcon* m_icon = nullptr;
    QTimer* m_animation = nullptr;
    std::vector<QIcon> m_frames;
    size_t m_frame = 0;
    // The separator above "Show main window": the quick-switch entries go before it.
    QAction* m_lowerSeparator = nullptr;
    std::vector<QAction*> m_quickSwitch;
    std::unique_ptr<QMenu> m_menu;
    Dispatch m_dispatch;
    StateOf m_stateOf;
};
