#include "ui/CSystemTray.h"

#include "app/CommandIds.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

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
    m_menu->setObjectName(QStringLiteral("trayMenu"));
    const auto add = [this](int id, const char* text) {
        QAction* action = m_menu->addAction(QString::fromLatin1(text));
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { m_dispatch(id); });
        return action;
    };
    add(cmd::DirectConnection, "Direct connection");
    m_lowerSeparator = m_menu->addSeparator();
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
    m_frames = {QIcon(QStringLiteral(":/icons/tray/205.svg")), QIcon(QStringLiteral(":/icons/tray/206.svg")),
                QIcon(QStringLiteral(":/icons/tray/207.svg"))};
    m_animation = new QTimer(this);
    connect(m_animation, &QTimer::timeout, this, &CSystemTray::NextFrame);

    // Without a tray the program runs on; the window is then its only face.
    if (QSystemTrayIcon::isSystemTrayAvailable())
        m_icon->show();
    owner->setWindowIcon(QIcon(QStringLiteral(":/icons/tarvelo.svg")));
    return true;
}

void CSystemTray::SetMark(QAction* action, bool on) {
    action->setCheckable(on);
    action->setChecked(on);
}

void CSystemTray::UpdateMenu() {
    for (QAction* action : m_quickSwitch)
        delete action;
    m_quickSwitch.clear();
    // "Direct connection", separator, the entries, separator: the first separator only with entries.
    for (int i = 0; i < QuickSwitchMax; ++i) {
        const int id = cmd::QuickSwitchFirst + i;
        const CommandState state = m_stateOf(id);
        if (state.text.empty())
            break;
        if (i == 0)
            m_quickSwitch.push_back(m_menu->insertSeparator(m_lowerSeparator));
        auto* action = new QAction(QString::fromLatin1(state.text.c_str()), m_menu.get());
        action->setData(id);
        SetMark(action, state.checked);
        connect(action, &QAction::triggered, this, [this, id] { m_dispatch(id); });
        m_menu->insertAction(m_lowerSeparator, action);
        m_quickSwitch.push_back(action);
    }
    for (QAction* action : m_menu->actions()) {
        const int id = action->data().toInt();
        if (action->isSeparator() || (id >= cmd::QuickSwitchFirst && id <= cmd::QuickSwitchLast))
            continue;
        const CommandState state = m_stateOf(id);
        action->setEnabled(state.enabled);
        if (id == cmd::DirectConnection)
            SetMark(action, state.checked);
        if (!state.text.empty())
            action->setText(QString::fromLatin1(state.text.c_str()));
    }
}

void CSystemTray::Animate(bool on) {
    if (m_icon == nullptr || on == IsAnimating())
        return;
    if (on) {
        m_frame = 0;
        m_icon->setIcon(m_frames[m_frame]);
        m_animation->start(FramePeriodMs);
    } else {
        m_animation->stop();
        m_icon->setIcon(StaticIcon());
    }
}

bool CSystemTray::IsAnimating() const {
    return m_animation != nullptr && m_animation->isActive();
}

bool CSystemTray::IsAvailable() const {
    return m_icon != nullptr && m_icon->isVisible();
}

void CSystemTray::NextFrame() {
    m_frame = (m_frame + 1) % m_frames.size();
    m_icon->setIcon(m_frames[m_frame]);
}

void CSystemTray::HideIcon() {
    if (m_icon != nullptr)
        m_icon->hide();
}

void CSystemTray::ShowBalloon(const std::string& text, const std::string& title, BalloonIcon icon, int seconds) {
    if (m_icon == nullptr || !m_icon->isVisible())
        return;
    static const QSystemTrayIcon::MessageIcon icons[] = {QSystemTrayIcon::NoIcon, QSystemTrayIcon::Information,
                                                         QSystemTrayIcon::Warning, QSystemTrayIcon::Critical};
    m_icon->showMessage(QString::fromLatin1(title.c_str()), QString::fromLatin1(text.c_str()),
                        icons[static_cast<int>(icon)], seconds * 1000);
}
