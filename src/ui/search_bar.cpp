// The search bar below the tree, and stepping through the rows that the last search found.
#include "ui/search_bar.h"

#include "db/entry_store.h"
#include "ui/i18n.h"
#include "ui/main_window.h"
#include "ui/search_text.h"

#include <cstring>
#include <string>
#include <string_view>

namespace sealkeep {

namespace {

// Owned here and touched by nothing else: the paths found by the last search, each a copy owned by
// the vector (a plain position, not a reference that follows the row), and the index of the one
// shown last. Freed by clear_search_matches, also when the tree view goes.
std::vector<GtkTreePath*> matches;
std::uint32_t match_index = 0;

// What one walk over the store needs at every row. run_search fills it before the walk so that the
// search text is read and lowered once per search rather than once per row.
struct SearchWalk {
    GtkTreeView* tree_view = nullptr;
    std::size_t search_bytes = 0;
    std::string lowered;
};
SearchWalk walk;

// Makes a match the cursor row, its ancestors expanded. The stored path may lead nowhere once the
// store was cleared or reloaded after the search: such a path is left alone rather than handed to
// the view, so nothing is revealed or selected and the toolkit has nothing to complain about.
void reveal_match(GtkTreeView* tree_view, GtkTreePath* path)
{
    GtkTreeIter iter;
    if (!tree_view || !gtk_tree_model_get_iter(gtk_tree_view_get_model(tree_view), &iter, path))
        return;
    gtk_tree_view_expand_to_path(tree_view, path);
    // No column and no editing: the row becomes the cursor and the only selected row, and the focus
    // stays where it is, so the user goes on typing in the search entry.
    gtk_tree_view_set_cursor(tree_view, path, nullptr, FALSE);
}

} // namespace

GtkWidget* create_search_bar(GtkTreeView* tree_view, GtkWidget** search_entry)
{
    GtkWidget* bar = gtk_hbox_new(FALSE, 2);
    gtk_container_set_border_width(GTK_CONTAINER(bar), 2);

    GtkWidget* label = gtk_label_new(_("Search : "));
    gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_LEFT);
    gtk_box_pack_start(GTK_BOX(bar), label, FALSE, FALSE, 0);

    GtkWidget* entry = gtk_entry_new();
    // The initial text goes in before the handlers, so building the bar runs no search.
    gtk_entry_set_text(GTK_ENTRY(entry), _("enter your search here"));
    g_signal_connect(entry, "changed", G_CALLBACK(run_search), nullptr);
    g_signal_connect(entry, "activate", G_CALLBACK(run_search), nullptr);
    gtk_box_pack_start(GTK_BOX(bar), entry, TRUE, TRUE, 0);

    struct Arrow {
        const char* stock_id;
        const char* tooltip;  // deliberately untranslated
        void (*step)(GtkTreeView*);
    };
    for (const Arrow& arrow : {Arrow{GTK_STOCK_GO_FORWARD, "Find forward.", &find_next_match},
                               Arrow{GTK_STOCK_GO_BACK, "Find back.", &find_previous_match}}) {
        GtkWidget* button = gtk_button_new();
        // The image is the button's child rather than gtk_button_set_image's, which the theme's
        // gtk-button-images setting may hide: an arrow button without its arrow would be blank.
        gtk_container_add(GTK_CONTAINER(button), gtk_image_new_from_stock(arrow.stock_id, GTK_ICON_SIZE_BUTTON));
        gtk_widget_set_tooltip_text(button, arrow.tooltip);
        g_signal_connect_swapped(button, "clicked", G_CALLBACK(arrow.step), tree_view);
        gtk_box_pack_start(GTK_BOX(bar), button, FALSE, FALSE, 0);
    }

    if (search_entry)
        *search_entry = entry;
    return bar;
}

void run_search(GtkEntry* search_entry)
{
    clear_search_matches();
    GtkWidget* tree_view = main_window_widget(KEY_TREE_VIEW);
    if (!tree_view)
        return;

    const char* text = gtk_entry_get_text(search_entry);
    walk.tree_view = GTK_TREE_VIEW(tree_view);
    walk.search_bytes = std::strlen(text);
    walk.lowered = ascii_lower(text);
    gtk_tree_model_foreach(gtk_tree_view_get_model(walk.tree_view), match_search_row, search_entry);
    walk.tree_view = nullptr;
}

gboolean match_search_row(GtkTreeModel* model, GtkTreePath* path, GtkTreeIter* iter, gpointer /*search_entry*/)
{
    // A text of two bytes or less (bytes, not characters: a lone 'é' is two) finds nothing; stopping
    // at the first row leaves the cursor, the selection and the expanded rows as they were.
    if (walk.search_bytes < MIN_SEARCH_BYTES)
        return TRUE;

    // gtk_tree_model_get_value copies the text once; gtk_tree_model_get would copy it twice.
    GValue value = G_VALUE_INIT;
    gtk_tree_model_get_value(model, iter, COL_TEXT, &value);
    const char* row_text = g_value_get_string(&value);
    const bool found = row_text && contains_folded(row_text, walk.lowered);
    g_value_unset(&value);
    if (!found)
        return FALSE;

    matches.push_back(gtk_tree_path_copy(path));
    if (matches.size() == 1)
        reveal_match(walk.tree_view, path);
    return FALSE;
}

void find_next_match(GtkTreeView* tree_view)
{
    if (matches.empty())
        return;
    match_index = (match_index + 1 < matches.size()) ? match_index + 1 : 0;
    reveal_match(tree_view, matches[match_index]);
}

void find_previous_match(GtkTreeView* tree_view)
{
    if (matches.empty())
        return;
    match_index = (match_index >= 1) ? match_index - 1 : static_cast<std::uint32_t>(matches.size() - 1);
    reveal_match(tree_view, matches[match_index]);
}

void clear_search_matches()
{
    for (GtkTreePath* path : matches)
        gtk_tree_path_free(path);
    matches.clear();
    match_index = 0;
}

const std::vector<GtkTreePath*>& search_matches()
{
    return matches;
}

std::uint32_t search_match_index()
{
    return match_index;
}

} // namespace sealkeep
