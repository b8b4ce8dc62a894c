// The four actions on the selected accounts.
#pragma once

#include "core/entry_record.h"

#include <gtk/gtk.h>

namespace sealkeep {

void on_copy_command_line(GtkTreeView* tree_view);
void on_copy_password(GtkTreeView* tree_view);
void on_copy_password_and_execute(GtkTreeView* tree_view);
void on_execute(GtkTreeView* tree_view);

// Record-level operations; each does nothing with a null record.
void copy_command_line_to_clipboard(const EntryRecord* record);
void copy_password_to_clipboard(const EntryRecord* record);
void copy_password_and_run(const EntryRecord* record);
void run_command_line(const EntryRecord* record);

} // namespace sealkeep
