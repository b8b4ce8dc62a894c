// The password row of the account and change-password dialogs: a masked entry, a show toggle that starts
// off, a Generate button whose options (length, character classes) are chosen in a small popup and
// remembered in the settings, and a strength hint that follows what is typed.
#pragma once

#include <gtk/gtk.h>

namespace sealkeep {

struct WindowSettings;

struct PasswordField {
    GtkWidget* row = nullptr;      // entry, show toggle and Generate, side by side
    GtkEntry* entry = nullptr;
    GtkToggleButton* show = nullptr;
    GtkWidget* generate = nullptr;
    GtkLabel* strength = nullptr;  // packed by the caller, below the row
    GtkWindow* dialog = nullptr;   // the popup's parent
    WindowSettings* settings = nullptr; // the recipe Generate starts from, and where it is kept
};

// Builds the widgets; the field lives as long as its row (it is freed with it).
PasswordField* create_password_field(WindowSettings& settings, GtkWindow* dialog);

// Opens the Generate popup; on its OK the recipe is stored and a new password fills the entry. Returns
// whether it did.
bool generate_into_field(PasswordField& field);

} // namespace sealkeep
