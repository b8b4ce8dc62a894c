// Unsaved edits: the title's mark and the Save / Discard / Cancel question.
#include "ui/file/unsaved_edits.h"

#include "ui/file/save_job.h"
#include "ui/i18n.h"
#include "ui/file/open_file.h"
#include "ui/status/status_row.h"

namespace sealkeep {

void update_title(OpenFile& file)
{
    if (GtkWindow* window = file.parent())
        gtk_window_set_title(window, file.unsaved_edits ? "*Sealkeep" : "Sealkeep");
}

void note_document_edited(OpenFile& file)
{
    file.unsaved_edits = true;
    ++file.edit_generation;
    update_title(file);
}

void note_document_saved(OpenFile& file)
{
    // Edits a lock kept are unsaved whatever becomes of the document shown (an unlock that failed, another
    // file): the mark stays, and a way out asks, until they are shown again or discarded.
    file.unsaved_edits = file.held_edits != nullptr;
    update_title(file);
}

bool may_drop_edits(OpenFile& file, ThenAction then)
{
    if (save_running(file)) {
        // Whatever the save ends with decides: the way out follows a good one, a failed one says why.
        file.save->then(then);
        file.status.say(_("Saving… (waiting for the save to end)"));
        return false;
    }
    if (!file.unsaved_edits)
        return true;
    GtkWidget* dialog = gtk_message_dialog_new(file.parent(), GTK_DIALOG_MODAL,
                                               GTK_MESSAGE_WARNING, GTK_BUTTONS_NONE, "%s",
                                               _("The accounts have changes that are not saved."));
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s",
                                             _("Save them to the password file first, or discard them?"));
    gtk_dialog_add_buttons(GTK_DIALOG(dialog), GTK_STOCK_DISCARD, GTK_RESPONSE_REJECT, GTK_STOCK_CANCEL,
                           GTK_RESPONSE_CANCEL, GTK_STOCK_SAVE, GTK_RESPONSE_ACCEPT, nullptr);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    const gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    switch (response) {
    case GTK_RESPONSE_ACCEPT:
        start_save(file, SaveChoice{}, then);
        return false;
    case GTK_RESPONSE_REJECT:
        file.held_edits.reset(); // edits a lock kept go too
        note_document_saved(file);
        return true;
    default:
        // Cancel, Escape, or the dialog closed: nothing happens.
        return false;
    }
}

gboolean on_main_window_delete(GtkWidget*, GdkEvent*, OpenFile* file)
{
    // TRUE keeps the window: it goes (and the program with it) only once the edits are saved or dropped.
    // After a save, the close is asked for again, as the window manager did: nothing is unsaved then.
    if (!may_drop_edits(*file, [file] {
            GtkWindow* window = file->parent();
            if (!window || !gtk_widget_get_window(GTK_WIDGET(window)))
                return;
            GdkEvent* event = gdk_event_new(GDK_DELETE);
            event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(GTK_WIDGET(window))));
            event->any.send_event = TRUE;
            gtk_main_do_event(event);
            gdk_event_free(event);
        }))
        return TRUE;
    return FALSE;
}

} // namespace sealkeep
