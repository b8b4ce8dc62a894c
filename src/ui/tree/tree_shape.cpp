// The tree's shape kept while its rows are gone (a lock, a save shown in place of the document): the rows
// expanded and selected, named by keyed digests of their texts, put back on a tree that has them again.
#include "ui/tree/tree_shape.h"

#include "core/text_encoding.h"
#include "ui/glib_ptr.h"
#include "ui/tree/account_model.h"
#include "ui/tree/entry_store.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace sealkeep {

namespace {

void scrub_paths(std::vector<TextPath>& paths)
{
    for (TextPath& path : paths)
        for (std::string& text : path)
            scrub(text);
    paths.clear();
}

// A row is remembered across a lock by a keyed digest of its text, not by the text: a lock keeps no
// account name. The key is drawn once per run; the digest can only be matched against a row that has
// the same text again.
std::string text_of(GtkTreeModel* model, GtkTreeIter* iter)
{
    static const std::array<guint32, 8> key = [] {
        std::array<guint32, 8> random{};
        for (guint32& word : random)
            word = g_random_int();
        return random;
    }();
    GValue value = G_VALUE_INIT;
    gtk_tree_model_get_value(model, iter, COL_TEXT, &value);
    // A copy of the row's text; freeing it overwrites it, as every freed block is (M_PERTURB).
    const gchar* row_text = g_value_get_string(&value);
    GCharPtr digest{g_compute_hmac_for_data(G_CHECKSUM_SHA256, reinterpret_cast<const guchar*>(key.data()), sizeof key,
                                            reinterpret_cast<const guchar*>(row_text ? row_text : ""),
                                            row_text ? std::strlen(row_text) : 0)};
    g_value_unset(&value);
    return digest.get();
}

TextPath text_path(GtkTreeModel* model, GtkTreePath* path)
{
    TextPath texts;
    GtkTreeIter iter;
    if (!gtk_tree_model_get_iter(model, &iter, path))
        return texts;
    for (;;) {
        texts.push_back(text_of(model, &iter));
        GtkTreeIter parent;
        if (!gtk_tree_model_iter_parent(model, &parent, &iter))
            break;
        iter = parent;
    }
    std::reverse(texts.begin(), texts.end());
    return texts;
}

struct Remembering {
    GtkTreeModel* model;
    std::vector<TextPath>* paths;
};

void remember_expanded(GtkTreeView*, GtkTreePath* path, gpointer data)
{
    auto* remembering = static_cast<Remembering*>(data);
    remembering->paths->push_back(text_path(remembering->model, path));
}

} // namespace

TreeShape::~TreeShape()
{
    scrub_paths(expanded);
    scrub_paths(selected);
}

void remember_tree_shape(AccountTree& tree)
{
    TreeShape& shape = tree.shape;
    GtkTreeView* view = tree.view;
    GtkTreeModel* model = view ? gtk_tree_view_get_model(view) : nullptr;
    if (!model)
        return;
    scrub_paths(shape.expanded);
    scrub_paths(shape.selected);
    Remembering remembering{model, &shape.expanded};
    gtk_tree_view_map_expanded_rows(view, remember_expanded, &remembering);
    PathListPtr rows{gtk_tree_selection_get_selected_rows(gtk_tree_view_get_selection(view), nullptr)};
    for (GList* row = rows.get(); row; row = row->next)
        shape.selected.push_back(text_path(model, static_cast<GtkTreePath*>(row->data)));
}

namespace {

// The path of the first row whose texts match from the top level down; null when the tree has none.
GtkTreePath* find_text_path(GtkTreeModel* model, const TextPath& texts)
{
    GtkTreeIter parent;
    GtkTreeIter child;
    bool at_top = true;
    for (const std::string& text : texts) {
        bool found = false;
        for (bool more = gtk_tree_model_iter_children(model, &child, at_top ? nullptr : &parent); more;
             more = gtk_tree_model_iter_next(model, &child)) {
            std::string row_text = text_of(model, &child);
            found = row_text == text;
            scrub(row_text);
            if (found)
                break;
        }
        if (!found)
            return nullptr;
        parent = child;
        at_top = false;
    }
    return at_top ? nullptr : gtk_tree_model_get_path(model, &parent);
}

} // namespace

void restore_tree_shape(AccountTree& tree)
{
    TreeShape& shape = tree.shape;
    GtkTreeView* view = tree.view;
    GtkTreeModel* model = view ? gtk_tree_view_get_model(view) : nullptr;
    if (model) {
        for (const TextPath& texts : shape.expanded)
            if (TreePathPtr path{find_text_path(model, texts)})
                gtk_tree_view_expand_row(view, path.get(), FALSE);
        GtkTreeSelection* selection = gtk_tree_view_get_selection(view);
        bool first = true;
        for (const TextPath& texts : shape.selected) {
            TreePathPtr path{find_text_path(model, texts)};
            if (!path)
                continue;
            // Its ancestors open so that it can be selected; the row itself stays as it was (open only
            // when it was among the expanded ones).
            TreePathPtr parent{gtk_tree_path_copy(path.get())};
            if (gtk_tree_path_up(parent.get()) && gtk_tree_path_get_depth(parent.get()) > 0)
                gtk_tree_view_expand_to_path(view, parent.get());
            gtk_tree_selection_select_path(selection, path.get());
            if (first)
                gtk_tree_view_scroll_to_cell(view, path.get(), nullptr, FALSE, 0, 0);
            first = false;
        }
    }
    scrub_paths(shape.expanded);
    scrub_paths(shape.selected);
}

namespace {

// The text cells keep the last text they drew until they draw again.
void forget_view_texts(GtkTreeView* view)
{
    GListPtr columns{gtk_tree_view_get_columns(view)};
    for (GList* column = columns.get(); column; column = column->next) {
        GListPtr cells{gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(column->data))};
        for (GList* cell = cells.get(); cell; cell = cell->next)
            if (GTK_IS_CELL_RENDERER_TEXT(cell->data))
                g_object_set(cell->data, "text", nullptr, nullptr);
    }
}

} // namespace

void forget_drawn_texts(AccountTree& tree)
{
    for (GtkTreeView* view : all_tree_views(tree))
        forget_view_texts(view);
}

} // namespace sealkeep
