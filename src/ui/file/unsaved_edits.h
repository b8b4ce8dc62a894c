// Edits not yet saved: the flag and the title's mark, and the question every way out asks before it
// drops them (Save / Discard / Cancel).
#pragma once

#include <gtk/gtk.h>

#include <functional>

namespace sealkeep {

struct OpenFile;

// After each edit of the document: the edits are unsaved, and the title says so.
void note_document_edited(OpenFile& file);
// After a save of the document as it stands (or when the document is dropped): nothing is unsaved.
void note_document_saved(OpenFile& file);

// The window title: "Sealkeep", with a leading "*" while there are unsaved edits.
void update_title(OpenFile& file);

// What a way out does once the edits are saved or discarded; it is asked again then and finds nothing.
using ThenAction = std::function<void()>;

// Before a way out (Quit, closing the window, Refresh, Open file): true when it may go on now (nothing
// unsaved, or the user chose Discard). With Save, the save starts and `then` runs once it succeeded; with
// Cancel nothing happens; both return false. A save already running is waited for the same way.
bool may_drop_edits(OpenFile& file, ThenAction then);

// The window manager's close button asks the same question.
gboolean on_main_window_delete(GtkWidget* window, GdkEvent* event, OpenFile* file);

} // namespace sealkeep
