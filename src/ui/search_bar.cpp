// The search bar below the tree, and stepping through the rows that the last search found.
#include "ui/search_bar.h"

#include "ui/glib_ptr.h"
#include "ui/entry_store.h"
#include "ui/i18n.h"
#include "ui/main_window.h"
#include "core/search_text.h"

#include <algorithm>
#include <cstring>
#include <memory>
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

// The rows the last load handed over, for as long as they still describe their model. The first
// change of the model drops them; its handlers then stay blocked until the next hand-over, so that the
// row signals of a whole load or clear cost one call, not one each.
struct HandedOverRows {
    GtkTreeModel* model = nullptr; // weak: set to null when the model goes
    SearchRows rows;
    bool valid = false;
    bool blocked = false;
};
HandedOverRows handed_over;

constexpr const char* MODEL_CHANGES[] = {"row-inserted", "row-deleted", "row-changed", "rows-reordered"};

void on_model_changed(GtkTreeModel* model)
{
    handed_over.valid = false;
    handed_over.rows = SearchRows{};
    if (!handed_over.blocked)
        g_signal_handlers_block_by_func(model, reinterpret_cast<gpointer>(on_model_changed), model);
    handed_over.blocked = true;
}

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
        const char* tooltip; // deliberately untranslated
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

void set_search_rows(GtkTreeModel* model, SearchRows rows)
{
    if (handed_over.model != model) {
        if (handed_over.model) {
            g_signal_handlers_disconnect_by_func(handed_over.model, reinterpret_cast<gpointer>(on_model_changed),
                                                 handed_over.model);
            g_object_remove_weak_pointer(G_OBJECT(handed_over.model), reinterpret_cast<gpointer*>(&handed_over.model));
        }
        handed_over.model = model;
        handed_over.blocked = false;
        g_object_add_weak_pointer(G_OBJECT(model), reinterpret_cast<gpointer*>(&handed_over.model));
        for (const char* change : MODEL_CHANGES)
            g_signal_connect_swapped(model, change, G_CALLBACK(on_model_changed), model);
    } else if (handed_over.blocked) {
        g_signal_handlers_unblock_by_func(model, reinterpret_cast<gpointer>(on_model_changed), model);
        handed_over.blocked = false;
    }
    handed_over.rows = std::move(rows);
    handed_over.valid = true;
}

namespace {

// The walk of match_search_row over the handed-over texts instead of the model: the same rows in the
// same order, the same test, the same first match revealed, without a trip through the model per row.
void search_handed_over_rows()
{
    if (walk.search_bytes < MIN_SEARCH_BYTES)
        return;
    const std::string_view texts = handed_over.rows.texts;
    const std::string_view needle = walk.lowered;
    // The search text holds no NUL, so a hit never spans two rows; rows before the next hit are only
    // counted, which a walk does by their depths (a deeper row is the first child, an equal or
    // shallower one the next sibling at its depth).
    std::vector<gint> indices;
    // One path per depth whose indices are rewritten for each match and then copied: building a path
    // index by index would reallocate it at every level, for each of up to every row.
    std::vector<TreePathPtr> templates;
    std::size_t hit = texts.find(needle);
    std::size_t start = 0;
    for (std::uint8_t depth : handed_over.rows.depths) {
        if (hit == std::string_view::npos)
            break;
        if (depth < indices.size()) {
            indices.resize(depth + 1u);
            ++indices[depth];
        } else {
            indices.push_back(0);
        }
        const std::size_t end = texts.find('\0', start);
        if (hit < end) {
            while (templates.size() <= depth) {
                GtkTreePath* path = gtk_tree_path_new();
                for (std::size_t i = 0; i <= templates.size(); ++i)
                    gtk_tree_path_append_index(path, 0);
                templates.emplace_back(path);
            }
            GtkTreePath* path = templates[depth].get();
            std::copy(indices.begin(), indices.end(), gtk_tree_path_get_indices(path));
            matches.push_back(gtk_tree_path_copy(path));
            if (matches.size() == 1)
                reveal_match(walk.tree_view, path);
            hit = texts.find(needle, end + 1);
        }
        start = end + 1;
    }
}

} // namespace

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
    GtkTreeModel* model = gtk_tree_view_get_model(walk.tree_view);
    if (handed_over.valid && model && model == handed_over.model)
        search_handed_over_rows();
    else
        gtk_tree_model_foreach(model, match_search_row, search_entry);
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
