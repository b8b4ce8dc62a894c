// The Setup dialog and the password-file chooser.
#pragma once

#include "core/settings_values.h"

#include <string>

namespace sealkeep {

struct MainWindow;

void show_setup_dialog(MainWindow& main);
void choose_password_file(MainWindow& main);

// A value in use changed outside this window: an open Setup dialog shows it, unless the user has
// edited that entry.
void show_outside_change_in_setup(MainWindow& main, std::string SettingsValues::*field);
void show_outside_change_in_setup(MainWindow& main, int SettingsValues::*field);

} // namespace sealkeep
