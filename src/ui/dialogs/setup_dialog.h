// The Setup dialog and the password-file chooser.
#pragma once

#include "core/settings_values.h"

#include <gtk/gtk.h>

#include <string>
#include <vector>

namespace sealkeep {

struct MainWindow;

// The open Setup dialog's entries, each with the text it was last given and the value behind that
// text. An entry whose text still equals it has not been edited: a change from outside may replace it,
// and OK leaves its key alone.
struct SetupField {
    GtkWidget* entry;
    std::string SettingsValues::*value;
    std::string shown;
    std::string behind;
};
// Its spin buttons for the integer settings, each with the value it was last given: the same rule.
struct SetupLimit {
    GtkWidget* spin;
    int SettingsValues::*value;
    int shown;
};
// What the Setup dialog holds while it is open; empty (a null file entry) while none is.
struct SetupDialogState {
    GtkWidget* file_entry = nullptr;
    std::vector<SetupField> fields;
    std::vector<SetupLimit> limits;
};

void show_setup_dialog(MainWindow& main);
void choose_password_file(MainWindow& main);

// A value in use changed outside this window: an open Setup dialog shows it, unless the user has
// edited that entry.
void show_outside_change_in_setup(MainWindow& main, std::string SettingsValues::*field);
void show_outside_change_in_setup(MainWindow& main, int SettingsValues::*field);

} // namespace sealkeep
