// The settings store: the six values in GSettings over dconf.
#pragma once

#include <gio/gio.h>

namespace sealkeep {

inline constexpr const char* SCHEMA_ID = "net.sealkeep.Sealkeep";

// Forces the dconf backend, opens the schema and reads all six values. Without an installed schema
// it prints one line naming the schema and how to install it, and exits with status 1.
void load_settings();

// Writes all six values and waits until they have reached the store.
void save_settings();

// The settings object (null before load_settings).
GSettings* settings_object();

} // namespace sealkeep
