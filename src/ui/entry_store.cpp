// The entry store and its one view. Rows point at records; the window state owns them.
#include "ui/entry_store.h"

#include "ui/main_window.h"

namespace sealkeep {

GtkWidget* create_entry_tree_view(MainWindow& main)
{
    main.store = gtk_tree_store_new(N_ENTRY_COLUMNS, GDK_TYPE_PIXBUF, G_TYPE_STRING, G_TYPE_POINTER);
    GtkWidget* view = gtk_tree_view_new_with_model(GTK_TREE_MODEL(main.store));
    // The view keeps the store alive from here on.
    g_object_unref(main.store);
    main.tree_view = GTK_TREE_VIEW(view);
    GtkTreeView* the_view = main.tree_view;

    gtk_tree_view_set_headers_visible(the_view, FALSE);
    // The search bar is the only search.
    gtk_tree_view_set_enable_search(the_view, FALSE);
    gtk_tree_selection_set_mode(gtk_tree_view_get_selection(the_view), GTK_SELECTION_MULTIPLE);

    GtkTreeViewColumn* icon_column = gtk_tree_view_column_new();
    GtkCellRenderer* icon_renderer = gtk_cell_renderer_pixbuf_new();
    gtk_tree_view_column_pack_start(icon_column, icon_renderer, FALSE);
    gtk_tree_view_column_add_attribute(icon_column, icon_renderer, "pixbuf", COL_ICON);
    gtk_tree_view_append_column(the_view, icon_column);

    GtkTreeViewColumn* text_column = gtk_tree_view_column_new();
    GtkCellRenderer* text_renderer = gtk_cell_renderer_text_new();
    gtk_tree_view_column_pack_start(text_column, text_renderer, FALSE);
    gtk_tree_view_column_add_attribute(text_column, text_renderer, "text", COL_TEXT);
    gtk_tree_view_append_column(the_view, text_column);

    // Expanders and the indentation by depth belong in the text column, not beside the icons.
    gtk_tree_view_set_expander_column(the_view, text_column);
    gtk_tree_view_column_set_max_width(text_column, 80);

    return view;
}

void clear_entry_store(MainWindow& main)
{
    // The search's matches stay: they are plain positions, a later step through them reveals nothing
    // where no row stands any more, and the next search replaces them.
    if (main.store)
        gtk_tree_store_clear(main.store);
    release_entry_records(main.records);
    main.database_loaded = false;
}

} // namespace sealkeep
