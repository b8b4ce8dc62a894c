// Process start: settings, command line, toolkit, main window, main loop.
#pragma once

#include "core/settings_values.h"
#include "ui/glib_ptr.h"

#include <gio/gio.h>

namespace sealkeep {

// The whole program; returns 0 on every path it controls.
int sealkeep_main(int argc, char** argv);

void print_usage(const char* program_name);
void init_toolkit();
// Builds the main window around these settings and runs the main loop until Quit or the window closes;
// a load still running then is stopped before this returns.
void run_main_window(SettingsValues settings, RefPtr<GSettings> settings_object, bool ask_at_start,
                     bool file_path_given);

} // namespace sealkeep
