// The settings store: the six values in GSettings, always over dconf; the password file's path is kept
// in a form that carries any bytes.
#include "ui/settings/settings_store.h"

#include "core/record_reader.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

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

constexpr std::string_view URI_PREFIX = "file://";

bool is_path_field(std::string SettingsValues::*field)
{
    return field == &SettingsValues::password_file_path;
}

// For each key a settings object wrote: the stored text the write replaced, and when.
struct ReplacedValue {
    std::string text;
    gint64 written_at;
};
using ReplacedValues = std::map<std::string, ReplacedValue>;
constexpr const char* REPLACED_VALUES = "sealkeep-replaced-values";
constexpr gint64 TAKE_BACK_WINDOW = 60 * G_TIME_SPAN_SECOND;

ReplacedValues& replaced_values(GSettings* settings)
{
    auto* values = static_cast<ReplacedValues*>(g_object_get_data(G_OBJECT(settings), REPLACED_VALUES));
    if (!values) {
        values = new ReplacedValues;
        g_object_set_data_full(G_OBJECT(settings), REPLACED_VALUES, values,
                               [](gpointer data) { delete static_cast<ReplacedValues*>(data); });
    }
    return *values;
}

} // namespace

std::string stored_form_of_path(const std::string& path)
{
    const bool utf8 = g_utf8_validate(path.data(), static_cast<gssize>(path.size()), nullptr);
    if (utf8 && !path.starts_with(URI_PREFIX))
        return path;
    // A URI names an absolute path. "~/" is the home folder and any other relative path is taken from
    // the current folder, as a load would take it.
    std::string absolute = expand_home(path);
    if (!g_path_is_absolute(absolute.c_str())) {
        GCharPtr current{g_get_current_dir()};
        GCharPtr joined{g_build_filename(current.get(), absolute.c_str(), nullptr)};
        absolute = joined.get();
    }
    GErrorPtr error;
    GCharPtr uri{g_filename_to_uri(absolute.c_str(), nullptr, GErrorOut(error))};
    if (uri)
        return uri.get();
    // Only a path with a NUL byte gets here, and no file has such a name; its valid part stands in for it.
    GCharPtr valid{g_utf8_make_valid(path.c_str(), -1)};
    return valid.get();
}

std::string path_of_stored_form(const std::string& stored)
{
    if (!stored.starts_with(URI_PREFIX))
        return stored;
    GErrorPtr error;
    gchar* host = nullptr;
    GCharPtr path{g_filename_from_uri(stored.c_str(), &host, GErrorOut(error))};
    GCharPtr host_owned{host};
    // A value typed by hand that is no valid URI, or that names a file on another host, is still someone's
    // path: it is used as it stands rather than as some local file.
    const bool local = !host || g_strcmp0(host, "localhost") == 0;
    return path && local ? std::string(path.get()) : stored;
}

bool is_own_write_taken_back(GSettings* settings, const char* key, const std::string& stored)
{
    ReplacedValues& replaced = replaced_values(settings);
    auto found = replaced.find(key);
    if (found == replaced.end())
        return false;
    // dconf may bring the old value back more than once (one signal per failed write it retries), so
    // every such echo within the window is ignored, not only the first.
    return found->second.text == stored && g_get_monotonic_time() - found->second.written_at < TAKE_BACK_WINDOW;
}

const SettingKey* key_of_field(std::string SettingsValues::*field)
{
    for (const auto& key : setting_keys())
        if (key.value == field)
            return &key;
    return nullptr;
}

RefPtr<GSettings> open_settings()
{
    setenv("GSETTINGS_BACKEND", "dconf", 1);

    GSettingsSchema* schema = find_schema();
    if (!schema) {
        // GLib would abort with a core dump; say what is missing and how to get it instead.
        std::fprintf(stderr,
                     "Sealkeep: the settings schema %s is not installed. Reinstall Sealkeep (its package, or "
                     "scripts/run from the sources) or compile the schema with glib-compile-schemas into a "
                     "folder on GSETTINGS_SCHEMA_DIR.\n",
                     SCHEMA_ID);
        std::exit(1);
    }
    RefPtr<GSettings> settings = take_ref(g_settings_new_full(schema, nullptr, nullptr));
    g_settings_schema_unref(schema);
    return settings;
}

void load_setting(GSettings* settings, const SettingKey& key, SettingsValues& values)
{
    gchar* raw = nullptr;
    g_settings_get(settings, key.key, "s", &raw);
    GCharPtr value{raw};
    std::string text = value ? value.get() : "";
    values.*key.value = is_path_field(key.value) ? path_of_stored_form(text) : text;
}

SettingsValues load_settings(GSettings* settings)
{
    SettingsValues values;
    for (const auto& key : setting_keys())
        load_setting(settings, key, values);
    for (const auto& key : int_setting_keys())
        values.*key.value = g_settings_get_int(settings, key.key);
    values.search_filter = g_settings_get_boolean(settings, SEARCH_FILTER_KEY);
    values.password_recipe.length = g_settings_get_int(settings, GENERATE_LENGTH_KEY);
    values.password_recipe.letters = g_settings_get_boolean(settings, GENERATE_LETTERS_KEY);
    values.password_recipe.digits = g_settings_get_boolean(settings, GENERATE_DIGITS_KEY);
    values.password_recipe.punctuation = g_settings_get_boolean(settings, GENERATE_PUNCTUATION_KEY);
    return values;
}

void save_password_recipe(GSettings* settings, const PasswordRecipe& recipe)
{
    if (!settings)
        return;
    g_settings_set_int(settings, GENERATE_LENGTH_KEY, recipe.length);
    g_settings_set_boolean(settings, GENERATE_LETTERS_KEY, recipe.letters);
    g_settings_set_boolean(settings, GENERATE_DIGITS_KEY, recipe.digits);
    g_settings_set_boolean(settings, GENERATE_PUNCTUATION_KEY, recipe.punctuation);
    g_settings_apply(settings);
    g_settings_sync();
}

void save_setting(GSettings* settings, const char* key, bool value)
{
    if (!settings)
        return;
    g_settings_set_boolean(settings, key, value);
    g_settings_apply(settings);
}

void save_int_setting(GSettings* settings, const char* key, int value)
{
    if (!settings)
        return;
    replaced_values(settings)[key] = {std::to_string(g_settings_get_int(settings, key)), g_get_monotonic_time()};
    g_settings_set_int(settings, key, value);
    g_settings_apply(settings);
    g_settings_sync();
}

void save_settings(GSettings* settings, const SettingsValues& values, const SettingFields& fields)
{
    if (!settings || fields.empty())
        return;
    for (auto field : fields) {
        const SettingKey* key = key_of_field(field);
        if (!key)
            continue;
        const std::string& value = values.*field;
        const std::string text = is_path_field(field) ? stored_form_of_path(value) : value;
        GCharPtr before{g_settings_get_string(settings, key->key)};
        replaced_values(settings)[key->key] = {before.get(), g_get_monotonic_time()};
        g_settings_set(settings, key->key, "s", text.c_str());
    }
    g_settings_apply(settings);
    // dconf writes asynchronously: without this, values saved just before the program ends are lost.
    g_settings_sync();
}

} // namespace sealkeep
