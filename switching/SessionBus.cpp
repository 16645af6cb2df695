#include "switching/SessionBus.h"

#include <gio/gio.h>
#include <sys/stat.h>

#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

namespace {

// Cancels a blocking GIO call that has not ended within the limit, e.g. a bus that accepts the
// connection and then never answers.
class Watchdog {
public:
    Watchdog(GCancellable* cancellable, std::chrono::milliseconds limit)
        : m_thread([this, cancellable, limit] {
              std::unique_lock lock(m_mutex);
              if (!m_ended.wait_for(lock, limit, [this] { return m_done; }))
                  g_cancellable_cancel(cancellable);
          }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_ended.notify_one();
        m_thread.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_done = false;
    std::thread m_thread; // last: it uses the members above
};

// Runs use on a private connection to the bus (not GIO's shared one, which ends the process when the
// bus goes away), all within limit.
bool WithConnection(std::chrono::milliseconds limit, const std::function<bool(GDBusConnection*, GCancellable*)>& use) {
    const auto address = SessionBus::Address();
    if (!address)
        return false;
    GCancellable* cancellable = g_cancellable_new();
    bool done = false;
    {
        Watchdog watchdog(cancellable, limit);
        GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
            address->c_str(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, cancellable, nullptr);
        if (connection) {
            done = use(connection, cancellable);
            g_dbus_connection_close_sync(connection, cancellable, nullptr);
            g_object_unref(connection);
        }
    }
    g_object_unref(cancellable);
    return done;
}

void AddValue(GVariant* value, std::vector<SessionBus::Value>& values) {
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_VARIANT)) {
        GVariant* inner = g_variant_get_variant(value);
        AddValue(inner, values);
        g_variant_unref(inner);
    } else if (g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN)) {
        values.emplace_back(g_variant_get_boolean(value) != FALSE);
    } else if (g_variant_is_of_type(value, G_VARIANT_TYPE_INT32)) {
        values.emplace_back(g_variant_get_int32(value));
    } else if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING)) {
        values.emplace_back(std::string(g_variant_get_string(value, nullptr)));
    }
}

} // namespace

namespace SessionBus {

std::optional<std::string> Address() {
    const char* given = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (given && *given) {
        // GIO would start a bus for this transport.
        if (std::string_view(given).find("autolaunch:") != std::string_view::npos)
            return std::nullopt;
        return std::string(given);
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || *runtime != '/')
        return std::nullopt;
    const std::string socket = std::string(runtime) + "/bus";
    struct stat info {};
    if (::stat(socket.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode))
        return std::nullopt;
    gchar* escaped = g_dbus_address_escape_value(socket.c_str());
    std::string address = std::string("unix:path=") + escaped;
    g_free(escaped);
    return address;
}

bool Answers(std::chrono::milliseconds limit) {
    return WithConnection(limit, [](GDBusConnection*, GCancellable*) { return true; });
}

bool EmitSignal(const std::string& path, const std::string& interface, const std::string& member,
                const std::string& argument, std::chrono::milliseconds limit) {
    return WithConnection(limit, [&](GDBusConnection* connection, GCancellable* cancellable) {
        return g_dbus_connection_emit_signal(connection, nullptr, path.c_str(), interface.c_str(), member.c_str(),
                                             g_variant_new("(s)", argument.c_str()), nullptr) &&
               g_dbus_connection_flush_sync(connection, cancellable, nullptr);
    });
}

CallReply CallMethod(const std::string& service, const std::string& path, const std::string& interface,
                     const std::string& member, const std::vector<std::string>& arguments,
                     std::chrono::milliseconds limit) {
    CallReply reply;
    WithConnection(limit, [&](GDBusConnection* connection, GCancellable* cancellable) {
        GVariantBuilder builder;
        g_variant_builder_init(&builder, G_VARIANT_TYPE_TUPLE);
        for (const std::string& argument : arguments)
            g_variant_builder_add(&builder, "s", argument.c_str());
        GError* error = nullptr;
        GVariant* values =
            g_dbus_connection_call_sync(connection, service.c_str(), path.c_str(), interface.c_str(), member.c_str(),
                                        g_variant_builder_end(&builder), nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START,
                                        static_cast<int>(limit.count()), cancellable, &error);
        if (values != nullptr) {
            reply.m_reached = true;
            for (gsize i = 0; i < g_variant_n_children(values); ++i) {
                GVariant* value = g_variant_get_child_value(values, i);
                AddValue(value, reply.m_values);
                g_variant_unref(value);
            }
            g_variant_unref(values);
        } else if (g_dbus_error_is_remote_error(error)) {
            reply.m_reached = true;
            gchar* name = g_dbus_error_get_remote_error(error);
            reply.m_errorName = name;
            g_free(name);
            g_dbus_error_strip_remote_error(error);
            reply.m_errorText = error->message;
        }
        if (error != nullptr)
            g_error_free(error);
        return reply.m_reached;
    });
    return reply;
}

} // namespace SessionBus
