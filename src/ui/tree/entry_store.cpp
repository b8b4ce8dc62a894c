// The account tree's views: the whole tree's, whose model owns the document shown (a load or a clear
// gives it a new one), and the filter's, shown in its place while a filter is on.
#include "ui/tree/entry_store.h"

#include "core/tree_building.h"
#include "ui/actions/login_service.h"
#include "ui/file/save_job.h"
#include "ui/window/main_window.h"

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

GtkWidget* create_entry_tree_view(MainWindow& main)
{
    GtkWidget* whole = gtk_tree_view_new();
    GtkWidget* spare_whole = gtk_tree_view_new();
    GtkWidget* filtered = gtk_tree_view_new();
    GtkWidget* spare = gtk_tree_view_new();
    main.whole_view = GTK_TREE_VIEW(whole);
    main.spare_whole_view = GTK_TREE_VIEW(spare_whole);
    main.filter_view = GTK_TREE_VIEW(filtered);
    main.spare_filter_view = GTK_TREE_VIEW(spare);
    main.tree_view = main.whole_view;
    // Rendered once, shared by every customer row of every load.
    main.customer_icon = take_ref(gtk_widget_render_icon(whole, CUSTOMER_ICON, GTK_ICON_SIZE_MENU, nullptr));
    GtkTreeModel* empty = account_model_new(nullptr, main.customer_icon.get());
    set_entry_model(main, empty);
    g_object_unref(empty);
    for (GtkTreeView* view : {main.whole_view, main.spare_whole_view, main.filter_view, main.spare_filter_view})
        set_up_view(view);

    GtkWidget* box = gtk_vbox_new(FALSE, 0);
    main.whole_scroller = scrolled(whole);
    main.spare_whole_scroller = scrolled(spare_whole);
    main.filter_scroller = scrolled(filtered);
    main.spare_filter_scroller = scrolled(spare);
    gtk_box_pack_start(GTK_BOX(box), main.whole_scroller, TRUE, TRUE, 0);
    // A spare view shows only once it takes the other's place, a filter's only while a filter is on.
    for (GtkWidget* scroller : {main.spare_whole_scroller, main.filter_scroller, main.spare_filter_scroller}) {
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
template <bool (*step)(MainWindow&), guint MainWindow::*source>
gboolean run_slices(gpointer data)
{
    auto& main = *static_cast<MainWindow*>(data);
    if (step(main))
        return G_SOURCE_CONTINUE;
    main.*source = 0;
    return G_SOURCE_REMOVE;
}

// Lets the filter's rows held back into its view, expanded, until the slice's time is spent; returns
// whether rows remain.
bool let_filter_rows_in(MainWindow& main)
{
    GtkTreeModel* model = main.filter_view ? gtk_tree_view_get_model(main.filter_view) : nullptr;
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
                gtk_tree_view_expand_row(main.filter_view, parent.get(), FALSE);
            }
            if (release.has_children)
                gtk_tree_view_expand_row(main.filter_view, path.get(), TRUE);
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
bool drop_filter_rows(MainWindow& main)
{
    if (take_rows_away(main.dropping_view))
        return true;
    main.dropping_view = nullptr;
    return false;
}

// Empties the filter view letting go of its rows now, whatever is left of them.
void drop_rows_now(MainWindow& main)
{
    stop_source(main.filter_dropping);
    if (main.dropping_view)
        gtk_tree_view_set_model(main.dropping_view, nullptr);
    main.dropping_view = nullptr;
}

// Empties the hidden filter views now: their models hold the document, which a lock or a new load must
// let go at once.
void drop_filter_rows_now(MainWindow& main)
{
    drop_rows_now(main);
    for (GtkTreeView* view : {main.filter_view, main.spare_filter_view})
        if (view && view != main.tree_view)
            gtk_tree_view_set_model(view, nullptr);
}

// A hidden filter view lets go of its rows in slices after the window is drawn. One view at a time:
// another one still at it lets go of the rest at once.
void start_dropping(MainWindow& main, GtkTreeView* view)
{
    if (main.dropping_view != view)
        drop_rows_now(main);
    stop_source(main.filter_dropping);
    main.dropping_view = view;
    main.filter_dropping = g_idle_add(run_slices<drop_filter_rows, &MainWindow::filter_dropping>, &main);
}

} // namespace

void stop_tree_slices(MainWindow& main)
{
    stop_source(main.filter_expanding);
    stop_source(main.filter_dropping);
    stop_source(main.whole_letting_in);
    stop_source(main.whole_dropping);
}

namespace {

// A window's rows come in around it until the slice's time is spent; returns whether rows remain.
bool let_whole_rows_in(MainWindow& main)
{
    GtkTreeModel* model = main.whole_view ? gtk_tree_view_get_model(main.whole_view) : nullptr;
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

void make_way_to(MainWindow& main, std::uint32_t row)
{
    GtkTreeModel* model = main.whole_view ? gtk_tree_view_get_model(main.whole_view) : nullptr;
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
            collapsed = !gtk_tree_view_row_expanded(main.whole_view, path.get());
        }
        if (!collapsed || document->child_count(parent) <= FIRST_ROWS)
            continue;
        const std::uint32_t on_the_way = rows[i > 0 ? way[i - 1] : row].position;
        const std::uint32_t first = on_the_way > FIRST_ROWS / 2 ? on_the_way - FIRST_ROWS / 2 : 0;
        account_model_open_window(model, parent, first, first + FIRST_ROWS);
        // After the view has drawn the way to the row, as for a filter's rows.
        if (account_model_holds_back_children(model) && main.whole_letting_in == 0)
            main.whole_letting_in = g_idle_add(run_slices<let_whole_rows_in, &MainWindow::whole_letting_in>, &main);
        return;
    }
}

void show_filtered_tree(MainWindow& main, GtkTreeModel* filtered)
{
    if (!main.filter_view)
        return;
    stop_source(main.filter_expanding);
    // The view lets go of every row it holds when it gets a new model: for a filter that let a hundred
    // thousand rows in, tens of milliseconds. So a new filter goes into a view that holds none, and the
    // one it replaces lets go of its rows in slices.
    bool had_focus = false;
    if (gtk_tree_view_get_model(main.filter_view)) {
        const bool replacing = main.tree_view == main.filter_view;
        had_focus = replacing && gtk_widget_is_focus(GTK_WIDGET(main.filter_view));
        if (main.dropping_view == main.spare_filter_view)
            drop_rows_now(main);
        std::swap(main.filter_view, main.spare_filter_view);
        std::swap(main.filter_scroller, main.spare_filter_scroller);
        if (replacing)
            start_dropping(main, main.spare_filter_view);
    }
    account_model_hold_back(filtered, FIRST_ROWS);
    gtk_tree_view_set_model(main.filter_view, filtered);
    main.model = filtered;
    // The window's show-all passed the hidden scrollers by: a view is shown here, the first time.
    gtk_widget_show(GTK_WIDGET(main.filter_view));
    gtk_widget_show(main.filter_scroller);
    gtk_widget_hide(main.spare_filter_scroller);
    gtk_widget_hide(main.whole_scroller);
    main.tree_view = main.filter_view;
    // The keys go on to the rows shown (a search after an edit in the filter's view).
    if (had_focus)
        gtk_widget_grab_focus(GTK_WIDGET(main.filter_view));
    gtk_tree_view_expand_all(main.filter_view);
    // The default idle priority comes after the view's own sizing and drawing: the rows in sight are
    // on screen before the next slice.
    if (account_model_holds_back(filtered))
        main.filter_expanding = g_idle_add(run_slices<let_filter_rows_in, &MainWindow::filter_expanding>, &main);
}

void let_all_filter_rows_in(MainWindow& main)
{
    if (!filtered_tree_shown(main) || !account_model_holds_back(main.model))
        return;
    // At once, and the view builds every row in one go: a model takes no rows in while a view has it
    // but one at a time, which for the many held back would take longer still.
    stop_source(main.filter_expanding);
    RefPtr<GtkTreeModel> model{GTK_TREE_MODEL(g_object_ref(main.model))};
    gtk_tree_view_set_model(main.filter_view, nullptr);
    account_model_let_all_in(model.get());
    gtk_tree_view_set_model(main.filter_view, model.get());
    gtk_tree_view_expand_all(main.filter_view);
}

void show_whole_tree(MainWindow& main)
{
    if (!main.filter_view || main.tree_view != main.filter_view)
        return;
    // The whole tree's view kept its rows, expansion and scrolling all along: showing it again costs
    // nothing, whatever its size. The filter's rows go in slices, after the whole tree is drawn.
    stop_source(main.filter_expanding);
    gtk_widget_show(main.whole_scroller);
    gtk_widget_hide(main.filter_scroller);
    main.tree_view = main.whole_view;
    main.model = gtk_tree_view_get_model(main.whole_view);
    start_dropping(main, main.filter_view);
}

namespace {

// Below this many rows a view lets go of them all in well under a millisecond.
constexpr std::size_t SWAP_ROWS = 2048;

// Lets the hidden whole tree's view go of its rows.
bool drop_whole_rows(MainWindow& main)
{
    return take_rows_away(main.spare_whole_view);
}

} // namespace

void set_entry_model(MainWindow& main, GtkTreeModel* model)
{
    // The whole tree's view holds the model's only reference that lasts: replacing it drops the old
    // model, and with it the old document. A filter of the old one ends first, its rows at once.
    show_whole_tree(main);
    drop_filter_rows_now(main);
    stop_source(main.whole_letting_in);
    GtkTreeModel* old = main.whole_view ? gtk_tree_view_get_model(main.whole_view) : nullptr;
    const Document* shown = old ? account_model_document(old) : nullptr;
    const Document* coming = account_model_document(model);
    if (shown && shown->rows().size() >= SWAP_ROWS && (!coming || coming->rows().empty()) && main.spare_whole_view) {
        // Emptying the tree (Refresh, a lock, a load's start): the view would let go of every row it
        // holds at once, at a hundred thousand customers some ten milliseconds. The empty model goes
        // into the other view, and this one lets go of its rows in slices once the texts are gone;
        // what an earlier one left goes now. An edit keeps its view, scrolled as it was.
        stop_source(main.whole_dropping);
        gtk_tree_view_set_model(main.spare_whole_view, nullptr);
        account_model_drop_texts(old);
        const bool had_focus = gtk_widget_is_focus(GTK_WIDGET(main.whole_view));
        std::swap(main.whole_view, main.spare_whole_view);
        std::swap(main.whole_scroller, main.spare_whole_scroller);
        // The window's show-all passed the hidden scroller by: its view is shown here, the first time.
        gtk_widget_show(GTK_WIDGET(main.whole_view));
        gtk_widget_show(main.whole_scroller);
        gtk_widget_hide(main.spare_whole_scroller);
        main.tree_view = main.whole_view;
        if (had_focus)
            gtk_widget_grab_focus(GTK_WIDGET(main.whole_view));
        main.whole_dropping = g_idle_add(run_slices<drop_whole_rows, &MainWindow::whole_dropping>, &main);
    }
    main.model = model;
    if (main.whole_view)
        gtk_tree_view_set_model(main.whole_view, model);
}

bool filtered_tree_shown(const MainWindow& main)
{
    return main.filter_view && main.tree_view == main.filter_view;
}

void let_go_of_tree(MainWindow& main)
{
    main.tree_view = nullptr;
    main.whole_view = nullptr;
    stop_tree_slices(main);
    main.filter_view = nullptr;
    main.whole_scroller = nullptr;
    main.filter_scroller = nullptr;
    main.spare_filter_view = nullptr;
    main.spare_filter_scroller = nullptr;
    main.spare_whole_view = nullptr;
    main.spare_whole_scroller = nullptr;
    main.dropping_view = nullptr;
    main.model = nullptr;
}

std::vector<GtkTreeView*> all_tree_views(const MainWindow& main)
{
    std::vector<GtkTreeView*> views;
    for (GtkTreeView* view : {main.whole_view, main.spare_whole_view, main.filter_view, main.spare_filter_view})
        if (view)
            views.push_back(view);
    return views;
}

GtkTreeView* whole_tree_view(const MainWindow& main)
{
    return main.whole_view;
}

const Document* shown_document(const MainWindow& main)
{
    return main.model ? account_model_document(main.model) : nullptr;
}

GtkTreeModel* whole_tree_model(const MainWindow& main)
{
    return main.whole_view ? gtk_tree_view_get_model(main.whole_view) : nullptr;
}

void clear_entry_store(MainWindow& main)
{
    // The search's matches stay: they are rows of the document that goes, so a later step through them
    // reveals nothing, and the next search replaces them. A filter's view empties too.
    // Tokens answer from the records of this document: none may outlive it (a lock, Refresh, a new load).
    revoke_login_tokens(main);
    // Whatever is shown next is another document: a save still running was made from this one.
    ++main.document_serial;
    main.edits_after_save = 0;
    GtkTreeModel* empty = account_model_new(nullptr, main.customer_icon.get());
    set_entry_model(main, empty);
    g_object_unref(empty);
    main.database_loaded = false;
    // What a save of that document needed goes with it: the passphrase is overwritten.
    forget_loaded_file(main);
}

} // namespace sealkeep
