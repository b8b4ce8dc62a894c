// The Setup dialog and the password-file chooser.
#pragma once

#include <gtk/gtk.h>

namespace sealkeep {

void show_setup_dialog();
void choose_password_file();

// The open Setup dialog's password-file entry; null while no Setup dialog exists.
GtkWidget* setup_file_entry();

} // namespace sealkeep
