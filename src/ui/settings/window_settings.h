// The settings as the window holds them: the values in use, the store they come from and go to, the
// handler that follows changes made outside, and the warning shown when a value did not reach the store.
#pragma once

#include "core/settings_values.h"
#include "ui/glib_ptr.h"

#include <gio/gio.h>
#include <gtk/gtk.h>

namespace sealkeep {

struct WindowSettings {
    WindowSettings() = default;
    WindowSettings(const WindowSettings&) = delete;
    WindowSettings& operator=(const WindowSettings&) = delete;

    SettingsValues values;     // the values in use
    RefPtr<GSettings> object;  // null: nothing is stored (tests, a missing bus)
    // The path given on the command line is in force for this run, whatever the store says, until the
    // user picks another file.
    bool file_path_given = false;
    gulong changed_handler = 0;           // follows changes of the store made outside this window
    GtkWidget* not_stored_dialog = nullptr; // the warning that settings did not reach the store, while shown
};

} // namespace sealkeep
