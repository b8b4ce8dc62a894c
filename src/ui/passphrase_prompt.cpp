// The passphrase prompt panel: confirming the passphrase starts every load.
#include "ui/passphrase_prompt.h"

#include "ui/glib_ptr.h"
#include "core/entry_record.h"
#include "ui/entry_store.h"
#include "ui/password_load.h"
#include "core/record_reader.h"
#include "core/text_encoding.h"
#include "ui/i18n.h"
#include "ui/main_window.h"

namespace sealkeep {

namespace {

// The main loop does not run during a load, so the busy cursor has to be pushed to the display
// by hand, or a long load looks like a hang.
void set_busy_cursor(GtkWidget* window, bool busy)
{
    GdkWindow* gdk_window = window ? gtk_widget_get_window(window) : nullptr;
    if (!gdk_window)
        return;
    if (busy) {
        GdkCursor* watch = gdk_cursor_new_for_display(gdk_window_get_display(gdk_window), GDK_WATCH);
        gdk_window_set_cursor(gdk_window, watch);
        gdk_cursor_unref(watch);
    } else {
        gdk_window_set_cursor(gdk_window, nullptr);
    }
    gdk_display_flush(gdk_window_get_display(gdk_window));
}

} // namespace

void on_passphrase_entered(GtkEntry* entry)
{
    GtkWidget* window = main_window();
    passphrase = gtk_entry_get_text(entry);
    // The passphrase must not stay in the widget (the entry overwrites the text it drops).
    gtk_entry_set_text(entry, "");

    GtkTreeView* tree_view = GTK_TREE_VIEW(g_object_get_data(G_OBJECT(window), KEY_TREE_VIEW));
    GtkTreeStore* store = GTK_TREE_STORE(gtk_tree_view_get_model(tree_view));
    clear_entry_store(store);

    set_busy_cursor(window, true);
    database_loaded = load_password_file(store);
    set_busy_cursor(window, false);

    gtk_widget_grab_focus(GTK_WIDGET(g_object_get_data(G_OBJECT(window), KEY_SEARCH_ENTRY)));
    scrub(passphrase);
}

void on_show_passphrase_toggled(GtkToggleButton* toggle, GtkEntry* entry)
{
    gtk_entry_set_visibility(entry, gtk_toggle_button_get_active(toggle));
}

GtkWidget* create_passphrase_prompt()
{
    GtkWidget* panel = gtk_vbox_new(FALSE, 2);
    gtk_container_set_border_width(GTK_CONTAINER(panel), 2);

    GtkWidget* label = gtk_label_new(_("Please enter your PGP Passphrase:"));
    gtk_box_pack_start(GTK_BOX(panel), label, FALSE, FALSE, 2);

    GtkWidget* passphrase_row = gtk_hbox_new(FALSE, 2);
    gtk_box_pack_start(GTK_BOX(panel), passphrase_row, FALSE, FALSE, 0);
    GtkWidget* entry = gtk_entry_new();
    gtk_entry_set_visibility(GTK_ENTRY(entry), FALSE);
    gtk_box_pack_start(GTK_BOX(passphrase_row), entry, TRUE, TRUE, 0);
    GtkWidget* toggle = gtk_toggle_button_new();
    gtk_button_set_image(GTK_BUTTON(toggle), gtk_image_new_from_stock(GTK_STOCK_FIND, GTK_ICON_SIZE_MENU));
    gtk_box_pack_start(GTK_BOX(passphrase_row), toggle, FALSE, FALSE, 0);

    GtkWidget* button_row = gtk_hbox_new(FALSE, 2);
    gtk_box_pack_start(GTK_BOX(panel), button_row, FALSE, FALSE, 0);
    GtkWidget* spacer = gtk_alignment_new(0, 0, 0, 0);
    gtk_box_pack_start(GTK_BOX(button_row), spacer, TRUE, TRUE, 0);
    GtkWidget* ok = gtk_button_new_from_stock(GTK_STOCK_OK);
    gtk_box_pack_start(GTK_BOX(button_row), ok, FALSE, FALSE, 0);
    GtkWidget* cancel = gtk_button_new_from_stock(GTK_STOCK_CANCEL);
    gtk_box_pack_start(GTK_BOX(button_row), cancel, FALSE, FALSE, 0);

    // Handlers of one signal run in the order connected: the panel hides only after the load.
    g_signal_connect(entry, "activate", G_CALLBACK(on_passphrase_entered), nullptr);
    g_signal_connect_swapped(entry, "activate", G_CALLBACK(gtk_widget_hide), panel);
    g_signal_connect(toggle, "toggled", G_CALLBACK(on_show_passphrase_toggled), entry);
    g_signal_connect_swapped(ok, "clicked", G_CALLBACK(on_passphrase_entered), entry);
    g_signal_connect_swapped(ok, "clicked", G_CALLBACK(gtk_widget_hide), panel);
    g_signal_connect_swapped(cancel, "clicked", G_CALLBACK(gtk_widget_hide), panel);
    g_signal_connect_swapped(panel, "show", G_CALLBACK(gtk_widget_grab_focus), entry);
    return panel;
}

} // namespace sealkeep
