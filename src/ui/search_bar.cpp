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

constexpr const char* MODEL_CHANGES[] = {"row-inserted", "row-deleted", "row-changed", "rows-reordered"};

// Connected swapped: the change signals differ in their arguments, the state comes first in each.
void on_model_changed(SearchState* search)
{
    search->rows_valid = false;
    search->rows = SearchRows{};
    if (!search->blocked && search->model)
        g_signal_handlers_block_by_func(search->model, reinterpret_cast<gpointer>(on_model_changed), search);
    search->blocked = true;
}

void forget_model(SearchState& search)
{
    if (!search.model)
        return;
    g_signal_handlers_disconnect_by_func(search.model, reinterpret_cast<gpointer>(on_model_changed), &search);
    g_object_remove_weak_pointer(G_OBJECT(search.model), reinterpret_cast<gpointer*>(&search.model));
    search.model = nullptr;
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

SearchState::~SearchState()
{
    clear_search_matches(*this);
    forget_model(*this);
}

namespace {

void on_search_changed(GtkEntry*, MainWindow* main)
{
    run_search(*main);
}

void on_find_forward(GtkButton*, MainWindow* main)
{
    find_next_match(*main);
}

void on_find_back(GtkButton*, MainWindow* main)
{
    find_previous_match(*main);
}

} // namespace

GtkWidget* create_search_bar(MainWindow& main)
{
    GtkWidget* bar = gtk_hbox_new(FALSE, 2);
    gtk_container_set_border_width(GTK_CONTAINER(bar), 2);

    GtkWidget* label = gtk_label_new(_("Search : "));
    gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_LEFT);
    gtk_box_pack_start(GTK_BOX(bar), label, FALSE, FALSE, 0);

    GtkWidget* entry = gtk_entry_new();
    // The initial text goes in before the handlers, so building the bar runs no search.
    gtk_entry_set_text(GTK_ENTRY(entry), _("enter your search here"));
    g_signal_connect(entry, "changed", G_CALLBACK(on_search_changed), &main);
    g_signal_connect(entry, "activate", G_CALLBACK(on_search_changed), &main);
    gtk_box_pack_start(GTK_BOX(bar), entry, TRUE, TRUE, 0);

    struct Arrow {
        const char* stock_id;
        const char* tooltip; // deliberately untranslated
        void (*step)(GtkButton*, MainWindow*);
    };
    for (const Arrow& arrow : {Arrow{GTK_STOCK_GO_FORWARD, "Find forward.", &on_find_forward},
                               Arrow{GTK_STOCK_GO_BACK, "Find back.", &on_find_back}}) {
        GtkWidget* button = gtk_button_new();
        // The image is the button's child rather than gtk_button_set_image's, which the theme's
        // gtk-button-images setting may hide: an arrow button without its arrow would be blank.
        gtk_container_add(GTK_CONTAINER(button), gtk_image_new_from_stock(arrow.stock_id, GTK_ICON_SIZE_BUTTON));
        gtk_widget_set_tooltip_text(button, arrow.tooltip);
        g_signal_connect(button, "clicked", G_CALLBACK(arrow.step), &main);
        gtk_box_pack_start(GTK_BOX(bar), button, FALSE, FALSE, 0);
    }

    main.search_entry = GTK_ENTRY(entry);
    return bar;
}

void set_search_rows(SearchState& search, GtkTreeModel* model, SearchRows rows)
{
    if (search.model != model) {
        forget_model(search);
        search.model = model;
        search.blocked = false;
        g_object_add_weak_pointer(G_OBJECT(model), reinterpret_cast<gpointer*>(&search.model));
        for (const char* change : MODEL_CHANGES)
            g_signal_connect_swapped(model, change, G_CALLBACK(on_model_changed), &search);
    } else if (search.blocked) {
        g_signal_handlers_unblock_by_func(model, reinterpret_cast<gpointer>(on_model_changed), &search);
        search.blocked = false;
    }
    search.rows = std::move(rows);
    search.rows_valid = true;
}

namespace {

// The walk of match_search_row over the handed-over texts instead of the model: the same rows in the
// same order, the same test, the same first match revealed, without a trip through the model per row.
void search_handed_over_rows(MainWindow& main)
{
    SearchState& search = main.search;
    if (search.search_bytes < MIN_SEARCH_BYTES)
        return;
    const std::string_view texts = search.rows.texts;
    const std::string_view needle = search.lowered;
    // The search text holds no NUL, so a hit never spans two rows; rows before the next hit are only
    // counted, which a walk does by their depths (a deeper row is the first child, an equal or
    // shallower one the next sibling at its depth).
    std::vector<gint> indices;
    // One path per depth whose indices are rewritten for each match and then copied: building a path
    // index by index would reallocate it at every level, for each of up to every row.
    std::vector<TreePathPtr> templates;
    std::size_t hit = texts.find(needle);
    std::size_t start = 0;
    for (std::uint8_t depth : search.rows.depths) {
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
            search.matches.push_back(gtk_tree_path_copy(path));
            if (search.matches.size() == 1)
                reveal_match(main.tree_view, path);
            hit = texts.find(needle, end + 1);
        }
        start = end + 1;
    }
}

} // namespace

void run_search(MainWindow& main)
{
    SearchState& search = main.search;
    clear_search_matches(search);
    if (!main.tree_view || !main.search_entry)
        return;

    const char* text = gtk_entry_get_text(main.search_entry);
    search.search_bytes = std::strlen(text);
    search.lowered = ascii_lower(text);
    GtkTreeModel* model = gtk_tree_view_get_model(main.tree_view);
    if (search.rows_valid && model && model == search.model)
        search_handed_over_rows(main);
    else if (model)
        gtk_tree_model_foreach(model, match_search_row, &main);
}

gboolean match_search_row(GtkTreeModel* model, GtkTreePath* path, GtkTreeIter* iter, gpointer main_window)
{
    MainWindow& main = *static_cast<MainWindow*>(main_window);
    SearchState& search = main.search;
    // A text of two bytes or less (bytes, not characters: a lone 'é' is two) finds nothing; stopping
    // at the first row leaves the cursor, the selection and the expanded rows as they were.
    if (search.search_bytes < MIN_SEARCH_BYTES)
        return TRUE;

    // gtk_tree_model_get_value copies the text once; gtk_tree_model_get would copy it twice.
    GValue value = G_VALUE_INIT;
    gtk_tree_model_get_value(model, iter, COL_TEXT, &value);
    const char* row_text = g_value_get_string(&value);
    const bool found = row_text && contains_folded(row_text, search.lowered);
    g_value_unset(&value);
    if (!found)
        return FALSE;

    search.matches.push_back(gtk_tree_path_copy(path));
    if (search.matches.size() == 1)
        reveal_match(main.tree_view, path);
    return FALSE;
}

void find_next_match(MainWindow& main)
{
    SearchState& search = main.search;
    if (search.matches.empty())
        return;
    search.match_index = (search.match_index + 1 < search.matches.size()) ? search.match_index + 1 : 0;
    reveal_match(main.tree_view, search.matches[search.match_index]);
}

void find_previous_match(MainWindow& main)
{
    SearchState& search = main.search;
    if (search.matches.empty())
        return;
    search.match_index = (search.match_index >= 1) ? search.match_index - 1
                                                   : static_cast<std::uint32_t>(search.matches.size() - 1);
    reveal_match(main.tree_view, search.matches[search.match_index]);
}

void clear_search_matches(SearchState& search)
{
    for (GtkTreePath* path : search.matches)
        gtk_tree_path_free(path);
    search.matches.clear();
    search.match_index = 0;
}

} // namespace sealkeep
