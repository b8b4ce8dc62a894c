// Following the settings store while the window runs: a value changed outside (gsettings, another
// Sealkeep's Setup) becomes the value in use, and an open Setup dialog shows it.
#pragma once

namespace sealkeep {

struct MainWindow;

// Connects the window to its settings object's "changed" signal (nothing without a settings object).
// Templates take effect at the next action and the path at the next load; a path given on the command
// line stays in force. A change of the Filter toggle's key turns the filter on or off.
void follow_settings_changes(MainWindow& main);

// The templates in use become the shown document's, so that the next action builds its command line
// from them (after Setup's OK or a change made outside).
void use_current_templates(MainWindow& main);

// Setup's OK put new values in use: the templates become the shown document's, the idle time counts anew
// from now with its new limit (a password already counting down keeps its delay), and a load that runs,
// started with the old path and templates, stops, the prompt offering to start over with the new ones.
void use_settings_from_setup(MainWindow& main);

// Stops following; the destructor of the window state calls it.
void stop_following_settings(MainWindow& main);

} // namespace sealkeep
