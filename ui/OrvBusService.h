#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QString>

class CMainFrame;

// The window's service on the session bus, for scripts and shortcuts: switch, check, ask what is active and
// raise the window. Only the copy that got the name answers: a name that another copy owns (another data
// folder's, another user's) is never taken over. DataFolder tells callers which copy they reach.
class OrvBusService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.tarvelo.Orv1")
    // Written out so that every reply value has its name.
    Q_CLASSINFO("D-Bus Introspection", "  <interface name=\"org.tarvelo.Orv1\">\n"
                                       "    <method name=\"Use\">\n"
                                       "      <arg name=\"address\" type=\"s\" direction=\"in\"/>\n"
                                       "      <arg name=\"port\" type=\"s\" direction=\"in\"/>\n"
                                       "    </method>\n"
                                       "    <method name=\"Direct\"/>\n"
                                       "    <method name=\"Next\"/>\n"
                                       "    <method name=\"Check\">\n"
                                       "      <arg name=\"passed\" type=\"b\" direction=\"out\"/>\n"
                                       "      <arg name=\"text\" type=\"s\" direction=\"out\"/>\n"
                                       "    </method>\n"
                                       "    <method name=\"Status\">\n"
                                       "      <arg name=\"mode\" type=\"s\" direction=\"out\"/>\n"
                                       "      <arg name=\"address\" type=\"s\" direction=\"out\"/>\n"
                                       "      <arg name=\"port\" type=\"s\" direction=\"out\"/>\n"
                                       "      <arg name=\"level\" type=\"i\" direction=\"out\"/>\n"
                                       "      <arg name=\"delay_ms\" type=\"i\" direction=\"out\"/>\n"
                                       "    </method>\n"
                                       "    <method name=\"Show\"/>\n"
                                       "    <signal name=\"ActiveChanged\">\n"
                                       "      <arg name=\"address\" type=\"s\"/>\n"
                                       "      <arg name=\"port\" type=\"s\"/>\n"
                                       "    </signal>\n"
                                       "    <property name=\"DataFolder\" type=\"s\" access=\"read\"/>\n"
                                       "  </interface>\n")
    Q_PROPERTY(QString DataFolder READ DataFolder)
public:
    explicit OrvBusService(CMainFrame& frame);
    ~OrvBusService() override;
    OrvBusService(const OrvBusService&) = delete;
    OrvBusService& operator=(const OrvBusService&) = delete;

    // Connects to the session bus (never one started on demand) and takes the name; false, after a line
    // on standard error, when there is no bus or another copy has the name.
    bool Register();
    // The window closes: the name goes, and calls in flight get no more work done.
    void Unregister();
    QString DataFolder() const;

public slots:
    void Use(const QString& address, const QString& port);
    void Direct();
    void Next();
    // passed, and the check's line; the reply waits for the check.
    bool Check(QString& text);
    // mode ("direct", "http", "socks4", "socks5"), address, port, level, delay in ms.
    QString Status(QString& address, QString& port, int& level, int& delay_ms);
    void Show();

signals:
    void ActiveChanged(const QString& address, const QString& port);

private:
    // False, with the error sent, once the window has closed.
    bool Open();

    CMainFrame& m_frame;
    QDBusConnection m_bus;
    bool m_registered = false;
};
