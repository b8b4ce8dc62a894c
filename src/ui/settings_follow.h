// Following the settings store while the window runs: a value changed outside (gsettings, another
// Sealkeep's Setup) becomes the value in use, and an open Setup dialog shows it.
#pragma once

namespace sealkeep {

struct MainWindow;

// Connects the window to its settings object's "changed" signal (nothing without a settings object).
// Templates take effect at the next action and the path at the next load, since both are read from the
// values in use when an action or a load starts; a path given on the command line stays in force.
void follow_settings_changes(MainWindow& main);

// Stops following; the destructor of the window state calls it.
void stop_following_settings(MainWindow& main);

} // namespace sealkeep
