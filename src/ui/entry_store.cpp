// The account tree's one view. Its model owns the document shown; a load or a clear gives it a new one.
#include "ui/entry_store.h"

#include "core/tree_building.h"
#include "ui/login_service.h"
#include "ui/main_window.h"
#include "ui/save_job.h"

namespace sealkeep {

namespace {

// A menu-sized icon and the cell's padding.
constexpr gint ICON_COLUMN_WIDTH = 24;

} // namespace

GtkWidget* create_entry_tree_view(MainWindow& main)
{
    GtkWidget* view = gtk_tree_view_new();
    main.tree_view = GTK_TREE_VIEW(view);
    // Rendered once, shared by every customer row of every load.
    main.customer_icon = take_ref(gtk_widget_render_icon(view, CUSTOMER_ICON, GTK_ICON_SIZE_MENU, nullptr));
    GtkTreeModel* empty = account_model_new(nullptr, main.customer_icon.get());
    set_entry_model(main, empty);
    g_object_unref(empty);
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

    // Every row is one line of text, so every row is as high as the first: the view need not lay out
    // each row's text to measure it, which at a hundred thousand rows in one branch took most of a
    // second. The view's last column still takes all the width there is.
    gtk_tree_view_column_set_sizing(icon_column, GTK_TREE_VIEW_COLUMN_FIXED);
    gtk_tree_view_column_set_fixed_width(icon_column, ICON_COLUMN_WIDTH);
    gtk_tree_view_column_set_sizing(text_column, GTK_TREE_VIEW_COLUMN_FIXED);
    gtk_tree_view_column_set_fixed_width(text_column, 80);
    gtk_tree_view_set_fixed_height_mode(the_view, TRUE);

    return view;
}

void set_entry_model(MainWindow& main, GtkTreeModel* model)
{
    // The view holds the model's only reference that lasts: replacing it drops the old model, and
    // with it the old document.
    main.model = model;
    if (main.tree_view)
        gtk_tree_view_set_model(main.tree_view, model);
}

void clear_entry_store(MainWindow& main)
{
    // The search's matches stay: they are plain positions, a later step through them reveals nothing
    // where no row stands any more, and the next search replaces them.
    // A filter's whole tree goes too: it is the document being dropped.
    forget_search_filter(main.search);
    // Tokens answer from the records of this document: none may outlive it (a lock, Refresh, a new load).
    revoke_login_tokens(main);
    GtkTreeModel* empty = account_model_new(nullptr, main.customer_icon.get());
    set_entry_model(main, empty);
    g_object_unref(empty);
    main.database_loaded = false;
    // What a save of that document needed goes with it: the passphrase is overwritten.
    forget_loaded_file(main);
}

} // namespace sealkeep
