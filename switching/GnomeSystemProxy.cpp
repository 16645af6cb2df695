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

// The keys of the main schema (child "") or of one of its children that a call needs.
struct Schema {
    const char* m_child;
    std::vector<Key> m_keys;
};

const std::vector<Key> HostKeys = {{"host", "s"}, {"port", "i"}};
// The http proxy's host and port with its credentials.
const std::vector<Key> HttpKeys = {{"host", "s"},
                                   {"port", "i"},
                                   {"use-authentication", "b"},
                                   {"authentication-user", "s"},
                                   {"authentication-password", "s"}};

// Every key a switch to our proxy may change: these are the user's values that are kept and put back.
// The http proxy's credentials are the user's, for the user's proxy: ours must not receive them.
const std::vector<Schema> KeptKeys = {
    {"", {{"mode", "s"}, {"autoconfig-url", "s"}, {"ignore-hosts", "as"}}},
    {"http", HttpKeys},
    {"https", HostKeys},
    {"ftp", HostKeys},
    {"socks", HostKeys},
};

const std::vector<Schema> ProxyKeys = {{"", {{"mode", "s"}, {"ignore-hosts", "as"}}},
                                       {"http", {{"host", "s"}, {"port", "i"}, {"use-authentication", "b"}}},
                                       {"https", HostKeys},
                                       {"ftp", HostKeys}};

// An HTTP proxy with credentials also fills the http proxy's credentials.
const std::vector<Schema> AuthenticatedKeys = {
    {"", {{"mode", "s"}, {"ignore-hosts", "as"}}}, {"http", HttpKeys}, {"https", HostKeys}, {"ftp", HostKeys}};

// A SOCKS proxy empties the other protocols' hosts: with none of them set, programs go through SOCKS.
const std::vector<Schema> SocksKeys = {{"", {{"mode", "s"}, {"ignore-hosts", "as"}}},
                                       {"http", {{"host", "s"}, {"port", "i"}, {"use-authentication", "b"}}},
                                       {"https", HostKeys},
                                       {"ftp", HostKeys},
                                       {"socks", HostKeys}};

const std::vector<Schema>& KeysFor(const platform::ProxyTarget& target) {
    if (target.m_protocol != platform::ProxyProtocol::Http)
        return SocksKeys;
    return target.HasCredentials() ? AuthenticatedKeys : ProxyKeys;
}

const std::vector<Schema> DirectKeys = {{"", {{"mode", "s"}}}};

// The name of a value in the record: the key, after its child's name for a child's key.
std::string ValueName(const Schema& schema, const Key& key) {
    return *schema.m_child ? std::string(schema.m_child) + "." + key.m_name : key.m_name;
}

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

std::vector<std::string> ReadStrings(GSettings* settings, const char* key) {
    gchar** values = g_settings_get_strv(settings, key);
    std::vector<std::string> strings(values, values + g_strv_length(values));
    g_strfreev(values);
    return strings;
}

std::string Print(GVariant* value) {
    gchar* text = g_variant_print(value, FALSE);
    std::string printed(text);
    g_free(text);
    return printed;
}

struct VariantUnref {
    void operator()(GVariant* value) const { g_variant_unref(value); }
};
using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;

// The value text of a record read back for the key: nothing when it does not parse as the key's type or
// lies outside its range (a mode this schema does not know).
VariantPtr Parse(GSettingsSchema* schema, const Key& key, const std::string& text) {
    VariantPtr value(g_variant_parse(G_VARIANT_TYPE(key.m_type), text.c_str(), nullptr, nullptr, nullptr));
    GSettingsSchemaKey* schemaKey = g_settings_schema_get_key(schema, key.m_name);
    const bool inRange = value && g_settings_schema_key_range_check(schemaKey, value.get());
    g_settings_schema_key_unref(schemaKey);
    return inRange ? std::move(value) : nullptr;
}

// The proxy's settings: the main schema and the children a call needs, each opened only once all are
// known good.
class ProxySettings {
public:
    // Opens the schemas (the main one first), false when any of them, or a key, is missing or locked.
    bool Open(const std::vector<Schema>& schemas) {
        m_schemas = &schemas;
        std::vector<SchemaPtr> found;
        for (const Schema& schema : schemas) {
            const std::string id = *schema.m_child ? std::string(ProxySchema) + "." + schema.m_child : ProxySchema;
            found.push_back(LookUp(id, schema.m_keys));
            if (!found.back())
                return false;
        }
        if (!ModeAllowed(found.front().get(), "manual") || !ModeAllowed(found.front().get(), "none") ||
            !StoreKeepsValues())
            return false;
        for (size_t i = 0; i < schemas.size(); ++i) {
            m_settings.emplace_back(g_settings_new_full(found[i].get(), nullptr, nullptr));
            if (!Writable(m_settings.back().get(), schemas[i].m_keys))
                return false;
        }
        m_found = std::move(found);
        return true;
    }

    GSettings* Main() const { return m_settings.front().get(); }
    // The child of that name; it must be among the opened schemas.
    GSettings* Child(std::string_view child) const {
        for (size_t i = 0; i < m_schemas->size(); ++i)
            if (child == (*m_schemas)[i].m_child)
                return m_settings[i].get();
        return nullptr;
    }

    // The values of the opened keys that the user has set.
    platform::ProxyValues UserValues() const {
        platform::ProxyValues values;
        for (size_t i = 0; i < m_schemas->size(); ++i)
            for (const Key& key : (*m_schemas)[i].m_keys)
                if (const VariantPtr value{g_settings_get_user_value(m_settings[i].get(), key.m_name)})
                    values[ValueName((*m_schemas)[i], key)] = Print(value.get());
        return values;
    }

    // Sets every opened key to its value, or back to its default where values has none. Checks them all
    // first, so that a damaged record changes nothing. Returns the values as the store should now hold them.
    std::optional<platform::ProxyValues> Restore(const platform::ProxyValues& values) const {
        std::vector<std::vector<VariantPtr>> parsed(m_schemas->size());
        platform::ProxyValues expected;
        for (size_t i = 0; i < m_schemas->size(); ++i) {
            for (const Key& key : (*m_schemas)[i].m_keys) {
                const auto value = values.find(ValueName((*m_schemas)[i], key));
                VariantPtr& variant = parsed[i].emplace_back();
                if (value == values.end())
                    continue;
                variant = Parse(m_found[i].get(), key, value->second);
                if (!variant)
                    return std::nullopt;
                expected[value->first] = Print(variant.get());
            }
        }
        for (size_t i = 0; i < m_schemas->size(); ++i) {
            for (size_t k = 0; k < parsed[i].size(); ++k) {
                const char* name = (*m_schemas)[i].m_keys[k].m_name;
                if (parsed[i][k])
                    g_settings_set_value(m_settings[i].get(), name, parsed[i][k].get());
                else
                    g_settings_reset(m_settings[i].get(), name);
            }
        }
        return expected;
    }

private:
    const std::vector<Schema>* m_schemas = nullptr;
    std::vector<SchemaPtr> m_found;
    std::vector<SettingsPtr> m_settings;
};

std::vector<const char*> NullTerminated(const std::vector<std::string>& strings) {
    std::vector<const char*> pointers;
    for (const std::string& text : strings)
        pointers.push_back(text.c_str());
    pointers.push_back(nullptr);
    return pointers;
}

// The user's own credentials are for the user's proxy: ours gets only its own, or none.
void SetCredentials(GSettings* http, const platform::ProxyTarget& target) {
    g_settings_set_boolean(http, "use-authentication", target.HasCredentials());
    if (!target.HasCredentials())
        return;
    g_settings_set_string(http, "authentication-user", target.m_user.c_str());
    g_settings_set_string(http, "authentication-password", target.m_password.c_str());
}

} // namespace

bool GnomeSystemProxy::SetIEProxyAll(const platform::ProxyTarget& target) {
    const auto parsed = ParseProxyServer(target.m_server);
    ProxySettings settings;
    if (!parsed || !settings.Open(KeysFor(target)))
        return false;
    const bool socks = target.m_protocol != platform::ProxyProtocol::Http;
    for (const char* protocol : Protocols) {
        g_settings_set_string(settings.Child(protocol), "host", socks ? "" : parsed->m_host.c_str());
        g_settings_set_int(settings.Child(protocol), "port", socks ? 0 : parsed->m_port);
    }
    if (socks) {
        // GNOME has no SOCKS credentials: a SOCKS5 proxy that wants them turns the desktop's programs down.
        g_settings_set_string(settings.Child("socks"), "host", parsed->m_host.c_str());
        g_settings_set_int(settings.Child("socks"), "port", parsed->m_port);
    }
    SetCredentials(settings.Child("http"), socks ? platform::ProxyTarget{} : target);
    const std::vector<std::string> hosts = WithLocalHosts(ReadStrings(settings.Main(), "ignore-hosts"));
    g_settings_set_strv(settings.Main(), "ignore-hosts", NullTerminated(hosts).data());
    g_settings_set_string(settings.Main(), "mode", "manual");
    g_settings_sync();
    // dconf writes through its service; a refused write shows as the old value once synced.
    return ReadString(settings.Main(), "mode") == "manual" &&
           ReadString(settings.Child(socks ? "socks" : "http"), "host") == parsed->m_host;
}

bool GnomeSystemProxy::SetIEDirectAll() {
    ProxySettings settings;
    if (!settings.Open(DirectKeys))
        return false;
    g_settings_set_string(settings.Main(), "mode", "none");
    g_settings_sync();
    return ReadString(settings.Main(), "mode") == "none";
}

std::optional<platform::ProxyValues> GnomeSystemProxy::ReadUserValues() {
    ProxySettings settings;
    if (!settings.Open(KeptKeys))
        return std::nullopt;
    return settings.UserValues();
}

bool GnomeSystemProxy::RestoreUserValues(const platform::ProxyValues& values) {
    ProxySettings settings;
    if (!settings.Open(KeptKeys))
        return false;
    const auto expected = settings.Restore(values);
    if (!expected)
        return false;
    g_settings_sync();
    return settings.UserValues() == *expected;
}
