// Shared helpers for the in-process GUI tests: the real main window is built once by gui_main.cpp.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

namespace sealkeep::test {

// Runs the main loop until no event is pending.
void drain_events();

// Empties the store and loads these record lines (as they would stand in the file, one per element,
// without line ending) through the real tree building; sets database_loaded from the result.
int load_fixture(const std::vector<std::string>& lines);

// The text of the row at a path such as "0:1:0" (empty when there is no such row).
std::string row_text(const char* path);

// Runs `respond` from inside the next nested main loop (a dialog's gtk_dialog_run), once the
// dialog has been mapped; returns at once. `respond` gets the newest toplevel dialog.
void respond_in_nested_loop(void (*respond)(GtkWidget* dialog, void* data), void* data);

} // namespace sealkeep::test
