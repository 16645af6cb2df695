#include "ui/CSystemTray.h"

#include "app/CommandIds.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>

CSystemTray::CSystemTray() = default;

CSystemTray::~CSystemTray() {
    if (m_icon != nullptr)
        m_icon->hide();
}

// The still icon is the first drawing of the animation (207); 205 and 206 join it while a proxy is active.
QIcon CSystemTray::StaticIcon() {
    return QIcon(QStringLiteral(":/icons/tray/207.svg"));
}

bool CSystemTray::Create(QWidget* owner, const QString& tip, Dispatch dispatch, StateOf stateOf) {
    m_dispatch = std::move(dispatch);
    m_stateOf = std::move(stateOf);
    m_menu = std::make_unique<QMenu>();
    m_menu->setObjectName(QStringLiteral("trayMenu")); // menu 149
    const auto add = [this](int id, const char* text) {
        QAction* action = m_menu->addAction(QString::fromLatin1(text));
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { m_dispatch(id); });
        return action;
    };
    add(cmd::DirectConnection, "Direct connection")->setCheckable(true);
    m_menu->addSeparator();
    QAction* show = add(cmd::ShowMainWindow, "Show main window");
    QFont bold = show->font();
    bold.setBold(true);
    show->setFont(bold); // the default item
    add(cmd::Exit, "Exit ORV");
    connect(m_menu.get(), &QMenu::aboutToShow, this, &CSystemTray::UpdateMenu);

    m_icon = new QSystemTrayIcon(StaticIcon(), this);
    m_icon->setToolTip(tip);
    m_icon->setContextMenu(m_menu.get());
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            m_dispatch(cmd::ShowMainWindow);
    });
    // Without a tray the program runs on; the window is then its only face.
    if (QSystemTrayIcon::isSystemTrayAvailable())
        m_icon->show();
    owner->setWindowIcon(QIcon(QStringLiteral(":/icons/tarvelo.svg")));
    return true;
}

void CSystemTray::UpdateMenu() {
    for (QAction* action : m_menu->actions()) {
        if (action->isSeparator())
            continue;
        const CommandState state = m_stateOf(action->data().toInt());
        action->setEnabled(state.enabled);
        if (action->isCheckable())
            action->setChecked(state.checked);
    }
}

void CSystemTray::HideIcon() {
    if (m_icon != nullptr)
        m_icon->hide();
}

void CSystemTray::ShowBalloon(const std::string& text, const std::string& title, int iconFlags, int seconds) {
    if (m_icon == nullptr || !m_icon->isVisible())
        return;
    // The flags name the balloon's icon: 1 information, 2 warning, 3 error, 0 none.
    static const QSystemTrayIcon::MessageIcon icons[] = {QSystemTrayIcon::NoIcon, QSystemTrayIcon::Information,
                                                         QSystemTrayIcon::Warning, QSystemTrayIcon::Critical};
    const QSystemTrayIcon::MessageIcon icon =
        iconFlags >= 0 && iconFlags <= 3 ? icons[iconFlags] : QSystemTrayIcon::NoIcon;
    m_icon->showMessage(QString::fromLatin1(title.c_str()), QString::fromLatin1(text.c_str()), icon, seconds * 1000);
}
