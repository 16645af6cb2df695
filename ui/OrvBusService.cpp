#include "ui/OrvBusService.h"

#include "ui/CMainFrame.h"

#include "app/CommandIds.h"
#include "app/ScriptCommands.h"
#include "switching/SessionBus.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include <chrono>
#include <cstdio>

namespace {

// Not QDBusConnection::sessionBus(): that one would start a bus of its own where the session has none.
constexpr const char* ConnectionName = "orv-service";

} // namespace

OrvBusService::OrvBusService(CMainFrame& frame) : m_frame(frame), m_bus(QString()) {
    connect(&frame, &CMainFrame::activeProxyChanged, this, &OrvBusService::ActiveChanged);
    connect(&frame, &CMainFrame::shuttingDown, this, &OrvBusService::Unregister);
}

OrvBusService::~OrvBusService() {
    Unregister();
    QDBusConnection::disconnectFromBus(QLatin1String(ConnectionName));
}

bool OrvBusService::Register() {
    const auto address = SessionBus::Address();
    // A bus that takes the connection and never answers would hold the window's start.
    if (!address || !SessionBus::Answers(std::chrono::milliseconds(2000))) {
        std::fputs("orv: no session bus: scripts cannot reach this window (orv --use and the like act alone)\n",
                   stderr);
        return false;
    }
    m_bus = QDBusConnection::connectToBus(QString::fromStdString(*address), QLatin1String(ConnectionName));
    if (!m_bus.isConnected() ||
        !m_bus.registerObject(QLatin1String(ScriptCommands::ObjectPath), this,
                              QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                  QDBusConnection::ExportAllProperties)) {
        std::fprintf(stderr, "orv: the session bus refused this window's service: %s\n",
                     qPrintable(m_bus.lastError().message()));
        return false;
    }
    const auto reply = m_bus.interface()->registerService(QLatin1String(ScriptCommands::ServiceName),
                                                          QDBusConnectionInterface::DontQueueService,
                                                          QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        std::fprintf(stderr, "orv: another copy answers on the session bus as %s; this window does not\n",
                     ScriptCommands::ServiceName);
        m_bus.unregisterObject(QLatin1String(ScriptCommands::ObjectPath));
        return false;
    }
    m_registered = true;
    return true;
}

void OrvBusService::Unregister() {
    if (!m_registered)
        return;
    m_registered = false;
    m_bus.unregisterService(QLatin1String(ScriptCommands::ServiceName));
    m_bus.unregisterObject(QLatin1String(ScriptCommands::ObjectPath));
}

QString OrvBusService::DataFolder() const {
    return QString::fromStdString(m_frame.Model().DataFolder());
}

bool OrvBusService::Open() {
    if (!m_frame.IsShutDown())
        return true;
    sendErrorReply(QLatin1String(ScriptCommands::RefusedError), QLatin1String(ProxyWatch::ClosingText));
    return false;
}

void OrvBusService::Use(const QString& address, const QString& port) {
    if (!Open())
        return;
    const std::string refusal = m_frame.Model().UseProxy(address.toStdString(), port.toStdString());
    if (!refusal.empty())
        sendErrorReply(QLatin1String(refusal == FrameModel::BadProxyText ? ScriptCommands::BadArgumentError
                                                                         : ScriptCommands::RefusedError),
                       QString::fromStdString(refusal));
    m_frame.UpdateCommandUI();
}

void OrvBusService::Direct() {
    if (!Open())
        return;
    m_frame.Model().OnSwitchCommand(cmd::DirectConnection);
    m_frame.UpdateCommandUI();
}

void OrvBusService::Next() {
    if (!Open())
        return;
    m_frame.Model().SwitchNext();
    m_frame.UpdateCommandUI();
}

bool OrvBusService::Check(QString& /*text*/) {
    if (!Open())
        return false;
    setDelayedReply(true);
    m_frame.Model().CheckActiveNow([bus = m_bus, call = message()](bool passed, const std::string& text) mutable {
        bus.send(call.createReply({passed, QString::fromStdString(text)}));
    });
    return false;
}

QString OrvBusService::Status(QString& address, QString& port, int& level, int& delay_ms) {
    const FrameModel::SwitchStatus status = m_frame.Model().Status();
    address = QString::fromStdString(status.address);
    port = QString::fromStdString(status.port);
    level = status.level;
    delay_ms = status.delay;
    return QString::fromStdString(status.mode);
}

void OrvBusService::Show() {
    if (Open())
        m_frame.MaximiseFromTray();
}
