// Showing an edited document in place of the one shown: the rows expanded and selected before are
// followed to the new tree through lines the edit did not touch.
#include "ui/tree/edited_tree.h"

#include "ui/glib_ptr.h"
#include "ui/tree/entry_store.h"

#include <algorithm>

namespace sealkeep {

namespace {

constexpr std::uint32_t NONE = Document::NONE;

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

std::vector<std::uint32_t> selected_tree_rows(const AccountTree& tree)
{
    std::vector<std::uint32_t> rows;
    GtkTreeModel* model = nullptr;
    PathListPtr paths{gtk_tree_selection_get_selected_rows(gtk_tree_view_get_selection(tree.view), &model)};
    for (GList* path = paths.get(); path; path = path->next) {
        GtkTreeIter iter;
        if (gtk_tree_model_get_iter(model, &iter, static_cast<GtkTreePath*>(path->data)))
            rows.push_back(account_model_row(&iter));
    }
    return rows;
}

bool show_edited_tree(AccountTree& tree, EditResult result, bool select_written, const std::function<void()>& refilter)
{
    const Document* old = shown_document(tree);
    if (!old || !result.document || !tree.view)
        return false;
    GtkTreeView* view = tree.view;
    TreeState state;
    gtk_tree_view_map_expanded_rows(view, note_expanded, &state);
    state.selected = selected_tree_rows(tree);
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

    tree.database_loaded = result.document->accounts() > 0;
    // Under a filter, the whole tree's view (hidden) keeps its expanded rows across the edit too, for when
    // the filter ends.
    const bool filtered = filtered_tree_shown(tree);
    std::vector<std::uint32_t> whole_expand;
    if (filtered && whole_tree_view(tree)) {
        TreeState whole;
        gtk_tree_view_map_expanded_rows(whole_tree_view(tree), note_expanded, &whole);
        for (std::uint32_t row : whole.expanded)
            if (const std::uint32_t now = follower.follow(row); now != NONE)
                whole_expand.push_back(now);
        std::sort(whole_expand.begin(), whole_expand.end());
        whole_expand.erase(std::unique(whole_expand.begin(), whole_expand.end()), whole_expand.end());
    }
    GtkTreeModel* model = account_model_new(std::move(result.document), tree.customer_icon.get());
    set_entry_model(tree, model);
    g_object_unref(model);
    if (filtered) {
        for (std::uint32_t row : whole_expand)
            if (TreePathPtr path = shown_path(tree.model, row))
                gtk_tree_view_expand_row(whole_tree_view(tree), path.get(), FALSE);
        refilter();
        view = tree.view;
    } else if (all_expanded) {
        gtk_tree_view_expand_all(view);
    } else {
        for (std::uint32_t row : expand)
            if (TreePathPtr path = shown_path(tree.model, row))
                gtk_tree_view_expand_row(view, path.get(), FALSE);
    }

    GtkTreeSelection* selection = gtk_tree_view_get_selection(view);
    gtk_tree_selection_unselect_all(selection);
    bool first = true;
    for (std::uint32_t row : select) {
        TreePathPtr path = shown_path(tree.model, row);
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
    return true;
}

} // namespace sealkeep
