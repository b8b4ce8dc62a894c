// Copying through the main window's hidden entry: the entry's selection makes the value the PRIMARY
// selection too, and the toolkit serves both selections for as long as it holds them.
#include "ui/clipboard.h"

#include "core/text_encoding.h"
#include "ui/main_window.h"

#include <string>

namespace sealkeep {

void copy_to_clipboard(MainWindow& main, std::string_view value)
{
    GtkWidget* entry = main.clipboard_entry;
    // An empty text leaves no selection to copy; returning early also leaves PRIMARY as it was,
    // instead of dropping it with the entry's old selection.
    if (!entry || value.empty())
        return;
    // The entry takes UTF-8 only and would cut anything else short. A value that is not UTF-8 is
    // taken as Latin-1, which keeps every byte: a STRING request gets the original bytes back.
    std::string text = display_text(value);
    gtk_entry_set_text(GTK_ENTRY(entry), text.c_str());
    scrub(text);
    gtk_editable_select_region(GTK_EDITABLE(entry), 0, -1);
    gtk_editable_copy_clipboard(GTK_EDITABLE(entry));
}

} // namespace sealkeep
