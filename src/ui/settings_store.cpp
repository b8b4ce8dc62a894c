// The settings store: the six values in GSettings, always over dconf.
#include "ui/settings_store.h"

#include "ui/glib_ptr.h"
#include "core/settings_values.h"
#include "ui/i18n.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace sealkeep {

namespace {

// Owned for the whole run; never released (the process ends with it alive).
GSettings* settings = nullptr;

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

void load_settings()
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
    settings = g_settings_new_full(schema, nullptr, nullptr);
    g_settings_schema_unref(schema);

    for (const auto& key : setting_keys()) {
        gchar* raw = nullptr;
        g_settings_get(settings, key.key, "s", &raw);
        GCharPtr value{raw};
        *key.value = value ? value.get() : "";
    }
}

void save_settings()
{
    for (const auto& key : setting_keys())
        g_settings_set(settings, key.key, "s", key.value->c_str());
    g_settings_apply(settings);
    // dconf writes asynchronously: without this, values saved just before the program ends are lost.
    g_settings_sync();
}

GSettings* settings_object()
{
    return settings;
}

} // namespace sealkeep
