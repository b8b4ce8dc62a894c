// The account tree's views: the whole tree's, whose model owns the document shown (a load or a clear
// gives it a new one), and the filter's, shown in its place while a filter is on.
#include "ui/tree/entry_store.h"

#include "core/tree_building.h"

#include <array>
#include <utility>
#include <vector>

namespace sealkeep {

namespace {

// A menu-sized icon and the cell's padding.
constexpr gint ICON_COLUMN_WIDTH = 24;

} // namespace

namespace {

// Both views look and behave alike: one column of icons, one of texts, rows of one height.
void set_up_view(GtkTreeView* the_view)
{
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
}

GtkWidget* scrolled(GtkWidget* view)
{
    GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
    gtk_container_add(GTK_CONTAINER(scroller), view);
    return scroller;
}

} // namespace

GtkWidget* create_entry_tree_view(AccountTree& tree)
{
    GtkWidget* whole = gtk_tree_view_new();
    GtkWidget* spare_whole = gtk_tree_view_new();
    GtkWidget* filtered = gtk_tree_view_new();
    GtkWidget* spare = gtk_tree_view_new();
    tree.whole_view = GTK_TREE_VIEW(whole);
    tree.spare_whole_view = GTK_TREE_VIEW(spare_whole);
    tree.filter_view = GTK_TREE_VIEW(filtered);
    tree.spare_filter_view = GTK_TREE_VIEW(spare);
    tree.view = tree.whole_view;
    // Rendered once, shared by every customer row of every load.
    tree.customer_icon = take_ref(gtk_widget_render_icon(whole, CUSTOMER_ICON, GTK_ICON_SIZE_MENU, nullptr));
    GtkTreeModel* empty = account_model_new(nullptr, tree.customer_icon.get());
    set_entry_model(tree, empty);
    g_object_unref(empty);
    for (GtkTreeView* view : {tree.whole_view, tree.spare_whole_view, tree.filter_view, tree.spare_filter_view})
        set_up_view(view);

    GtkWidget* box = gtk_vbox_new(FALSE, 0);
    tree.whole_scroller = scrolled(whole);
    tree.spare_whole_scroller = scrolled(spare_whole);
    tree.filter_scroller = scrolled(filtered);
    tree.spare_filter_scroller = scrolled(spare);
    gtk_box_pack_start(GTK_BOX(box), tree.whole_scroller, TRUE, TRUE, 0);
    // A spare view shows only once it takes the other's place, a filter's only while a filter is on.
    for (GtkWidget* scroller : {tree.spare_whole_scroller, tree.filter_scroller, tree.spare_filter_scroller}) {
        gtk_box_pack_start(GTK_BOX(box), scroller, TRUE, TRUE, 0);
        gtk_widget_set_no_show_all(scroller, TRUE);
    }
    return box;
}

namespace {

// The view builds or frees its own node for every row it shows, some tenths of a microsecond each,
// and builds all the children of a row it expands at once: a hundred thousand users under one service
// would be one stretch of tens of milliseconds. So a filter's model lets its rows in a part at a time.
// The keystroke's part is a few thousand rows, more than a window shows; the rest comes in idle slices
// well under a frame, so typing and scrolling go on between them. A subtree of a few hundred rows
// comes in whole, the view building it in one go; a bigger one a row at a time.
constexpr std::uint32_t FIRST_ROWS = 4096;
constexpr std::uint32_t BULK_ROWS = 512;
constexpr gint64 SLICE_US = 4000;

void stop_source(guint& source)
{
    if (source != 0)
        g_source_remove(source);
    source = 0;
}

// An idle source that takes a slice of work at a time until none is left, then clears its id.
template <bool (*step)(AccountTree&), guint AccountTree::*source>
gboolean run_slices(gpointer data)
{
    auto& tree = *static_cast<AccountTree*>(data);
    if (step(tree))
        return G_SOURCE_CONTINUE;
    tree.*source = 0;
    return G_SOURCE_REMOVE;
}

// Lets the filter's rows held back into its view, expanded, until the slice's time is spent; returns
// whether rows remain.
bool let_filter_rows_in(AccountTree& tree)
{
    GtkTreeModel* model = tree.filter_view ? gtk_tree_view_get_model(tree.filter_view) : nullptr;
    if (!model)
        return false;
    const gint64 end = g_get_monotonic_time() + SLICE_US;
    do {
        const AccountModelRelease release = account_model_let_in_next(model, BULK_ROWS);
        if (release.row == Document::NONE)
            return false;
        if (release.opens_parent || release.has_children) {
            TreePathPtr path{account_model_path(model, release.row)};
            if (release.opens_parent) {
                TreePathPtr parent{gtk_tree_path_copy(path.get())};
                gtk_tree_path_up(parent.get());
                gtk_tree_view_expand_row(tree.filter_view, parent.get(), FALSE);
            }
            if (release.has_children)
                gtk_tree_view_expand_row(tree.filter_view, path.get(), TRUE);
        }
    } while (g_get_monotonic_time() < end);
    return account_model_holds_back(model);
}

// A hidden view lets go of its rows from the last, until the slice's time is spent; returns whether
// rows remain (with none left, the view lets go of its model too). Each row taken away is the topmost
// one on the way down to the last row that the view has no rows under: a row the view shows collapsed
// goes with everything under it. A row of a hundred thousand children goes a child at a time, where
// collapsing it or dropping the model would free them all in one stretch.
bool take_rows_away(GtkTreeView* view)
{
    GtkTreeModel* model = view ? gtk_tree_view_get_model(view) : nullptr;
    const Document* document = model ? account_model_document(model) : nullptr;
    if (!document) {
        if (model)
            gtk_tree_view_set_model(view, nullptr);
        return false;
    }
    const auto& rows = document->rows();
    const gint64 end = g_get_monotonic_time() + SLICE_US;
    do {
        const std::uint32_t last = account_model_last_row(model);
        if (last == Document::NONE) {
            gtk_tree_view_set_model(view, nullptr);
            return false;
        }
        std::array<std::uint32_t, 256> way; // the last row's ancestors, the top-level one last
        std::size_t depth = 0;
        for (std::uint32_t at = rows[last].parent; at != Document::NONE && depth < way.size(); at = rows[at].parent)
            way[depth++] = at;
        std::uint32_t gone = last;
        for (std::size_t i = depth; i-- > 0;) {
            TreePathPtr path{account_model_path(model, way[i])};
            if (!gtk_tree_view_row_expanded(view, path.get())) {
                gone = way[i];
                break;
            }
        }
        account_model_remove_last(model, gone);
    } while (g_get_monotonic_time() < end);
    return true;
}

// The filter view letting go of its rows.
bool drop_filter_rows(AccountTree& tree)
{
    if (take_rows_away(tree.dropping_view))
        return true;
    tree.dropping_view = nullptr;
    return false;
}

// Empties the filter view letting go of its rows now, whatever is left of them.
void drop_rows_now(AccountTree& tree)
{
    stop_source(tree.filter_dropping);
    if (tree.dropping_view)
        gtk_tree_view_set_model(tree.dropping_view, nullptr);
    tree.dropping_view = nullptr;
}

// Empties the hidden filter views now: their models hold the document, which a lock or a new load must
// let go at once.
void drop_filter_rows_now(AccountTree& tree)
{
    drop_rows_now(tree);
    for (GtkTreeView* view : {tree.filter_view, tree.spare_filter_view})
        if (view && view != tree.view)
            gtk_tree_view_set_model(view, nullptr);
}

// A hidden filter view lets go of its rows in slices after the window is drawn. One view at a time:
// another one still at it lets go of the rest at once.
void start_dropping(AccountTree& tree, GtkTreeView* view)
{
    if (tree.dropping_view != view)
        drop_rows_now(tree);
    stop_source(tree.filter_dropping);
    tree.dropping_view = view;
    tree.filter_dropping = g_idle_add(run_slices<drop_filter_rows, &AccountTree::filter_dropping>, &tree);
}

} // namespace

void stop_tree_slices(AccountTree& tree)
{
    stop_source(tree.filter_expanding);
    stop_source(tree.filter_dropping);
    stop_source(tree.whole_letting_in);
    stop_source(tree.whole_dropping);
}

namespace {

// A window's rows come in around it until the slice's time is spent; returns whether rows remain.
bool let_whole_rows_in(AccountTree& tree)
{
    GtkTreeModel* model = tree.whole_view ? gtk_tree_view_get_model(tree.whole_view) : nullptr;
    if (!model)
        return false;
    const gint64 end = g_get_monotonic_time() + SLICE_US;
    do {
        if (account_model_let_in_next(model, 0).row == Document::NONE)
            return false;
    } while (g_get_monotonic_time() < end);
    return account_model_holds_back_children(model);
}

} // namespace

void make_way_to(AccountTree& tree, std::uint32_t row)
{
    GtkTreeModel* model = tree.whole_view ? gtk_tree_view_get_model(tree.whole_view) : nullptr;
    const Document* document = model ? account_model_document(model) : nullptr;
    if (!document || row >= document->rows().size())
        return;
    while (!account_model_has_row(model, row) && account_model_let_in_next(model, 0).row != Document::NONE) {
    }
    if (account_model_holds_back_children(model))
        return; // one window at a time
    const auto& rows = document->rows();
    std::vector<std::uint32_t> way; // the row's ancestors, the top-level one last
    for (std::uint32_t at = rows[row].parent; at != Document::NONE; at = rows[at].parent)
        way.push_back(at);
    // From the top down: the first collapsed ancestor, and every one below it, will have all its
    // children built when the view expands its way to the row.
    bool collapsed = false;
    for (std::size_t i = way.size(); i-- > 0;) {
        const std::uint32_t parent = way[i];
        if (!collapsed) {
            TreePathPtr path{account_model_path(model, parent)};
            collapsed = !gtk_tree_view_row_expanded(tree.whole_view, path.get());
        }
        if (!collapsed || document->child_count(parent) <= FIRST_ROWS)
            continue;
        const std::uint32_t on_the_way = rows[i > 0 ? way[i - 1] : row].position;
        const std::uint32_t first = on_the_way > FIRST_ROWS / 2 ? on_the_way - FIRST_ROWS / 2 : 0;
        account_model_open_window(model, parent, first, first + FIRST_ROWS);
        // After the view has drawn the way to the row, as for a filter's rows.
        if (account_model_holds_back_children(model) && tree.whole_letting_in == 0)
            tree.whole_letting_in = g_idle_add(run_slices<let_whole_rows_in, &AccountTree::whole_letting_in>, &tree);
        return;
    }
}

void show_filtered_tree(AccountTree& tree, GtkTreeModel* filtered)
{
    if (!tree.filter_view)
        return;
    stop_source(tree.filter_expanding);
    // The view lets go of every row it holds when it gets a new model: for a filter that let a hundred
    // thousand rows in, tens of milliseconds. So a new filter goes into a view that holds none, and the
    // one it replaces lets go of its rows in slices.
    bool had_focus = false;
    if (gtk_tree_view_get_model(tree.filter_view)) {
        const bool replacing = tree.view == tree.filter_view;
        had_focus = replacing && gtk_widget_is_focus(GTK_WIDGET(tree.filter_view));
        if (tree.dropping_view == tree.spare_filter_view)
            drop_rows_now(tree);
        std::swap(tree.filter_view, tree.spare_filter_view);
        std::swap(tree.filter_scroller, tree.spare_filter_scroller);
        if (replacing)
            start_dropping(tree, tree.spare_filter_view);
    }
    account_model_hold_back(filtered, FIRST_ROWS);
    gtk_tree_view_set_model(tree.filter_view, filtered);
    tree.model = filtered;
    // The window's show-all passed the hidden scrollers by: a view is shown here, the first time.
    gtk_widget_show(GTK_WIDGET(tree.filter_view));
    gtk_widget_show(tree.filter_scroller);
    gtk_widget_hide(tree.spare_filter_scroller);
    gtk_widget_hide(tree.whole_scroller);
    tree.view = tree.filter_view;
    // The keys go on to the rows shown (a search after an edit in the filter's view).
    if (had_focus)
        gtk_widget_grab_focus(GTK_WIDGET(tree.filter_view));
    gtk_tree_view_expand_all(tree.filter_view);
    // The default idle priority comes after the view's own sizing and drawing: the rows in sight are
    // on screen before the next slice.
    if (account_model_holds_back(filtered))
        tree.filter_expanding = g_idle_add(run_slices<let_filter_rows_in, &AccountTree::filter_expanding>, &tree);
}

void let_all_filter_rows_in(AccountTree& tree)
{
    if (!filtered_tree_shown(tree) || !account_model_holds_back(tree.model))
        return;
    // At once, and the view builds every row in one go: a model takes no rows in while a view has it
    // but one at a time, which for the many held back would take longer still.
    stop_source(tree.filter_expanding);
    RefPtr<GtkTreeModel> model{GTK_TREE_MODEL(g_object_ref(tree.model))};
    gtk_tree_view_set_model(tree.filter_view, nullptr);
    account_model_let_all_in(model.get());
    gtk_tree_view_set_model(tree.filter_view, model.get());
    gtk_tree_view_expand_all(tree.filter_view);
}

void show_whole_tree(AccountTree& tree)
{
    if (!tree.filter_view || tree.view != tree.filter_view)
        return;
    // The whole tree's view kept its rows, expansion and scrolling all along: showing it again costs
    // nothing, whatever its size. The filter's rows go in slices, after the whole tree is drawn.
    stop_source(tree.filter_expanding);
    gtk_widget_show(tree.whole_scroller);
    gtk_widget_hide(tree.filter_scroller);
    tree.view = tree.whole_view;
    tree.model = gtk_tree_view_get_model(tree.whole_view);
    start_dropping(tree, tree.filter_view);
}

namespace {

// Below this many rows a view lets go of them all in well under a millisecond.
constexpr std::size_t SWAP_ROWS = 2048;

// Lets the hidden whole tree's view go of its rows.
bool drop_whole_rows(AccountTree& tree)
{
    return take_rows_away(tree.spare_whole_view);
}

} // namespace

void set_entry_model(AccountTree& tree, GtkTreeModel* model)
{
    // The whole tree's view holds the model's only reference that lasts: replacing it drops the old
    // model, and with it the old document. A filter of the old one ends first, its rows at once.
    show_whole_tree(tree);
    drop_filter_rows_now(tree);
    stop_source(tree.whole_letting_in);
    GtkTreeModel* old = tree.whole_view ? gtk_tree_view_get_model(tree.whole_view) : nullptr;
    const Document* shown = old ? account_model_document(old) : nullptr;
    const Document* coming = account_model_document(model);
    if (shown && shown->rows().size() >= SWAP_ROWS && (!coming || coming->rows().empty()) && tree.spare_whole_view) {
        // Emptying the tree (Refresh, a lock, a load's start): the view would let go of every row it
        // holds at once, at a hundred thousand customers some ten milliseconds. The empty model goes
        // into the other view, and this one lets go of its rows in slices once the texts are gone;
        // what an earlier one left goes now. An edit keeps its view, scrolled as it was.
        stop_source(tree.whole_dropping);
        gtk_tree_view_set_model(tree.spare_whole_view, nullptr);
        account_model_drop_texts(old);
        const bool had_focus = gtk_widget_is_focus(GTK_WIDGET(tree.whole_view));
        std::swap(tree.whole_view, tree.spare_whole_view);
        std::swap(tree.whole_scroller, tree.spare_whole_scroller);
        // The window's show-all passed the hidden scroller by: its view is shown here, the first time.
        gtk_widget_show(GTK_WIDGET(tree.whole_view));
        gtk_widget_show(tree.whole_scroller);
        gtk_widget_hide(tree.spare_whole_scroller);
        tree.view = tree.whole_view;
        if (had_focus)
            gtk_widget_grab_focus(GTK_WIDGET(tree.whole_view));
        tree.whole_dropping = g_idle_add(run_slices<drop_whole_rows, &AccountTree::whole_dropping>, &tree);
    }
    tree.model = model;
    if (tree.whole_view)
        gtk_tree_view_set_model(tree.whole_view, model);
}

bool filtered_tree_shown(const AccountTree& tree)
{
    return tree.filter_view && tree.view == tree.filter_view;
}

void let_go_of_tree(AccountTree& tree)
{
    tree.view = nullptr;
    tree.whole_view = nullptr;
    stop_tree_slices(tree);
    tree.filter_view = nullptr;
    tree.whole_scroller = nullptr;
    tree.filter_scroller = nullptr;
    tree.spare_filter_view = nullptr;
    tree.spare_filter_scroller = nullptr;
    tree.spare_whole_view = nullptr;
    tree.spare_whole_scroller = nullptr;
    tree.dropping_view = nullptr;
    tree.model = nullptr;
}

std::vector<GtkTreeView*> all_tree_views(const AccountTree& tree)
{
    std::vector<GtkTreeView*> views;
    for (GtkTreeView* view : {tree.whole_view, tree.spare_whole_view, tree.filter_view, tree.spare_filter_view})
        if (view)
            views.push_back(view);
    return views;
}

GtkTreeView* whole_tree_view(const AccountTree& tree)
{
    return tree.whole_view;
}

const Document* shown_document(const AccountTree& tree)
{
    return tree.model ? account_model_document(tree.model) : nullptr;
}

GtkTreeModel* whole_tree_model(const AccountTree& tree)
{
    return tree.whole_view ? gtk_tree_view_get_model(tree.whole_view) : nullptr;
}

void show_empty_tree(AccountTree& tree)
{
    GtkTreeModel* empty = account_model_new(nullptr, tree.customer_icon.get());
    set_entry_model(tree, empty);
    g_object_unref(empty);
    tree.database_loaded = false;
}

} // namespace sealkeep
