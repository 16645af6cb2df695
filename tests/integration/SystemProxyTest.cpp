// The desktop's system proxy against the real parts: GSettings with its keyfile store read back by the
// gsettings tool, and KDE's reread signal on a private session bus.
#include "switching/KdeSystemProxy.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Environment = std::map<std::string, std::optional<std::string>>;

// A session with GSettings in keyfile form under dir, no session bus, and a display that would tempt
// GIO to launch one.
Environment Session(const TempDir& dir) {
    std::filesystem::create_directories(dir.File("config"));
    std::filesystem::create_directories(dir.File("run"));
    return {{"GSETTINGS_BACKEND", "keyfile"},
            {"XDG_CONFIG_HOME", dir.File("config")},
            {"HOME", dir.File("home")},
            {"XDG_RUNTIME_DIR", dir.File("run")},
            {"DBUS_SESSION_BUS_ADDRESS", std::nullopt},
            {"DISPLAY", ":99"},
            {"XDG_CURRENT_DESKTOP", std::nullopt},
            {"ORV_SYSTEM_PROXY", "gnome"}};
}

Environment With(Environment environment, const Environment& changes) {
    for (const auto& [name, value] : changes)
        environment[name] = value;
    return environment;
}

ProgramResult Probe(const std::vector<std::string>& args, const Environment& environment) {
    std::vector<std::string> argv = {ORV_SYSTEM_PROXY_PROBE};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, environment);
}

std::string Gsettings(const Environment& environment, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"gsettings"};
    argv.insert(argv.end(), args.begin(), args.end());
    const ProgramResult result = RunProgram(argv, environment);
    EXPECT_EQ(result.m_exitCode, 0) << result.m_errors;
    return result.m_output.substr(0, result.m_output.find_last_not_of('\n') + 1);
}

size_t FilesUnder(const std::string& folder) {
    return static_cast<size_t>(std::distance(std::filesystem::recursive_directory_iterator(folder), {}));
}

// A session bus of the test's own at socket, and a listener for KIO's reread signal on it. Services
// the bus starts (dconf's) get the test's environment.
class PrivateBus {
public:
    PrivateBus(std::string socket, const std::string& log) : m_socket(std::move(socket)) {
        m_daemon.Start({"dbus-daemon", "--session", "--nofork", "--address=unix:path=" + m_socket}, log);
        g_main_context_push_thread_default(m_context);
        // The socket appears before the daemon listens on it: try until it answers.
        const auto end = std::chrono::steady_clock::now() + 20s;
        while (!m_listener && std::chrono::steady_clock::now() < end) {
            m_listener = g_dbus_connection_new_for_address_sync(
                ("unix:path=" + m_socket).c_str(),
                static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                  G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                nullptr, nullptr, nullptr);
            if (!m_listener)
                std::this_thread::sleep_for(10ms);
        }
        if (!m_listener)
            return;
        g_dbus_connection_signal_subscribe(m_listener, nullptr, "org.kde.KIO.Scheduler", "reparseSlaveConfiguration",
                                           "/KIO/Scheduler", nullptr, G_DBUS_SIGNAL_FLAGS_NONE, &PrivateBus::Received,
                                           this, nullptr);
        // A round trip: the bus has the subscription once it answers.
        GVariant* id = g_dbus_connection_call_sync(m_listener, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                   "org.freedesktop.DBus", "GetId", nullptr, nullptr,
                                                   G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
        if (id)
            g_variant_unref(id);
    }
    ~PrivateBus() {
        if (m_listener)
            g_object_unref(m_listener);
        g_main_context_pop_thread_default(m_context);
        g_main_context_unref(m_context);
        m_daemon.Stop();
    }

    bool Listening() const { return m_listener != nullptr; }
    const std::string& Socket() const { return m_socket; }

    // The string arguments of the signals received, once count have come or a generous time has passed.
    std::vector<std::string> WaitFor(size_t count) {
        const auto end = std::chrono::steady_clock::now() + 20s;
        while (m_arguments.size() < count && std::chrono::steady_clock::now() < end)
            if (!g_main_context_iteration(m_context, FALSE))
                std::this_thread::sleep_for(5ms);
        return m_arguments;
    }

private:
    static void Received(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
                         gpointer self) {
        const gchar* argument = "(not one string)";
        if (g_variant_is_of_type(parameters, G_VARIANT_TYPE("(s)")))
            g_variant_get(parameters, "(&s)", &argument);
        static_cast<PrivateBus*>(self)->m_arguments.emplace_back(argument);
    }

    std::string m_socket;
    ChildProcess m_daemon;
    GMainContext* m_context = g_main_context_new();
    GDBusConnection* m_listener = nullptr;
    std::vector<std::string> m_arguments;
};

// One GSettings key's value as the gsettings tool prints it.
struct Expected {
    std::string m_schema;
    const char* m_key;
    const char* m_value;
};

// In a store of either kind: the keyfile, and dconf (the desktops' own) through a session bus.
void SetEveryProtocolThenOnlyTheMode(const Environment& session) {
    Gsettings(session, {"set", "org.gnome.system.proxy.socks", "host", "9.9.9.9"});
    const std::string proxy = "org.gnome.system.proxy";
    const std::vector<Expected> afterProxy = {
        {proxy, "mode", "'manual'"},
        {proxy, "ignore-hosts", "['localhost', '127.0.0.0/8', '::1']"},
        {proxy + ".http", "host", "'10.1.2.3'"},
        {proxy + ".http", "port", "8080"},
        {proxy + ".https", "host", "'10.1.2.3'"},
        {proxy + ".https", "port", "8080"},
        {proxy + ".ftp", "host", "'10.1.2.3'"},
        {proxy + ".ftp", "port", "8080"},
        {proxy + ".socks", "host", "'9.9.9.9'"},
        {proxy + ".socks", "port", "0"},
    };
    ProgramResult result = Probe({"proxy", "10.1.2.3:8080"}, session);
    EXPECT_EQ(result.m_exitCode, 0);
    EXPECT_EQ(result.m_errors, "");
    for (const Expected& e : afterProxy)
        EXPECT_EQ(Gsettings(session, {"get", e.m_schema, e.m_key}), e.m_value) << e.m_schema << " " << e.m_key;

    result = Probe({"direct"}, session);
    EXPECT_EQ(result.m_exitCode, 0);
    EXPECT_EQ(result.m_errors, "");
    for (Expected e : afterProxy) {
        if (std::string_view(e.m_key) == "mode")
            e.m_value = "'none'";
        EXPECT_EQ(Gsettings(session, {"get", e.m_schema, e.m_key}), e.m_value) << e.m_schema << " " << e.m_key;
    }
}

TEST(GnomeSystemProxy, SetsEveryProtocolThenOnlyTheModeInTheKeyfile) {
    TempDir dir;
    SetEveryProtocolThenOnlyTheMode(Session(dir));
}

TEST(GnomeSystemProxy, SetsEveryProtocolThenOnlyTheModeInDconf) {
    TempDir dir;
    const Environment session = With(Session(dir), {{"GSETTINGS_BACKEND", std::nullopt}});
    // dconf's service is started by the bus and writes where this environment says.
    std::vector<std::unique_ptr<ScopedEnv>> daemonEnvironment;
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"})
        daemonEnvironment.push_back(std::make_unique<ScopedEnv>(name, session.at(name)->c_str()));
    // Found as $XDG_RUNTIME_DIR/bus, the way a desktop session has it.
    PrivateBus bus(dir.File("run/bus"), dir.File("bus.log"));
    ASSERT_TRUE(bus.Listening()) << dir.Read("bus.log");
    SetEveryProtocolThenOnlyTheMode(session);
    EXPECT_TRUE(std::filesystem::exists(dir.File("config/dconf/user")));
}

// Each kind of proxy writes its own keys over the user's values, and putting the kept values back gives
// every one of them back.
TEST(GnomeSystemProxy, EachKindWritesItsKeysAndTheUsersValuesComeBack) {
    const std::string proxy = "org.gnome.system.proxy";
    const std::vector<Expected> users = {
        {proxy, "mode", "'auto'"},
        {proxy + ".http", "host", "'corp.example'"},
        {proxy + ".http", "port", "3128"},
        {proxy + ".http", "use-authentication", "true"},
        {proxy + ".http", "authentication-user", "'me'"},
        {proxy + ".http", "authentication-password", "'mine'"},
        {proxy + ".https", "host", "'corp.example'"},
        {proxy + ".socks", "host", "'9.9.9.9'"},
        {proxy + ".socks", "port", "1081"},
    };
    // What every SOCKS switch writes: the other protocols emptied, no http credentials, the user's left.
    const std::vector<Expected> socks = {
        {proxy + ".http", "host", "''"},
        {proxy + ".http", "port", "0"},
        {proxy + ".https", "host", "''"},
        {proxy + ".ftp", "host", "''"},
        {proxy + ".socks", "host", "'10.1.2.3'"},
        {proxy + ".socks", "port", "1080"},
        {proxy + ".http", "use-authentication", "false"},
        {proxy + ".http", "authentication-user", "'me'"},
    };
    struct Case {
        std::vector<std::string> m_target;
        std::vector<Expected> m_after;
    };
    const Case cases[] = {
        {{"10.1.2.3:8080"},
         {{proxy + ".http", "host", "'10.1.2.3'"},
          {proxy + ".https", "port", "8080"},
          {proxy + ".http", "use-authentication", "false"},
          {proxy + ".http", "authentication-user", "'me'"},
          {proxy + ".socks", "host", "'9.9.9.9'"}}},
        {{"10.1.2.3:8080", "http", "user", "se'cret"},
         {{proxy + ".http", "host", "'10.1.2.3'"},
          {proxy + ".http", "use-authentication", "true"},
          {proxy + ".http", "authentication-user", "'user'"},
          {proxy + ".http", "authentication-password", "\"se'cret\""},
          {proxy + ".socks", "host", "'9.9.9.9'"}}},
        {{"10.1.2.3:1080", "socks4", "", ""}, socks},
        {{"10.1.2.3:1080", "socks5", "user", "secret"}, socks},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_target.size() > 1 ? c.m_target[1] + " " + c.m_target[2] : "http");
        TempDir dir;
        const Environment session = Session(dir);
        for (const Expected& v : users)
            Gsettings(session, {"set", v.m_schema, v.m_key, v.m_value});
        std::vector<std::string> args = {"switch", dir.Path()};
        args.insert(args.end(), c.m_target.begin(), c.m_target.end());
        ProgramResult result = Probe(args, session);
        EXPECT_EQ(result.m_exitCode, 0) << result.m_errors;
        EXPECT_EQ(Gsettings(session, {"get", proxy, "mode"}), "'manual'");
        for (const Expected& v : c.m_after)
            EXPECT_EQ(Gsettings(session, {"get", v.m_schema, v.m_key}), v.m_value) << v.m_schema << " " << v.m_key;
        result = Probe({"restore", dir.Path()}, session);
        EXPECT_EQ(result.m_exitCode, 0) << result.m_errors;
        for (const Expected& v : users)
            EXPECT_EQ(Gsettings(session, {"get", v.m_schema, v.m_key}), v.m_value) << v.m_schema << " " << v.m_key;
    }
}

TEST(GnomeSystemProxy, FailsQuietlyAndWritesNothing) {
    TempDir dir;
    const std::string empty = dir.File("empty");
    std::filesystem::create_directories(empty);
    const Environment noSchema = {{"GSETTINGS_SCHEMA_DIR", empty}, {"XDG_DATA_DIRS", empty}, {"XDG_DATA_HOME", empty}};
    const Environment dconf = {{"GSETTINGS_BACKEND", std::nullopt}};
    const std::vector<std::string> proxy = {"proxy", "10.1.2.3:8080"};
    const std::vector<std::string> direct = {"direct"};
    struct Case {
        const char* m_name;
        Environment m_changes;
        std::vector<std::string> m_args;
    };
    const Case cases[] = {
        {"schema missing", noSchema, proxy},
        {"schema missing, direct", noSchema, direct},
        {"dconf without a session bus", dconf, proxy},
        {"dconf without a session bus, direct", dconf, direct},
        {"dconf, nothing listens at the bus address",
         With(dconf, {{"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir.File("run/gone")}}), proxy},
        {"dconf, a bus address GIO would launch", With(dconf, {{"DBUS_SESSION_BUS_ADDRESS", "autolaunch:"}}), direct},
        {"the memory store", {{"GSETTINGS_BACKEND", "memory"}}, proxy},
        {"no port", {}, {"proxy", "10.1.2.3"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_name);
        const Environment session = With(Session(dir), c.m_changes);
        const ProgramResult result = Probe(c.m_args, session);
        EXPECT_EQ(result.m_exitCode, 1);
        EXPECT_EQ(result.m_errors, "");
        EXPECT_EQ(FilesUnder(dir.File("config")), 0u);
        EXPECT_FALSE(std::filesystem::exists(dir.File("home")));
        std::filesystem::remove_all(dir.File("config"));
        std::filesystem::remove_all(dir.File("home"));
    }
}

// Kept values that are not GNOME's (a damaged or hand-edited record) change nothing and stay for a look.
TEST(GnomeSystemProxy, PutsBackOnlyValuesItCanTake) {
    const std::string heading = "# The desktop's own proxy settings while orv's proxy is set. Do not edit.\n";
    const std::string records[] = {heading + "mode='sometimes'\n", heading + "mode='auto'\nhttp.port='80'\n",
                                   heading + "ignore-hosts=['a', \n", "mode='auto'\n"};
    for (const std::string& record : records) {
        SCOPED_TRACE(record);
        TempDir dir;
        const Environment session = Session(dir);
        Gsettings(session, {"set", "org.gnome.system.proxy", "mode", "'manual'"});
        dir.Write("desktop-proxy-gnome.txt", record);
        const ProgramResult result = Probe({"restore", dir.Path()}, session);
        EXPECT_EQ(result.m_exitCode, 1);
        EXPECT_EQ(result.m_errors, "");
        EXPECT_EQ(Gsettings(session, {"get", "org.gnome.system.proxy", "mode"}), "'manual'");
        EXPECT_EQ(dir.Read("desktop-proxy-gnome.txt"), record);
    }
}

TEST(KdeSystemProxy, TellsTheSessionBusToRereadTheFile) {
    TempDir dir;
    PrivateBus bus(dir.File("bus"), dir.File("bus.log"));
    ASSERT_TRUE(bus.Listening()) << dir.Read("bus.log");
    ScopedEnv config("XDG_CONFIG_HOME", dir.Path().c_str());
    // The bus named by its address, then found as $XDG_RUNTIME_DIR/bus.
    const std::string address = "unix:path=" + bus.Socket();
    const char* const addresses[] = {address.c_str(), nullptr};
    size_t signals = 0;
    for (const char* given : addresses) {
        SCOPED_TRACE(given ? given : "XDG_RUNTIME_DIR");
        ScopedEnv busAddress("DBUS_SESSION_BUS_ADDRESS", given);
        ScopedEnv runtime("XDG_RUNTIME_DIR", given ? nullptr : dir.Path().c_str());
        KdeSystemProxy kde;
        EXPECT_TRUE(kde.SetIEProxyAll({"10.1.2.3:8080"}));
        EXPECT_TRUE(kde.SetIEDirectAll());
        signals += 2;
        EXPECT_EQ(bus.WaitFor(signals), std::vector<std::string>(signals, ""));
    }
    EXPECT_NE(dir.Read("kioslaverc").find("ProxyType=0\n"), std::string::npos);
}

TEST(KdeSystemProxy, ABusThatNeverAnswersDoesNotHoldTheSwitch) {
    TempDir dir;
    // Takes connections into its backlog and never says a word.
    const int silent = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un where{};
    where.sun_family = AF_UNIX;
    const std::string path = dir.File("silent");
    ASSERT_LT(path.size(), sizeof where.sun_path);
    path.copy(where.sun_path, path.size());
    ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&where), sizeof where), 0);
    ASSERT_EQ(listen(silent, 8), 0);
    ScopedEnv config("XDG_CONFIG_HOME", dir.Path().c_str());
    ScopedEnv busAddress("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + path).c_str());

    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(KdeSystemProxy().SetIEProxyAll({"10.1.2.3:8080"}));
    // The wait for the bus is bounded by a few seconds; far less than a hang, even on a loaded machine.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
    EXPECT_NE(dir.Read("kioslaverc").find("ProxyType=1\n"), std::string::npos);
    close(silent);
}

} // namespace
