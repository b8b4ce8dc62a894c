// Edits not yet saved: the flag and the title's mark, and the question every way out asks before it
// drops them (Save / Discard / Cancel).
#pragma once

#include <gtk/gtk.h>

namespace sealkeep {

struct MainWindow;

// After each edit of the document: the edits are unsaved, and the title says so.
void note_document_edited(MainWindow& main);
// After a save of the document as it stands (or when the document is dropped): nothing is unsaved.
void note_document_saved(MainWindow& main);

// The window title: "Sealkeep", with a leading "*" while there are unsaved edits.
void update_title(MainWindow& main);

// What a way out does once the edits are saved or discarded; it is asked again then and finds nothing.
using ThenAction = void (*)(MainWindow&);

// Before a way out (Quit, closing the window, Refresh, Open file): true when it may go on now (nothing
// unsaved, or the user chose Discard). With Save, the save starts and `then` runs once it succeeded; with
// Cancel nothing happens; both return false. A save already running is waited for the same way.
bool may_drop_edits(MainWindow& main, ThenAction then);

// The window manager's close button asks the same question.
gboolean on_main_window_delete(GtkWidget* window, GdkEvent* event, MainWindow* main);

} // namespace sealkeep
