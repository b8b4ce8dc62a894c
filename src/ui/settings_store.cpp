// The settings store: the settings values in GSettings, always over dconf.
#include "ui/settings_store.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace sealkeep {

namespace {

GSettingsSchema* lookup_in_directory(const std::string& directory)
{
    GErrorPtr error;
    GSettingsSchemaSource* source = g_settings_schema_source_new_from_directory(
        directory.c_str(), g_settings_schema_source_get_default(), FALSE, GErrorOut(error));
    if (!source)
        return nullptr;
    GSettingsSchema* schema = g_settings_schema_source_lookup(source, SCHEMA_ID, FALSE);
    g_settings_schema_source_unref(source);
    return schema;
}

// The schema beside our own binary: <prefix>/bin/sealkeep finds <prefix>/share/glib-2.0/schemas.
std::string schema_dir_of_install_prefix()
{
    GCharPtr executable{g_file_read_link("/proc/self/exe", nullptr)};
    if (!executable)
        return {};
    GCharPtr bin_dir{g_path_get_dirname(executable.get())};
    GCharPtr prefix{g_path_get_dirname(bin_dir.get())};
    return std::string(prefix.get()) + "/share/glib-2.0/schemas";
}

// The schema from the search path, or else from our own install prefix, which is not always on it
// (a /usr/local install on a system that only searches /usr/share, or a private prefix).
GSettingsSchema* find_schema()
{
    if (GSettingsSchemaSource* source = g_settings_schema_source_get_default())
        if (GSettingsSchema* schema = g_settings_schema_source_lookup(source, SCHEMA_ID, TRUE))
            return schema;
    std::string directory = schema_dir_of_install_prefix();
    return directory.empty() ? nullptr : lookup_in_directory(directory);
}

} // namespace

RefPtr<GSettings> open_settings()
{
    setenv("GSETTINGS_BACKEND", "dconf", 1);

    GSettingsSchema* schema = find_schema();
    if (!schema) {
        // GLib would abort with a core dump; say what is missing and how to get it instead.
        std::fprintf(stderr,
                     "Sealkeep: the settings schema %s is not installed. Install Sealkeep (scripts/run) or "
                     "compile the schema with glib-compile-schemas into a folder on GSETTINGS_SCHEMA_DIR.\n",
                     SCHEMA_ID);
        std::exit(1);
    }
    RefPtr<GSettings> settings = take_ref(g_settings_new_full(schema, nullptr, nullptr));
    g_settings_schema_unref(schema);
    return settings;
}

SettingsValues load_settings(GSettings* settings)
{
    SettingsValues values;
    for (const auto& key : setting_keys()) {
        gchar* raw = nullptr;
        g_settings_get(settings, key.key, "s", &raw);
        GCharPtr value{raw};
        values.*key.value = value ? value.get() : "";
    }
    for (const auto& key : int_setting_keys())
        values.*key.value = g_settings_get_int(settings, key.key);
    values.search_filter = g_settings_get_boolean(settings, SEARCH_FILTER_KEY);
    return values;
}

void save_setting(GSettings* settings, const char* key, bool value)
{
    if (!settings)
        return;
    g_settings_set_boolean(settings, key, value);
    g_settings_apply(settings);
}

void save_settings(GSettings* settings, const SettingsValues& values)
{
    if (!settings)
        return;
    for (const auto& key : setting_keys())
        g_settings_set(settings, key.key, "s", (values.*key.value).c_str());
    for (const auto& key : int_setting_keys())
        g_settings_set_int(settings, key.key, values.*key.value);
    g_settings_apply(settings);
    // dconf writes asynchronously: without this, values saved just before the program ends are lost.
    g_settings_sync();
}

} // namespace sealkeep
