// The entry store and its one view. Rows point at records; entry_list owns them.
#include "ui/entry_store.h"

#include "ui/glib_ptr.h"
#include "core/text_encoding.h"
#include "ui/main_window.h"
#include "ui/search_bar.h"

namespace sealkeep {

namespace {

// Made once by create_entry_tree_view and never replaced: every load refills the same store.
// The view holds the store's only reference that matters; these are plain lookups.
GtkTreeStore* the_store = nullptr;
GtkTreeView* the_view = nullptr;

void on_view_destroy_clear_matches(GtkWidget*, gpointer)
{
    clear_search_matches();
}

} // namespace

GtkWidget* create_entry_tree_view()
{
    the_store = gtk_tree_store_new(N_ENTRY_COLUMNS, GDK_TYPE_PIXBUF, G_TYPE_STRING, G_TYPE_POINTER);
    GtkWidget* view = gtk_tree_view_new_with_model(GTK_TREE_MODEL(the_store));
    // The view keeps the store alive from here on.
    g_object_unref(the_store);
    the_view = GTK_TREE_VIEW(view);

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

    // When the view goes, records are released first, then the search matches.
    g_signal_connect_swapped(view, "destroy", G_CALLBACK(clear_entry_store), the_store);
    g_signal_connect(view, "destroy", G_CALLBACK(on_view_destroy_clear_matches), nullptr);
    return view;
}

void append_tree_row(GtkTreeStore* store, const char* text, const char* stock_id, GtkTreeIter* iter,
                     GtkTreeIter* parent)
{
    GtkWidget* window = main_window();
    gtk_tree_store_append(store, iter, parent);
    if (stock_id) {
        RefPtr<GdkPixbuf> icon = take_ref(gtk_widget_render_icon(window, stock_id, GTK_ICON_SIZE_MENU, nullptr));
        gtk_tree_store_set(store, iter, COL_ICON, icon.get(), -1);
    }
    gtk_tree_store_set(store, iter, COL_TEXT, display_text(text).c_str(), -1);
}

void clear_entry_store(GtkTreeStore* store)
{
    gtk_tree_store_clear(store);
    release_entry_list();
    database_loaded = 0;
}

GtkTreeStore* entry_store()
{
    return the_store;
}

GtkTreeView* entry_tree_view()
{
    return the_view;
}

} // namespace sealkeep
