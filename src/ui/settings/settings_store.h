// The settings store: the six values in GSettings over dconf.
#pragma once

#include "core/settings_values.h"
#include "ui/glib_ptr.h"

#include <gio/gio.h>

#include <string>
#include <vector>

namespace sealkeep {

inline constexpr const char* SCHEMA_ID = "net.sealkeep.Sealkeep";

// Forces the dconf backend and opens the schema. Without an installed schema it prints one line
// naming the schema and how to install it, and exits with status 1.
RefPtr<GSettings> open_settings();

// Reads every value.
SettingsValues load_settings(GSettings* settings);

inline constexpr const char* SEARCH_FILTER_KEY = "search-filter";
inline constexpr const char* GENERATE_LENGTH_KEY = "generate-length";
inline constexpr const char* GENERATE_LETTERS_KEY = "generate-letters";
inline constexpr const char* GENERATE_DIGITS_KEY = "generate-digits";
inline constexpr const char* GENERATE_PUNCTUATION_KEY = "generate-punctuation";

// Writes the four keys of what Generate makes and waits until they have reached the store.
void save_password_recipe(GSettings* settings, const PasswordRecipe& recipe);

// Write one key of their own (the caller changed only it). A null settings object stores nothing.
void save_setting(GSettings* settings, const char* key, bool value);
void save_int_setting(GSettings* settings, const char* key, int value);

// Reads the value of one key into its place in `values`.
void load_setting(GSettings* settings, const SettingKey& key, SettingsValues& values);

// The values a save writes: each action names the ones it changed, so that a value someone else changed
// meanwhile (gsettings, another Sealkeep's Setup) is never put back.
using SettingFields = std::vector<std::string SettingsValues::*>;

// Writes the values of these fields only and waits until they have reached the store. A null settings
// object stores nothing.
void save_settings(GSettings* settings, const SettingsValues& values, const SettingFields& fields);

// A write that does not reach the store (no session bus) is taken back by dconf with a "changed" signal
// that brings back the value the key held before. True for such a signal (every one of them): the key
// was written here within the last minute and `stored` is the value the write replaced (an integer key's
// in decimal). Then the value in use stays what this window chose.
bool is_own_write_taken_back(GSettings* settings, const char* key, const std::string& stored);

// The key of a field (null for a pointer that is no settings field).
const SettingKey* key_of_field(std::string SettingsValues::*field);

// A password-file path is bytes, and the key holds text. A path that is valid UTF-8 is stored as it
// stands; any other path (and one that itself begins with "file://") is stored as the file:// URI of
// its absolute form, every byte outside ASCII escaped. Reading takes a value that begins with "file://"
// as such a URI and any other value as a plain path, so values stored by earlier versions read unchanged.
std::string stored_form_of_path(const std::string& path);
std::string path_of_stored_form(const std::string& stored);

} // namespace sealkeep
