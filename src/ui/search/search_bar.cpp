// The search bar below the tree, and stepping through the rows that the last search found.
#include "ui/search/search_bar.h"

#include "core/search_text.h"
#include "ui/i18n.h"
#include "ui/settings/settings_store.h"
#include "ui/tree/account_model.h"
#include "ui/tree/entry_store.h"
#include "ui/settings/window_settings.h"
#include "ui/tree/account_tree.h"

#include <cstring>
#include <vector>

namespace sealkeep {

namespace {

// Makes a match the cursor row, its ancestors expanded. The match may belong to a document no longer
// shown (cleared, reloaded or edited since the search): then nothing is revealed or selected.
void reveal_match(SearchState& search, std::uint32_t row)
{
    if (!filtered_tree_shown(search.tree))
        make_way_to(search.tree, row);
    else if (!account_model_has_row(search.tree.model, row))
        let_all_filter_rows_in(search.tree);
    GtkTreePath* path = search_match_path(search, row);
    if (!path)
        return;
    gtk_tree_view_expand_to_path(search.tree.view, path);
    // No column and no editing: the row becomes the cursor and the only selected row, and the focus
    // stays where it is, so the user goes on typing in the search entry.
    gtk_tree_view_set_cursor(search.tree.view, path, nullptr, FALSE);
    gtk_tree_path_free(path);
}

// A search that found nothing says so where the user is looking: the entry turns red, as in other
// editors' find bars, since the tree then stays as it was and nothing else would change. Text of its
// own colour over the red, so that it reads in a dark theme as in a light one.
void show_whether_found(SearchState& search, bool searched)
{
    GtkWidget* entry = GTK_WIDGET(search.entry);
    const bool nothing_found = searched && search.matches.empty();
    // A new style restyles and redraws the entry: not at every keystroke, only when the sign changes.
    if (nothing_found == search.nothing_found_shown)
        return;
    search.nothing_found_shown = nothing_found;
    if (nothing_found) {
        static const GdkColor red{0, 0xffff, 0x6666, 0x6666};
        static const GdkColor white{0, 0xffff, 0xffff, 0xffff};
        gtk_widget_modify_base(entry, GTK_STATE_NORMAL, &red);
        gtk_widget_modify_text(entry, GTK_STATE_NORMAL, &white);
    } else {
        gtk_widget_modify_base(entry, GTK_STATE_NORMAL, nullptr);
        gtk_widget_modify_text(entry, GTK_STATE_NORMAL, nullptr);
    }
}

} // namespace

SearchState::~SearchState()
{
    clear_search_matches(*this);
}

namespace {

void on_search_changed(GtkEntry*, SearchState* search)
{
    search->text_untouched = false;
    run_search(*search);
}

void on_find_forward(GtkButton*, SearchState* search)
{
    find_next_match(*search);
}

void on_find_back(GtkButton*, SearchState* search)
{
    find_previous_match(*search);
}

void on_filter_toggled(GtkToggleButton* toggle, SearchState* search)
{
    const bool on = gtk_toggle_button_get_active(toggle);
    if (on == search->settings.values.search_filter)
        return;
    search->settings.values.search_filter = on;
    save_setting(search->settings.object.get(), SEARCH_FILTER_KEY, on);
    run_search(*search);
}

// Every row to show: the matches, their ancestors, and everything under a match. Rows come in walk
// order, so a row's subtree is the run of rows after it that stand deeper.
std::vector<bool> rows_to_show(const Document& document, const std::vector<std::uint32_t>& matches)
{
    const auto& rows = document.rows();
    std::vector<bool> shown(rows.size(), false);
    std::uint32_t covered_until = 0; // rows before this are inside a subtree already shown
    for (std::uint32_t match : matches) {
        for (std::uint32_t row = match; row != Document::NONE && !shown[row]; row = rows[row].parent)
            shown[row] = true;
        if (match < covered_until)
            continue;
        std::uint32_t row = match + 1;
        while (row < rows.size() && rows[row].depth > rows[match].depth)
            shown[row++] = true;
        covered_until = row;
    }
    return shown;
}

// Shows only the rows that matter for these matches, all expanded, in the filter's own view; the whole
// tree's view stays as the user left it, to come back when the filter ends.
void show_filtered(SearchState& search, const Document& document, const std::vector<std::uint32_t>& matches)
{
    GtkTreeModel* whole = whole_tree_model(search.tree);
    GtkTreeModel* filtered = account_model_new_filtered(whole, rows_to_show(document, matches));
    show_filtered_tree(search.tree, filtered);
    g_object_unref(filtered);
}

} // namespace

namespace {

// The window goes, and the bar with it: the search forgets its entry and Filter toggle.
void on_bar_destroy(GtkWidget*, SearchState* search)
{
    search->entry = nullptr;
    search->filter_toggle = nullptr;
}

} // namespace

GtkWidget* create_search_bar(SearchState& search)
{
    GtkWidget* bar = gtk_hbox_new(FALSE, 2);
    gtk_container_set_border_width(GTK_CONTAINER(bar), 2);

    GtkWidget* label = gtk_label_new(_("Search : "));
    gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_LEFT);
    gtk_box_pack_start(GTK_BOX(bar), label, FALSE, FALSE, 0);

    GtkWidget* entry = gtk_entry_new();
    // The initial text goes in before the handlers, so building the bar runs no search.
    gtk_entry_set_text(GTK_ENTRY(entry), _("enter your search here"));
    g_signal_connect(entry, "changed", G_CALLBACK(on_search_changed), &search);
    g_signal_connect(entry, "activate", G_CALLBACK(on_search_changed), &search);
    gtk_box_pack_start(GTK_BOX(bar), entry, TRUE, TRUE, 0);

    struct Arrow {
        const char* stock_id;
        const char* tooltip; // deliberately untranslated
        void (*step)(GtkButton*, SearchState*);
    };
    for (const Arrow& arrow : {Arrow{GTK_STOCK_GO_FORWARD, "Find forward.", &on_find_forward},
                               Arrow{GTK_STOCK_GO_BACK, "Find back.", &on_find_back}}) {
        GtkWidget* button = gtk_button_new();
        // The image is the button's child rather than gtk_button_set_image's, which the theme's
        // gtk-button-images setting may hide: an arrow button without its arrow would be blank.
        gtk_container_add(GTK_CONTAINER(button), gtk_image_new_from_stock(arrow.stock_id, GTK_ICON_SIZE_BUTTON));
        gtk_widget_set_tooltip_text(button, arrow.tooltip);
        // A click leaves the keyboard focus in the search entry, where the user goes on typing.
        gtk_button_set_focus_on_click(GTK_BUTTON(button), FALSE);
        g_signal_connect(button, "clicked", G_CALLBACK(arrow.step), &search);
        gtk_box_pack_start(GTK_BOX(bar), button, FALSE, FALSE, 0);
    }

    GtkWidget* filter = gtk_toggle_button_new_with_label(_("Filter"));
    gtk_widget_set_tooltip_text(filter, _("Show only the matching rows."));
    gtk_button_set_focus_on_click(GTK_BUTTON(filter), FALSE);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(filter), search.settings.values.search_filter);
    g_signal_connect(filter, "toggled", G_CALLBACK(on_filter_toggled), &search);
    g_signal_connect(bar, "destroy", G_CALLBACK(on_bar_destroy), &search);
    gtk_box_pack_start(GTK_BOX(bar), filter, FALSE, FALSE, 0);
    search.filter_toggle = GTK_TOGGLE_BUTTON(filter);

    search.entry = GTK_ENTRY(entry);
    return bar;
}

void run_search(SearchState& search)
{
    clear_search_matches(search);
    if (!search.tree.view || !search.entry)
        return;
    const char* text = gtk_entry_get_text(search.entry);
    // A text of two bytes or less (bytes, not characters: a lone 'é' is two) finds nothing, and leaves
    // the cursor, the selection and the expanded rows as they were; a filter ends.
    // The bar's first text is an invitation, not a search: with the filter on it would hide every row
    // of the first load. (Enter in it still searches for it, as any text.)
    const bool filtering = search.settings.values.search_filter && !search.text_untouched;
    if (std::strlen(text) < MIN_SEARCH_BYTES || !filtering)
        show_whole_tree(search.tree);
    const Document* document = account_model_document(search.tree.model);
    if (std::strlen(text) < MIN_SEARCH_BYTES || !document) {
        show_whether_found(search, false);
        return;
    }
    std::vector<std::uint32_t> rows = find_matching_rows(*document, ascii_lower(text));
    if (filtering)
        show_filtered(search, *document, rows);
    search.matches = std::move(rows);
    search.matched_document = document->serial();
    show_whether_found(search, !search.text_untouched);
    if (!search.matches.empty())
        reveal_match(search, search.matches.front());
}

void match_search_again(SearchState& search)
{
    const std::uint32_t index = search.match_index;
    clear_search_matches(search);
    if (!search.entry || !search.tree.model)
        return;
    const char* text = gtk_entry_get_text(search.entry);
    const Document* document = account_model_document(search.tree.model);
    const bool searched = std::strlen(text) >= MIN_SEARCH_BYTES && document;
    if (searched) {
        search.matches = find_matching_rows(*document, ascii_lower(text));
        search.matched_document = document->serial();
    }
    show_whether_found(search, searched && !search.text_untouched);
    if (!searched)
        return;
    // The same file loaded again has the same matches: stepping goes on from the one shown last.
    if (index < search.matches.size())
        search.match_index = index;
}

void find_next_match(SearchState& search)
{
    if (search.matches.empty())
        return;
    search.match_index = (search.match_index + 1 < search.matches.size()) ? search.match_index + 1 : 0;
    reveal_match(search, search.matches[search.match_index]);
}

void find_previous_match(SearchState& search)
{
    if (search.matches.empty())
        return;
    search.match_index =
        (search.match_index >= 1) ? search.match_index - 1 : static_cast<std::uint32_t>(search.matches.size() - 1);
    reveal_match(search, search.matches[search.match_index]);
}

void follow_search_filter(SearchState& search, bool on)
{
    if (on == search.settings.values.search_filter)
        return;
    // Taken as stored: the toggle's handler, seeing the value in use already, writes nothing back.
    search.settings.values.search_filter = on;
    if (search.filter_toggle)
        gtk_toggle_button_set_active(search.filter_toggle, on);
    run_search(search);
}

void set_search_filter(SearchState& search, bool on)
{
    if (search.filter_toggle)
        gtk_toggle_button_set_active(search.filter_toggle, on);
}

void clear_search_matches(SearchState& search)
{
    search.matches.clear();
    search.matched_document = 0;
    search.match_index = 0;
}

GtkTreePath* search_match_path(const SearchState& search, std::uint32_t row)
{
    const Document* document = search.tree.model ? account_model_document(search.tree.model) : nullptr;
    if (!search.tree.view || !document || document->serial() != search.matched_document ||
        !account_model_has_row(search.tree.model, row))
        return nullptr;
    return account_model_path(search.tree.model, row);
}

} // namespace sealkeep
