#include "switching/GnomeSystemProxy.h"

#include "switching/ProxyServer.h"
#include "switching/SessionBus.h"

#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

#include <array>
#include <chrono>
#include <memory>
#include <string_view>
#include <vector>

namespace {

constexpr const char* ProxySchema = "org.gnome.system.proxy";
constexpr std::array<const char*, 3> Protocols = {"http", "https", "ftp"};
constexpr std::array<const char*, 4> LocalHosts = {"localhost", "127.0.0.0/8", "::1", nullptr};
constexpr std::chrono::seconds BusLimit{3};

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using SettingsPtr = std::unique_ptr<GSettings, ObjectUnref>;

struct SchemaUnref {
    void operator()(GSettingsSchema* schema) const { g_settings_schema_unref(schema); }
};
using SchemaPtr = std::unique_ptr<GSettingsSchema, SchemaUnref>;

struct Key {
    const char* m_name;
    const char* m_type;
};

// The store GSettings writes to holds the values beyond this process: dconf only with a session bus
// (without one it warns on the terminal or launches a bus), never the memory store.
bool StoreKeepsValues() {
    GSettingsBackend* backend = g_settings_backend_get_default();
    const std::string_view type = G_OBJECT_TYPE_NAME(backend);
    g_object_unref(backend);
    if (type == "DConfSettingsBackend")
        return SessionBus::Answers(BusLimit);
    return type != "GMemorySettingsBackend" && type != "GNullSettingsBackend";
}

// The installed schema id with the keys of these types; nothing otherwise, because GSettings aborts the
// process for a missing schema or key.
SchemaPtr LookUp(const std::string& id, const std::vector<Key>& keys) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source)
        return nullptr;
    SchemaPtr schema(g_settings_schema_source_lookup(source, id.c_str(), TRUE));
    // A relocatable schema has no path of its own; opening it without one aborts too.
    if (!schema || !g_settings_schema_get_path(schema.get()))
        return nullptr;
    for (const Key& key : keys) {
        if (!g_settings_schema_has_key(schema.get(), key.m_name))
            return nullptr;
        GSettingsSchemaKey* schemaKey = g_settings_schema_get_key(schema.get(), key.m_name);
        const bool typed =
            g_variant_type_equal(g_settings_schema_key_get_value_type(schemaKey), G_VARIANT_TYPE(key.m_type));
        g_settings_schema_key_unref(schemaKey);
        if (!typed)
            return nullptr;
    }
    return schema;
}

bool Writable(GSettings* settings, const std::vector<Key>& keys) {
    for (const Key& key : keys)
        if (!g_settings_is_writable(settings, key.m_name))
            return false;
    return true;
}

bool ModeAllowed(GSettingsSchema* schema, const char* mode) {
    GSettingsSchemaKey* key = g_settings_schema_get_key(schema, "mode");
    GVariant* value = g_variant_ref_sink(g_variant_new_string(mode));
    const bool allowed = g_settings_schema_key_range_check(key, value);
    g_variant_unref(value);
    g_settings_schema_key_unref(key);
    return allowed;
}

std::string ReadString(GSettings* settings, const char* key) {
    gchar* value = g_settings_get_string(settings, key);
    std::string text(value);
    g_free(value);
    return text;
}

// The proxy's settings: the main schema and its children, each opened only once all are known good.
class ProxySettings {
public:
    // Opens the main schema and, withProtocols, its children; false when any is missing or locked.
    bool Open(bool withProtocols) {
        const std::vector<Key> mainKeys = {{"mode", "s"}, {"ignore-hosts", "as"}};
        const std::vector<Key> childKeys = {{"host", "s"}, {"port", "i"}};
        const SchemaPtr main = LookUp(ProxySchema, mainKeys);
        if (!main || !ModeAllowed(main.get(), "manual") || !ModeAllowed(main.get(), "none"))
            return false;
        std::vector<SchemaPtr> children;
        for (size_t i = 0; withProtocols && i < Protocols.size(); ++i) {
            children.push_back(LookUp(std::string(ProxySchema) + "." + Protocols[i], childKeys));
            if (!children.back())
                return false;
        }
        if (!StoreKeepsValues())
            return false;
        m_main.reset(g_settings_new_full(main.get(), nullptr, nullptr));
        if (!Writable(m_main.get(), withProtocols ? mainKeys : std::vector<Key>{{"mode", "s"}}))
            return false;
        for (const SchemaPtr& child : children) {
            m_children.emplace_back(g_settings_new_full(child.get(), nullptr, nullptr));
            if (!Writable(m_children.back().get(), childKeys))
                return false;
        }
        return true;
    }

    GSettings* Main() const { return m_main.get(); }
    const std::vector<SettingsPtr>& Children() const { return m_children; }

private:
    SettingsPtr m_main;
    std::vector<SettingsPtr> m_children;
};

} // namespace

bool GnomeSystemProxy::SetIEProxyAll(const std::string& server) {
    const auto parsed = ParseProxyServer(server);
    ProxySettings settings;
    if (!parsed || !settings.Open(true))
        return false;
    for (const SettingsPtr& child : settings.Children()) {
        g_settings_set_string(child.get(), "host", parsed->m_host.c_str());
        g_settings_set_int(child.get(), "port", parsed->m_port);
    }
    g_settings_set_strv(settings.Main(), "ignore-hosts", LocalHosts.data());
    g_settings_set_string(settings.Main(), "mode", "manual");
    g_settings_sync();
    // dconf writes through its service; a refused write shows as the old value once synced.
    return ReadString(settings.Main(), "mode") == "manual" &&
           ReadString(settings.Children().front().get(), "host") == parsed->m_host;
}

bool GnomeSystemProxy::SetIEDirectAll() {
    ProxySettings settings;
    if (!settings.Open(false))
        return false;
    g_settings_set_string(settings.Main(), "mode", "none");
    g_settings_sync();
    return ReadString(settings.Main(), "mode") == "none";
}
