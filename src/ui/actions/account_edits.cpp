// The Edit menu's commands. The document never changes while it is shown: each edit builds a new one from
// the old one's lines (in the core), and the view gets a model over it. The rows the user had expanded and
// selected are followed to the new tree through lines the edit did not touch.
#include "ui/actions/account_edits.h"

#include "core/text_encoding.h"
#include "ui/dialogs/account_dialog.h"
#include "ui/dialogs/password_change_dialog.h"
#include "ui/file/load_job.h"
#include "ui/file/unsaved_edits.h"
#include "ui/glib_ptr.h"
#include "ui/i18n.h"
#include "ui/search/search_bar.h"
#include "ui/tree/account_model.h"
#include "ui/tree/entry_store.h"
#include "ui/window/main_window.h"

#include <gdk/gdkkeysyms.h>

#include <algorithm>
#include <string>

namespace sealkeep {

namespace {

constexpr std::uint32_t NONE = Document::NONE;

// A user row: it carries a record and stands at the bottom of its chain (a server row that carries
// root's shortcut has children).
bool is_user_row(const Document& document, std::uint32_t row)
{
    return document.rows()[row].record != NONE && document.child_count(row) == 0;
}

std::uint32_t line_of_row(const Document& document, std::uint32_t row)
{
    const std::uint32_t record = document.rows()[row].record;
    return record == NONE ? NONE : document.records()[record].line();
}

// The selected rows of the view, top to bottom.
std::vector<std::uint32_t> selected_rows(MainWindow& main)
{
    std::vector<std::uint32_t> rows;
    GtkTreeModel* model = nullptr;
    PathListPtr paths{gtk_tree_selection_get_selected_rows(gtk_tree_view_get_selection(main.tree.view), &model)};
    for (GList* path = paths.get(); path; path = path->next) {
        GtkTreeIter iter;
        if (gtk_tree_model_get_iter(model, &iter, static_cast<GtkTreePath*>(path->data)))
            rows.push_back(account_model_row(&iter));
    }
    return rows;
}

// The record lines of the accounts the view shows under a row (the row's own, for a user row). A filter
// that hides some accounts keeps them out: what is not shown is not touched. Rows a filter still holds
// back from its view are in: they are shown a moment later.
void collect_lines(GtkTreeModel* model, std::uint32_t row, const Document& document, std::vector<std::uint32_t>& lines)
{
    if (is_user_row(document, row))
        lines.push_back(line_of_row(document, row));
    for (std::uint32_t n = 0, child; (child = account_model_shown_child(model, row, n)) != Document::NONE; ++n)
        collect_lines(model, child, document, lines);
}

std::vector<std::uint32_t> lines_under_selection(MainWindow& main, const Document& document)
{
    std::vector<std::uint32_t> lines;
    for (std::uint32_t row : selected_rows(main))
        collect_lines(main.tree.model, row, document, lines);
    // A row and its ancestor may both be selected.
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    return lines;
}

// The account the first selected row stands for: its own record (a user row, or a server row with root's
// shortcut); NONE for a row without one.
std::uint32_t selected_account_line(MainWindow& main, const Document& document)
{
    const auto rows = selected_rows(main);
    return rows.empty() ? NONE : line_of_row(document, rows.front());
}

// What a new account starts with: the values above and at the first selected row, so that Add on a
// server row makes another account on that server.
AccountText values_at_selection(MainWindow& main, const Document& document)
{
    AccountText text;
    const auto rows = selected_rows(main);
    if (rows.empty())
        return text;
    const std::uint32_t selected = rows.front();
    std::uint32_t leaf = selected;
    while (document.child_count(leaf) > 0)
        leaf = document.child(leaf, 0);
    const std::uint32_t line = line_of_row(document, leaf);
    if (line == NONE)
        return text;
    const auto record = parse_record_line(document.line_bytes(document.lines()[line]));
    if (!record)
        return text;
    AccountText shown = account_text_of(*record);
    // The levels the line's rows stand at, from the top: an empty group or service detail has no row.
    std::vector<AccountField> levels{FIELD_CUSTOMER};
    if (!record->group.empty())
        levels.push_back(FIELD_GROUP);
    levels.insert(levels.end(), {FIELD_SERVER, FIELD_SERVICE});
    if (!record->serviceplus.empty())
        levels.push_back(FIELD_SERVICEPLUS);
    const std::size_t depth = document.rows()[selected].depth;
    const AccountField deepest = depth < levels.size() ? levels[depth] : FIELD_SERVICEPLUS;
    for (std::size_t i = 0; i <= static_cast<std::size_t>(deepest); ++i)
        text.value[i] = shown.value[i];
    return text;
}

bool refuse_when_not_editable(MainWindow& main)
{
    if (can_edit(main))
        return false;
    // Deliberately quiet while a load runs: the status bar shows its progress.
    if (!load_running(main))
        show_status(main, _("Nothing is loaded to edit."));
    return true;
}

bool ask_delete(MainWindow& main, std::size_t count)
{
    GtkWidget* dialog = gtk_message_dialog_new(
        main.window ? GTK_WINDOW(main.window) : nullptr, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
        GTK_MESSAGE_QUESTION, GTK_BUTTONS_NONE, P_("Delete %zu account?", "Delete %zu accounts?", count), count);
    gtk_dialog_add_buttons(GTK_DIALOG(dialog), GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL, GTK_STOCK_DELETE,
                           GTK_RESPONSE_OK, nullptr);
    // Enter keeps them: deleting takes a deliberate choice.
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
    g_object_add_weak_pointer(G_OBJECT(dialog), reinterpret_cast<gpointer*>(&dialog));
    const bool yes = gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK && dialog;
    if (dialog) {
        g_object_remove_weak_pointer(G_OBJECT(dialog), reinterpret_cast<gpointer*>(&dialog));
        gtk_widget_destroy(dialog);
    }
    return yes;
}

// ---- keeping the tree as it was ----

struct TreeState {
    std::vector<std::uint32_t> expanded;
    std::vector<std::uint32_t> selected;
    std::size_t expandable = 0; // rows with children
    double scroll = 0;
};

void note_expanded(GtkTreeView* view, GtkTreePath* path, gpointer data)
{
    GtkTreeIter iter;
    if (gtk_tree_model_get_iter(gtk_tree_view_get_model(view), &iter, path))
        static_cast<TreeState*>(data)->expanded.push_back(account_model_row(&iter));
}

// Follows an old row to the new tree: through the first line under it that the edit left alone (or, when
// it touched them all, one it rewrote), to that line's row at the old row's depth.
class RowFollower {
public:
    RowFollower(const Document& old, const EditResult& result) : old_(old), result_(result)
    {
        const Document& now = *result.document;
        user_row_.assign(now.lines().size(), NONE);
        for (std::uint32_t row = 0; row < now.rows().size(); ++row)
            if (is_user_row(now, row))
                user_row_[line_of_row(now, row)] = row;
        written_.assign(now.lines().size(), false);
        for (std::uint32_t line : result.written)
            written_[line] = true;
    }

    std::uint32_t follow(std::uint32_t old_row) const
    {
        const auto& rows = old_.rows();
        const std::uint8_t depth = rows[old_row].depth;
        std::uint32_t rewritten = NONE;
        for (std::uint32_t row = old_row; row < rows.size() && (row == old_row || rows[row].depth > depth); ++row) {
            if (!is_user_row(old_, row))
                continue;
            const std::uint32_t line = result_.line_map[line_of_row(old_, row)];
            if (line == NONE)
                continue;
            if (!written_[line])
                return at_depth(line, depth);
            if (rewritten == NONE)
                rewritten = line;
        }
        return rewritten == NONE ? NONE : at_depth(rewritten, depth);
    }

    std::uint32_t user_row(std::uint32_t line) const { return user_row_[line]; }

private:
    std::uint32_t at_depth(std::uint32_t line, std::uint8_t depth) const
    {
        const auto& rows = result_.document->rows();
        std::uint32_t row = user_row_[line];
        while (row != NONE && rows[row].depth > depth)
            row = rows[row].parent;
        return row != NONE && rows[row].depth == depth ? row : NONE;
    }

    const Document& old_;
    const EditResult& result_;
    std::vector<std::uint32_t> user_row_;
    std::vector<bool> written_;
};

// Where the selection goes when an edit took every selected row (a Delete): the row the user would
// look at next, as in a list when its line goes. After the selection its next sibling, else before it
// its previous sibling, else its nearest ancestor left, else the next row below, else the row above.
// Each is an old row followed to the new tree.
std::uint32_t neighbour_left(const Document& old, const RowFollower& follower, std::uint32_t first,
                             std::uint32_t last)
{
    const auto& rows = old.rows();
    std::uint32_t after = last + 1; // the first row past the last one's subtree
    while (after < rows.size() && rows[after].depth > rows[last].depth)
        ++after;
    std::uint32_t before = NONE; // the first one's previous sibling
    for (std::uint32_t row = first; row-- > 0 && rows[row].depth >= rows[first].depth;)
        if (rows[row].depth == rows[first].depth) {
            before = row;
            break;
        }
    std::vector<std::uint32_t> candidates;
    if (after < rows.size() && rows[after].parent == rows[last].parent)
        candidates.push_back(after);
    candidates.push_back(before);
    for (std::uint32_t up = rows[first].parent; up != NONE; up = rows[up].parent)
        candidates.push_back(up);
    if (after < rows.size())
        candidates.push_back(after);
    if (first > 0)
        candidates.push_back(first - 1);
    for (std::uint32_t row : candidates)
        if (row != NONE)
            if (const std::uint32_t now = follower.follow(row); now != NONE)
                return now;
    return NONE;
}

// The path of a row in the view's model, when the model shows it (a filter may not).
TreePathPtr shown_path(GtkTreeModel* model, std::uint32_t row)
{
    TreePathPtr path{account_model_path(model, row)};
    GtkTreeIter iter;
    if (!gtk_tree_model_get_iter(model, &iter, path.get()) || account_model_row(&iter) != row)
        return TreePathPtr{};
    return path;
}

} // namespace

bool can_edit(const MainWindow& main)
{
    return main.tree.view && shown_document(main.tree) && !load_running(main);
}

void show_edited_document(MainWindow& main, EditResult result, bool select_written)
{
    const Document* old = shown_document(main.tree);
    if (!old || !result.document || !main.tree.view)
        return;
    GtkTreeView* view = main.tree.view;
    TreeState state;
    gtk_tree_view_map_expanded_rows(view, note_expanded, &state);
    state.selected = selected_rows(main);
    for (std::uint32_t row = 0; row < old->rows().size(); ++row)
        state.expandable += old->child_count(row) > 0;
    GtkAdjustment* scroll = gtk_tree_view_get_vadjustment(view);
    state.scroll = scroll ? gtk_adjustment_get_value(scroll) : 0;
    const bool all_expanded = state.expandable > 0 && state.expanded.size() == state.expandable;

    const RowFollower follower(*old, result);
    std::vector<std::uint32_t> expand;
    if (!all_expanded)
        for (std::uint32_t row : state.expanded)
            if (const std::uint32_t now = follower.follow(row); now != NONE)
                expand.push_back(now);
    std::vector<std::uint32_t> select;
    if (select_written) {
        for (std::uint32_t line : result.written)
            if (const std::uint32_t row = follower.user_row(line); row != NONE)
                select.push_back(row);
    } else {
        for (std::uint32_t row : state.selected)
            if (const std::uint32_t now = follower.follow(row); now != NONE)
                select.push_back(now);
    }
    // Nothing selected is left: the cursor goes to a neighbour, so that the keyboard carries on from there.
    bool cursor_on_first = select_written;
    if (select.empty() && !state.selected.empty()) {
        const auto [first, last] = std::minmax_element(state.selected.begin(), state.selected.end());
        if (const std::uint32_t row = neighbour_left(*old, follower, *first, *last); row != NONE) {
            select.push_back(row);
            cursor_on_first = true;
        }
    }
    // Rows come in walk order: a parent is expanded before its children.
    std::sort(expand.begin(), expand.end());
    expand.erase(std::unique(expand.begin(), expand.end()), expand.end());

    main.tree.database_loaded = result.document->accounts() > 0;
    // The search's matches are positions in the old tree. Under a filter, the whole tree's view (hidden)
    // keeps its expanded rows across the edit too, for when the filter ends.
    const bool filtered = filtered_tree_shown(main.tree);
    std::vector<std::uint32_t> whole_expand;
    if (filtered && whole_tree_view(main.tree)) {
        TreeState whole;
        gtk_tree_view_map_expanded_rows(whole_tree_view(main.tree), note_expanded, &whole);
        for (std::uint32_t row : whole.expanded)
            if (const std::uint32_t now = follower.follow(row); now != NONE)
                whole_expand.push_back(now);
        std::sort(whole_expand.begin(), whole_expand.end());
        whole_expand.erase(std::unique(whole_expand.begin(), whole_expand.end()), whole_expand.end());
    }
    clear_search_matches(main.search);
    GtkTreeModel* model = account_model_new(std::move(result.document), main.tree.customer_icon.get());
    set_entry_model(main.tree, model);
    g_object_unref(model);
    if (filtered) {
        for (std::uint32_t row : whole_expand)
            if (TreePathPtr path = shown_path(main.tree.model, row))
                gtk_tree_view_expand_row(whole_tree_view(main.tree), path.get(), FALSE);
        run_search(main);
        view = main.tree.view;
    } else if (all_expanded) {
        gtk_tree_view_expand_all(view);
    } else {
        for (std::uint32_t row : expand)
            if (TreePathPtr path = shown_path(main.tree.model, row))
                gtk_tree_view_expand_row(view, path.get(), FALSE);
    }

    GtkTreeSelection* selection = gtk_tree_view_get_selection(view);
    gtk_tree_selection_unselect_all(selection);
    bool first = true;
    for (std::uint32_t row : select) {
        TreePathPtr path = shown_path(main.tree.model, row);
        if (!path)
            continue;
        // Its ancestors open to show it; the row itself stays as the user left it (the toolkit's
        // expand_to_path would open a selected customer or server too).
        if (gtk_tree_path_get_depth(path.get()) > 1) {
            TreePathPtr parent{gtk_tree_path_copy(path.get())};
            gtk_tree_path_up(parent.get());
            gtk_tree_view_expand_to_path(view, parent.get());
        }
        if (first && cursor_on_first)
            gtk_tree_view_set_cursor(view, path.get(), nullptr, FALSE);
        gtk_tree_selection_select_path(selection, path.get());
        if (first && cursor_on_first)
            gtk_tree_view_scroll_to_cell(view, path.get(), nullptr, FALSE, 0, 0);
        first = false;
    }
    if (!select_written && scroll && !filtered)
        gtk_adjustment_set_value(scroll, state.scroll);
    note_document_edited(main);
}

void add_account_command(MainWindow& main)
{
    if (refuse_when_not_editable(main))
        return;
    AccountText values = values_at_selection(main, *shown_document(main.tree));
    if (!run_account_dialog(main, _("Add account"), values) || !can_edit(main))
        return;
    show_edited_document(main, add_account(*shown_document(main.tree), values), true);
    show_status(main, _("Account added."));
}

namespace {

// Edit and Duplicate: the dialog filled from the selected account.
void edit_or_duplicate(MainWindow& main, bool duplicate)
{
    if (refuse_when_not_editable(main))
        return;
    const Document* document = shown_document(main.tree);
    const std::uint32_t line = selected_account_line(main, *document);
    if (line == NONE) {
        show_status(main, _("Select an account first."));
        return;
    }
    const auto record = parse_record_line(document->line_bytes(document->lines()[line]));
    if (!record)
        return;
    AccountText values = account_text_of(*record);
    if (!run_account_dialog(main, duplicate ? _("Duplicate account") : _("Edit account"), values))
        return;
    // The dialog ran a main loop of its own: a lock or a load may have replaced the document meanwhile.
    if (!can_edit(main) || shown_document(main.tree) != document)
        return;
    if (duplicate) {
        show_edited_document(main, add_account(*document, values, line), true);
        show_status(main, _("Account duplicated."));
    } else {
        show_edited_document(main, edit_account(*document, line, values), true);
        show_status(main, _("Account changed."));
    }
}

} // namespace

void edit_account_command(MainWindow& main)
{
    edit_or_duplicate(main, false);
}

void duplicate_account_command(MainWindow& main)
{
    edit_or_duplicate(main, true);
}

void delete_accounts_command(MainWindow& main)
{
    if (refuse_when_not_editable(main))
        return;
    const Document* document = shown_document(main.tree);
    const std::vector<std::uint32_t> lines = lines_under_selection(main, *document);
    if (lines.empty()) {
        show_status(main, _("Select an account first."));
        return;
    }
    if (lines.size() > 1 && (!ask_delete(main, lines.size()) || !can_edit(main) || shown_document(main.tree) != document))
        return;
    show_edited_document(main, delete_lines(*document, lines), false);
    gchar* text = g_strdup_printf(P_("%zu account deleted.", "%zu accounts deleted.", lines.size()), lines.size());
    show_status(main, text);
    g_free(text);
}

void change_password_command(MainWindow& main)
{
    if (refuse_when_not_editable(main))
        return;
    const Document* document = shown_document(main.tree);
    const std::vector<std::uint32_t> lines = lines_under_selection(main, *document);
    if (lines.empty()) {
        show_status(main, _("Select an account first."));
        return;
    }
    // The user of the first selected account is the likely one.
    std::string user;
    if (const auto record = parse_record_line(document->line_bytes(document->lines()[lines.front()])))
        user = display_text(record->user);
    std::string password;
    const auto count_for = [&](std::string_view name) { return lines_of_user(*document, lines, name).size(); };
    const bool ok = run_password_change_dialog(main, user, password, count_for);
    if (ok && can_edit(main) && shown_document(main.tree) == document) {
        const std::vector<std::uint32_t> changing = lines_of_user(*document, lines, user);
        show_edited_document(main, set_password(*document, changing, password), false);
        gchar* text = g_strdup_printf(
            P_("Password changed for %zu account.", "Password changed for %zu accounts.", changing.size()),
            changing.size());
        show_status(main, text);
        g_free(text);
    }
    scrub(password);
}

namespace {

gboolean on_tree_button_press(GtkWidget* widget, GdkEventButton* event, MainWindow* main)
{
    if (event->type != GDK_2BUTTON_PRESS || event->button != 1)
        return FALSE;
    const Document* document = shown_document(main->tree);
    GtkTreePath* raw = nullptr;
    if (!document || !gtk_tree_view_get_path_at_pos(GTK_TREE_VIEW(widget), static_cast<gint>(event->x),
                                                    static_cast<gint>(event->y), &raw, nullptr, nullptr, nullptr))
        return FALSE;
    TreePathPtr path{raw};
    GtkTreeIter iter;
    if (!gtk_tree_model_get_iter(main->tree.model, &iter, path.get()) || !is_user_row(*document, account_model_row(&iter)))
        return FALSE; // other rows keep the toolkit's double-click: expand or collapse
    gtk_tree_view_set_cursor(GTK_TREE_VIEW(widget), path.get(), nullptr, FALSE);
    edit_account_command(*main);
    return TRUE;
}

bool is_plain_edit_key(const GdkEventKey* event)
{
    const guint modifiers = event->state & gtk_accelerator_get_default_mod_mask();
    // Insert stays Add everywhere: what an entry does with it (overwrite mode) is seldom wanted.
    return modifiers == 0 && (event->keyval == GDK_KEY_Delete || event->keyval == GDK_KEY_KP_Delete);
}

// The window's accelerators see every key before the focused widget does: without this, Delete in the
// search entry would delete accounts instead of a character.
gboolean on_window_key_press(GtkWidget* window, GdkEventKey* event, MainWindow*)
{
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(window));
    if (!focus || !GTK_IS_EDITABLE(focus) || !is_plain_edit_key(event))
        return FALSE;
    return gtk_window_propagate_key_event(GTK_WINDOW(window), event);
}

} // namespace

void connect_edit_handlers(MainWindow& main)
{
    for (GtkTreeView* view : all_tree_views(main.tree))
        g_signal_connect(view, "button-press-event", G_CALLBACK(on_tree_button_press), &main);
    if (main.window)
        g_signal_connect(main.window, "key-press-event", G_CALLBACK(on_window_key_press), &main);
}

} // namespace sealkeep
