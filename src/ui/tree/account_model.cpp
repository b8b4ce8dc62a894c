// The account tree model: a GObject implementing GtkTreeModel over the document's compact rows. An
// iterator holds a row number; the rows never change after the model is made (a model only lets in
// rows it held back), so iterators stay valid for as long as the model lives.
#include "ui/tree/account_model.h"

#include <algorithm>
#include <vector>

namespace sealkeep {

namespace {

// The rows a filtered model shows, in the same document: each shown row's shown children, side by side.
// Only the shown rows before `held_from` are in the model yet. Rows are in walk order, so that is
// every shown row's ancestors and, under each parent, its first children: positions stay true as the
// rest comes in.
struct Filter {
    std::vector<bool> shown; // per row of the document
    std::vector<std::uint32_t> child_begin;
    std::vector<std::uint32_t> child_count;
    std::vector<std::uint32_t> position;
    std::vector<std::uint32_t> children; // each parent's in walk order
    std::vector<std::uint32_t> top;
    std::uint32_t held_from = 0;
};

// An unfiltered model may hold back the children of one row but a run of them, [first, end), which
// are then its children at positions 0 and on. The others come in around them, one at a time.
struct Window {
    std::uint32_t parent; // Document::NONE: no window
    std::uint32_t first;
    std::uint32_t end;
};

struct AccountModel {
    GObject parent;
    const Document* document; // null: no rows
    bool owns_document;       // false for a filtered model: its base model keeps the document
    GtkTreeModel* base;       // a filtered model's unfiltered model (a reference), else null
    Filter* filter;           // owned; null: every row is shown
    Window window;            // unfiltered models only
    std::uint32_t alive_end;  // unfiltered models only: the rows from here on are taken away (NONE: none)
    GdkPixbuf* customer_icon;
    gint stamp;
};

struct AccountModelClass {
    GObjectClass parent_class;
};

void account_model_tree_model_init(GtkTreeModelIface* iface);

#define ACCOUNT_MODEL(object) (reinterpret_cast<AccountModel*>(object))

GType account_model_get_type();

G_DEFINE_TYPE_WITH_CODE(AccountModel, account_model, G_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(GTK_TYPE_TREE_MODEL, account_model_tree_model_init))

void account_model_finalize(GObject* object)
{
    AccountModel* model = ACCOUNT_MODEL(object);
    if (model->owns_document)
        drop_document(std::unique_ptr<Document>(const_cast<Document*>(model->document)));
    delete model->filter;
    if (model->base)
        g_object_unref(model->base);
    if (model->customer_icon)
        g_object_unref(model->customer_icon);
    G_OBJECT_CLASS(account_model_parent_class)->finalize(object);
}

void account_model_class_init(AccountModelClass* klass)
{
    G_OBJECT_CLASS(klass)->finalize = account_model_finalize;
}

void account_model_init(AccountModel* model)
{
    model->document = nullptr;
    model->owns_document = false;
    model->base = nullptr;
    model->filter = nullptr;
    model->window = Window{Document::NONE, 0, 0};
    model->alive_end = Document::NONE;
    model->customer_icon = nullptr;
    model->stamp = static_cast<gint>(g_random_int());
}

constexpr std::uint32_t NONE = Document::NONE;

// Row numbers are kept off by one, so that no iterator of a row holds a null pointer.
std::uint32_t row_of(const GtkTreeIter* iter)
{
    return static_cast<std::uint32_t>(GPOINTER_TO_SIZE(iter->user_data) - 1);
}

gboolean set_iter(AccountModel* model, GtkTreeIter* iter, std::uint32_t row)
{
    if (row == NONE) {
        iter->stamp = 0;
        return FALSE;
    }
    iter->stamp = model->stamp;
    iter->user_data = GSIZE_TO_POINTER(static_cast<gsize>(row) + 1);
    iter->user_data2 = nullptr;
    iter->user_data3 = nullptr;
    return TRUE;
}

bool valid(AccountModel* model, const GtkTreeIter* iter)
{
    return iter && iter->stamp == model->stamp && model->document;
}

// A filter's shown children of a row (of the top level for NONE), held back or not.
const std::uint32_t* shown_children(const Filter& filter, std::uint32_t parent, std::uint32_t& count)
{
    if (parent == NONE) {
        count = static_cast<std::uint32_t>(filter.top.size());
        return filter.top.data();
    }
    count = filter.child_count[parent];
    return filter.children.data() + filter.child_begin[parent];
}

// The children and positions in the model: the document's own, or the filter's that are in.
std::uint32_t child(const AccountModel* model, std::uint32_t parent, std::uint32_t n)
{
    const Filter* filter = model->filter;
    if (!filter) {
        const Window& window = model->window;
        std::uint32_t row = NONE;
        if (parent != NONE && parent == window.parent)
            row = n < window.end - window.first ? model->document->child(parent, window.first + n) : NONE;
        else
            row = model->document->child(parent, n);
        return row != NONE && row >= model->alive_end ? NONE : row;
    }
    std::uint32_t count = 0;
    const std::uint32_t* children = shown_children(*filter, parent, count);
    return n < count && children[n] < filter->held_from ? children[n] : NONE;
}

std::uint32_t child_count(const AccountModel* model, std::uint32_t parent)
{
    const Filter* filter = model->filter;
    if (!filter) {
        std::uint32_t count = parent != NONE && parent == model->window.parent
                                  ? model->window.end - model->window.first
                                  : model->document->child_count(parent);
        if (model->alive_end == NONE || count == 0 || child(model, parent, count - 1) != NONE)
            return count;
        // Rows are taken away from the last: the children left are the first ones.
        std::uint32_t low = 0;
        std::uint32_t high = count - 1; // taken away
        while (low < high) {
            const std::uint32_t middle = low + (high - low) / 2;
            if (child(model, parent, middle) == NONE)
                high = middle;
            else
                low = middle + 1;
        }
        return low;
    }
    std::uint32_t count = 0;
    const std::uint32_t* children = shown_children(*filter, parent, count);
    if (count == 0 || children[count - 1] < filter->held_from)
        return count;
    return static_cast<std::uint32_t>(std::lower_bound(children, children + count, filter->held_from) - children);
}

std::uint32_t position(const AccountModel* model, std::uint32_t row)
{
    if (model->filter)
        return model->filter->position[row];
    const Document::Row& at = model->document->rows()[row];
    return at.parent != NONE && at.parent == model->window.parent ? at.position - model->window.first : at.position;
}

GtkTreeModelFlags get_flags(GtkTreeModel*)
{
    return GTK_TREE_MODEL_ITERS_PERSIST;
}

gint get_n_columns(GtkTreeModel*)
{
    return N_ENTRY_COLUMNS;
}

GType get_column_type(GtkTreeModel*, gint column)
{
    switch (column) {
    case COL_ICON:
        return GDK_TYPE_PIXBUF;
    case COL_TEXT:
        return G_TYPE_STRING;
    case COL_ENTRY:
        return G_TYPE_POINTER;
    default:
        return G_TYPE_INVALID;
    }
}

gboolean get_iter(GtkTreeModel* tree_model, GtkTreeIter* iter, GtkTreePath* path)
{
    AccountModel* model = ACCOUNT_MODEL(tree_model);
    const gint depth = gtk_tree_path_get_depth(path);
    if (!model->document || depth == 0)
        return set_iter(model, iter, NONE);
    const gint* indices = gtk_tree_path_get_indices(path);
    std::uint32_t row = NONE;
    for (gint level = 0; level < depth; ++level) {
        if (indices[level] < 0)
            return set_iter(model, iter, NONE);
        row = child(model, row, static_cast<std::uint32_t>(indices[level]));
        if (row == NONE)
            return set_iter(model, iter, NONE);
    }
    return set_iter(model, iter, row);
}

GtkTreePath* get_path(GtkTreeModel* tree_model, GtkTreeIter* iter)
{
    AccountModel* model = ACCOUNT_MODEL(tree_model);
    g_return_val_if_fail(valid(model, iter), nullptr);
    return account_model_path(tree_model, row_of(iter));
}

void get_value(GtkTreeModel* tree_model, GtkTreeIter* iter, gint column, GValue* value)
{
    AccountModel* model = ACCOUNT_MODEL(tree_model);
    g_value_init(value, get_column_type(tree_model, column));
    if (!valid(model, iter))
        return;
    const std::uint32_t row = row_of(iter);
    const Document& document = *model->document;
    switch (column) {
    case COL_ICON:
        // Only customers carry an icon; a cell left empty reads as null, as before.
        if (document.rows()[row].customer_icon)
            g_value_set_object(value, model->customer_icon);
        break;
    case COL_TEXT: {
        // The view asks only for the rows it draws: a copy each time costs less than keeping a
        // NUL-terminated copy of every row's text.
        if (!document.has_texts()) {
            g_value_set_static_string(value, "");
            break;
        }
        const std::string_view text = document.text(row);
        g_value_take_string(value, g_strndup(text.data(), text.size()));
        break;
    }
    case COL_ENTRY:
        g_value_set_pointer(value, const_cast<EntryRecord*>(document.record_of(row)));
        break;
    default:
        break;
    }
}

gboolean iter_next(GtkTreeModel* tree_model, GtkTreeIter* iter)
{
    AccountModel* model = ACCOUNT_MODEL(tree_model);
    if (!valid(model, iter))
        return FALSE;
    const std::uint32_t row = row_of(iter);
    return set_iter(model, iter, child(model, model->document->rows()[row].parent, position(model, row) + 1));
}

gboolean iter_nth_child(GtkTreeModel* tree_model, GtkTreeIter* iter, GtkTreeIter* parent, gint n)
{
    AccountModel* model = ACCOUNT_MODEL(tree_model);
    if (!model->document || n < 0 || (parent && !valid(model, parent)))
        return set_iter(model, iter, NONE);
    const std::uint32_t parent_row = parent ? row_of(parent) : NONE;
    return set_iter(model, iter, child(model, parent_row, static_cast<std::uint32_t>(n)));
}

gboolean iter_children(GtkTreeModel* tree_model, GtkTreeIter* iter, GtkTreeIter* parent)
{
    return iter_nth_child(tree_model, iter, parent, 0);
}

gint iter_n_children(GtkTreeModel* tree_model, GtkTreeIter* iter)
{
    AccountModel* model = ACCOUNT_MODEL(tree_model);
    if (!model->document || (iter && !valid(model, iter)))
        return 0;
    return static_cast<gint>(child_count(model, iter ? row_of(iter) : NONE));
}

gboolean iter_has_child(GtkTreeModel* tree_model, GtkTreeIter* iter)
{
    // Asked of every row the view builds: the first child answers it without counting.
    AccountModel* model = ACCOUNT_MODEL(tree_model);
    if (!model->document || (iter && !valid(model, iter)))
        return FALSE;
    return child(model, iter ? row_of(iter) : NONE, 0) != NONE;
}

gboolean iter_parent(GtkTreeModel* tree_model, GtkTreeIter* iter, GtkTreeIter* child)
{
    AccountModel* model = ACCOUNT_MODEL(tree_model);
    if (!valid(model, child))
        return set_iter(model, iter, NONE);
    return set_iter(model, iter, model->document->rows()[row_of(child)].parent);
}

void account_model_tree_model_init(GtkTreeModelIface* iface)
{
    iface->get_flags = get_flags;
    iface->get_n_columns = get_n_columns;
    iface->get_column_type = get_column_type;
    iface->get_iter = get_iter;
    iface->get_path = get_path;
    iface->get_value = get_value;
    iface->iter_next = iter_next;
    iface->iter_children = iter_children;
    iface->iter_has_child = iter_has_child;
    iface->iter_n_children = iter_n_children;
    iface->iter_nth_child = iter_nth_child;
    iface->iter_parent = iter_parent;
}

} // namespace

GtkTreeModel* account_model_new(std::unique_ptr<Document> document, GdkPixbuf* customer_icon)
{
    auto* model = ACCOUNT_MODEL(g_object_new(account_model_get_type(), nullptr));
    model->document = document.release();
    model->owns_document = true;
    model->customer_icon = customer_icon ? GDK_PIXBUF(g_object_ref(customer_icon)) : nullptr;
    return GTK_TREE_MODEL(model);
}

const Document* account_model_document(GtkTreeModel* model)
{
    if (!model || !G_TYPE_CHECK_INSTANCE_TYPE(model, account_model_get_type()))
        return nullptr;
    return ACCOUNT_MODEL(model)->document;
}

void account_model_use_templates(GtkTreeModel* model, SettingsValues templates)
{
    if (account_model_document(model))
        const_cast<Document*>(ACCOUNT_MODEL(model)->document)->use_templates(std::move(templates));
}

std::uint32_t account_model_row(const GtkTreeIter* iter)
{
    return row_of(iter);
}

void account_model_iter(GtkTreeModel* model, std::uint32_t row, GtkTreeIter* iter)
{
    set_iter(ACCOUNT_MODEL(model), iter, row);
}

GtkTreePath* account_model_path(GtkTreeModel* tree_model, std::uint32_t row)
{
    const AccountModel* model = ACCOUNT_MODEL(tree_model);
    const Document& document = *model->document;
    const std::uint8_t depth = document.rows()[row].depth;
    GtkTreePath* path = gtk_tree_path_new();
    for (std::uint8_t level = 0; level <= depth; ++level)
        gtk_tree_path_append_index(path, 0);
    gint* indices = gtk_tree_path_get_indices(path);
    for (std::uint32_t at = row; at != NONE; at = document.rows()[at].parent)
        indices[document.rows()[at].depth] = static_cast<gint>(position(model, at));
    return path;
}

GtkTreeModel* account_model_new_filtered(GtkTreeModel* base, std::vector<bool> shown)
{
    AccountModel* unfiltered = ACCOUNT_MODEL(base);
    auto* model = ACCOUNT_MODEL(g_object_new(account_model_get_type(), nullptr));
    model->document = unfiltered->document;
    model->base = GTK_TREE_MODEL(g_object_ref(base));
    model->customer_icon = unfiltered->customer_icon ? GDK_PIXBUF(g_object_ref(unfiltered->customer_icon)) : nullptr;
    if (!model->document)
        return GTK_TREE_MODEL(model);
    // One pass in row order: a shown row's parent is shown too, and comes first.
    const auto& rows = model->document->rows();
    auto* filter = new Filter;
    filter->child_begin.assign(rows.size(), 0);
    filter->child_count.assign(rows.size(), 0);
    filter->position.assign(rows.size(), 0);
    for (std::uint32_t row = 0; row < rows.size(); ++row) {
        if (!shown[row])
            continue;
        const std::uint32_t parent = rows[row].parent;
        filter->position[row] = parent == NONE ? static_cast<std::uint32_t>(filter->top.size())
                                               : filter->child_count[parent]++;
        if (parent == NONE)
            filter->top.push_back(row);
    }
    std::uint32_t next = 0;
    for (std::uint32_t row = 0; row < rows.size(); ++row) {
        filter->child_begin[row] = next;
        next += filter->child_count[row];
    }
    filter->children.assign(next, NONE);
    for (std::uint32_t row = 0; row < rows.size(); ++row)
        if (shown[row] && rows[row].parent != NONE)
            filter->children[filter->child_begin[rows[row].parent] + filter->position[row]] = row;
    filter->shown = std::move(shown);
    filter->held_from = static_cast<std::uint32_t>(rows.size());
    model->filter = filter;
    return GTK_TREE_MODEL(model);
}

void account_model_hold_back(GtkTreeModel* tree_model, std::uint32_t first_rows)
{
    Filter* filter = ACCOUNT_MODEL(tree_model)->filter;
    if (!filter)
        return;
    std::uint32_t row = 0;
    for (std::uint32_t in = 0; row < filter->shown.size() && in < first_rows; ++row)
        in += filter->shown[row] ? 1 : 0;
    filter->held_from = row;
}

bool account_model_holds_back(GtkTreeModel* tree_model)
{
    const Filter* filter = ACCOUNT_MODEL(tree_model)->filter;
    return filter && filter->held_from < filter->shown.size();
}

bool account_model_has_row(GtkTreeModel* tree_model, std::uint32_t row)
{
    const AccountModel* model = ACCOUNT_MODEL(tree_model);
    if (!model->document || row >= model->document->rows().size())
        return false;
    if (model->filter)
        return model->filter->shown[row] && row < model->filter->held_from;
    if (row >= model->alive_end)
        return false;
    // Under a window, the row's ancestor among the window's children must be in it.
    const auto& rows = model->document->rows();
    const Window& window = model->window;
    if (window.parent == NONE)
        return true;
    std::uint32_t at = row;
    while (at != NONE && rows[at].parent != window.parent)
        at = rows[at].parent;
    return at == NONE || (rows[at].position >= window.first && rows[at].position < window.end);
}

void account_model_open_window(GtkTreeModel* tree_model, std::uint32_t parent, std::uint32_t first,
                               std::uint32_t end)
{
    AccountModel* model = ACCOUNT_MODEL(tree_model);
    if (model->filter || !model->document || parent == NONE)
        return;
    const std::uint32_t count = model->document->child_count(parent);
    end = std::min(end, count);
    first = std::min(first, end);
    model->window = first == 0 && end == count ? Window{NONE, 0, 0} : Window{parent, first, end};
}

bool account_model_holds_back_children(GtkTreeModel* tree_model)
{
    return ACCOUNT_MODEL(tree_model)->window.parent != NONE;
}

void account_model_drop_texts(GtkTreeModel* tree_model)
{
    AccountModel* model = ACCOUNT_MODEL(tree_model);
    if (model->document && model->owns_document)
        const_cast<Document*>(model->document)->drop_texts();
}

std::uint32_t account_model_last_row(GtkTreeModel* tree_model)
{
    AccountModel* model = ACCOUNT_MODEL(tree_model);
    if (!model->document)
        return NONE;
    if (Filter* filter = model->filter) {
        // The rows in are the shown ones before held_from.
        std::uint32_t end = std::min<std::uint32_t>(filter->held_from, static_cast<std::uint32_t>(filter->shown.size()));
        while (end > 0 && !filter->shown[end - 1])
            --end;
        filter->held_from = end;
        return end == 0 ? NONE : end - 1;
    }
    const auto& rows = model->document->rows();
    std::uint32_t end = std::min<std::uint32_t>(model->alive_end, static_cast<std::uint32_t>(rows.size()));
    while (end > 0 && !account_model_has_row(tree_model, end - 1)) {
        // Held back by the window, and never in: its ancestor among the window's children goes
        // unsignalled, with what is under it.
        std::uint32_t at = end - 1;
        while (rows[at].parent != model->window.parent)
            at = rows[at].parent;
        end = at;
    }
    model->alive_end = end;
    return end == 0 ? NONE : end - 1;
}

void account_model_remove_last(GtkTreeModel* tree_model, std::uint32_t row)
{
    AccountModel* model = ACCOUNT_MODEL(tree_model);
    const std::uint32_t parent = model->document->rows()[row].parent;
    GtkTreePath* path = account_model_path(tree_model, row);
    if (model->filter)
        model->filter->held_from = row;
    else
        model->alive_end = row;
    gtk_tree_model_row_deleted(tree_model, path);
    if (parent != NONE && child(model, parent, 0) == NONE) {
        gtk_tree_path_up(path);
        GtkTreeIter iter;
        set_iter(model, &iter, parent);
        gtk_tree_model_row_has_child_toggled(tree_model, path, &iter);
    }
    gtk_tree_path_free(path);
}

void account_model_let_all_in(GtkTreeModel* tree_model)
{
    if (Filter* filter = ACCOUNT_MODEL(tree_model)->filter)
        filter->held_from = static_cast<std::uint32_t>(filter->shown.size());
}

namespace {

// Tells the views a row has come in: the row, the row as a parent when its children came with it, and
// its parent as one when the row is its first child in.
void signal_let_in(AccountModel* model, const AccountModelRelease& release, std::uint32_t parent)
{
    GtkTreeModel* tree_model = GTK_TREE_MODEL(model);
    GtkTreeIter iter;
    set_iter(model, &iter, release.row);
    GtkTreePath* path = account_model_path(tree_model, release.row);
    gtk_tree_model_row_inserted(tree_model, path, &iter);
    if (release.has_children)
        gtk_tree_model_row_has_child_toggled(tree_model, path, &iter);
    if (release.opens_parent) {
        gtk_tree_path_up(path);
        set_iter(model, &iter, parent);
        gtk_tree_model_row_has_child_toggled(tree_model, path, &iter);
    }
    gtk_tree_path_free(path);
}

// The window's next child in: those before it first, each at position 0, then those after it.
AccountModelRelease let_in_around_window(AccountModel* model)
{
    AccountModelRelease release;
    Window& window = model->window;
    if (window.parent == NONE)
        return release;
    const std::uint32_t parent = window.parent;
    release.opens_parent = window.first == window.end;
    const std::uint32_t n = window.first > 0 ? --window.first : window.end++;
    if (window.first == 0 && window.end == model->document->child_count(parent))
        window = Window{NONE, 0, 0};
    release.row = model->document->child(parent, n);
    release.has_children = model->document->child_count(release.row) > 0;
    signal_let_in(model, release, parent);
    return release;
}

} // namespace

AccountModelRelease account_model_let_in_next(GtkTreeModel* tree_model, std::uint32_t bulk)
{
    AccountModel* model = ACCOUNT_MODEL(tree_model);
    Filter* filter = model->filter;
    AccountModelRelease release;
    if (!filter)
        return let_in_around_window(model);
    const auto& rows = model->document->rows();
    const auto end = static_cast<std::uint32_t>(filter->shown.size());
    std::uint32_t row = filter->held_from;
    while (row < end && !filter->shown[row])
        ++row;
    if (row == end) {
        filter->held_from = end;
        return release;
    }
    // The row's subtree comes in with it when it is small; a big one comes in a row at a time after it.
    std::uint32_t subtree_end = row + 1;
    while (subtree_end < end && rows[subtree_end].depth > rows[row].depth && subtree_end - row <= bulk)
        ++subtree_end;
    const bool whole = subtree_end == end || rows[subtree_end].depth <= rows[row].depth;
    filter->held_from = whole ? subtree_end : row + 1;

    release.row = row;
    release.opens_parent = rows[row].parent != NONE && filter->position[row] == 0;
    release.has_children = child(model, row, 0) != NONE;
    signal_let_in(model, release, rows[row].parent);
    return release;
}

std::uint32_t account_model_shown_child(GtkTreeModel* tree_model, std::uint32_t parent, std::uint32_t n)
{
    const AccountModel* model = ACCOUNT_MODEL(tree_model);
    if (!model->document)
        return NONE;
    if (!model->filter)
        return model->document->child(parent, n);
    std::uint32_t count = 0;
    const std::uint32_t* children = shown_children(*model->filter, parent, count);
    return n < count ? children[n] : NONE;
}

GtkTreeModel* account_model_base(GtkTreeModel* model)
{
    return ACCOUNT_MODEL(model)->base ? ACCOUNT_MODEL(model)->base : model;
}

} // namespace sealkeep
