// The Setup dialog and the password-file chooser.
#pragma once

#include "core/settings_values.h"

#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <vector>

namespace sealkeep {

struct OpenFile;
struct WindowSettings;

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
// The Setup dialog and the password-file chooser: the settings they edit and keep, the open file whose
// unsaved edits another path must not drop unasked, and what the window does with the values once they
// are in use. The entries are the dialog's while it is open; empty (a null file entry) while none is.
struct SetupDialog {
    SetupDialog(WindowSettings& settings, OpenFile& file) : settings(settings), file(file) {}
    SetupDialog(const SetupDialog&) = delete;
    SetupDialog& operator=(const SetupDialog&) = delete;

    WindowSettings& settings;
    OpenFile& file;
    std::function<GtkWindow*()> parent; // null once the window went
    std::function<void()> applied;      // OK put new values in use: the window's parts follow them
    std::function<void()> refresh;      // the document goes, and the prompt offers the file in use

    GtkWidget* file_entry = nullptr;
    std::vector<SetupField> fields;
    std::vector<SetupLimit> limits;
};

void show_setup_dialog(SetupDialog& setup);
void choose_password_file(SetupDialog& setup);

// A value in use changed outside this window: an open Setup dialog shows it, unless the user has
// edited that entry.
void show_outside_change_in_setup(SetupDialog& setup, std::string SettingsValues::*field);
void show_outside_change_in_setup(SetupDialog& setup, int SettingsValues::*field);

} // namespace sealkeep
