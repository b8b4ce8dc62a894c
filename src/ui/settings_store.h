// The settings store: the six values in GSettings over dconf.
#pragma once

#include "core/settings_values.h"
#include "ui/glib_ptr.h"

#include <gio/gio.h>

namespace sealkeep {

inline constexpr const char* SCHEMA_ID = "net.sealkeep.Sealkeep";

// Forces the dconf backend and opens the schema. Without an installed schema it prints one line
// naming the schema and how to install it, and exits with status 1.
RefPtr<GSettings> open_settings();

// Reads every value.
SettingsValues load_settings(GSettings* settings);

inline constexpr const char* SEARCH_FILTER_KEY = "search-filter";

// Writes the one boolean key (the caller changed only it). A null settings object stores nothing.
void save_setting(GSettings* settings, const char* key, bool value);

// Writes all six string values and waits until they have reached the store. A null settings object stores nothing.
void save_settings(GSettings* settings, const SettingsValues& values);

} // namespace sealkeep
