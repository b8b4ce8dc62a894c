// The View menu's commands on the account tree, Refresh, and the About dialog.
#include "ui/window/view_commands.h"

#include "ui/file/load_job.h"
#include "ui/file/unsaved_edits.h"
#include "ui/glib_ptr.h"
#include "ui/i18n.h"
#include "ui/tree/entry_store.h"
#include "ui/window/document_events.h"
#include "ui/window/main_window.h"

namespace sealkeep {

void expand_a_little(MainWindow& main)
{
    // Without a loaded database there is nothing worth opening; silence is the answer here.
    if (!main.tree.database_loaded || !main.tree.view)
        return;
    GtkTreeView* tree_view = main.tree.view;
    GtkTreeModel* model = gtk_tree_view_get_model(tree_view);
    GtkTreeIter top;
    for (gboolean more = gtk_tree_model_get_iter_first(model, &top); more;
         more = gtk_tree_model_iter_next(model, &top)) {
        GtkTreeIter child;
        for (gboolean has = gtk_tree_model_iter_children(model, &child, &top); has;
             has = gtk_tree_model_iter_next(model, &child)) {
            // Expanding to the child opens the customer and the child one level each; rows already
            // open stay open, however deep.
            TreePathPtr path{gtk_tree_model_get_path(model, &child)};
            gtk_tree_view_expand_to_path(tree_view, path.get());
        }
    }
}

void unselect_all(MainWindow& main)
{
    gtk_tree_selection_unselect_all(gtk_tree_view_get_selection(main.tree.view));
}

void collapse_all(MainWindow& main)
{
    gtk_tree_view_collapse_all(main.tree.view);
}

void expand_all(MainWindow& main)
{
    gtk_tree_view_expand_all(main.tree.view);
}

void refresh_entries(MainWindow& main)
{
    if (!may_drop_edits(main.file, [window = &main] { refresh_entries(*window); }))
        return;
    // The count of the last load would stand under an empty tree; a stopped load says so instead.
    if (!stop_load(main.file))
        show_status(main, "");
    // The prompt first: its "show" handler moves the focus to the passphrase entry.
    if (main.prompt.panel)
        gtk_widget_show(main.prompt.panel);
    clear_document(main);
}

void show_about_dialog(MainWindow& main)
{
    static const gchar* const authors[] = {
        "Sealkeep Maintainers <maintainers@sealkeep.net>",
        "Sealkeep Contributors <contributors@sealkeep.net>",
        nullptr,
    };

    GtkWidget* dialog = gtk_about_dialog_new();
    GtkAboutDialog* about = GTK_ABOUT_DIALOG(dialog);
    gtk_about_dialog_set_program_name(about, "Sealkeep");
    gtk_about_dialog_set_version(about, SEALKEEP_VERSION);
    gtk_about_dialog_set_comments(about, _("Lightweight password manager based on GPG and GTK+."));
    gtk_about_dialog_set_website(about, "https://sealkeep.net/");
    gtk_about_dialog_set_copyright(about, "Copyright \u00a9 2026 The Sealkeep developers");
    gtk_about_dialog_set_authors(about, const_cast<const gchar**>(authors));
    RefPtr<GdkPixbuf> logo =
        take_ref(gtk_widget_render_icon(dialog, GTK_STOCK_DIALOG_AUTHENTICATION, GTK_ICON_SIZE_DIALOG, nullptr));
    gtk_about_dialog_set_logo(about, logo.get());

    if (main.window)
        gtk_window_set_transient_for(GTK_WINDOW(dialog), GTK_WINDOW(main.window));
    // Any response ends it (its Close button or the window manager's); which one does not matter.
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
}

} // namespace sealkeep
