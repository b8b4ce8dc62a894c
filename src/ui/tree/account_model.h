// The account tree as a GtkTreeModel over a loaded document: iterators are row numbers, paths are
// worked out from each row's parent and position, and no row has a node, a value or an allocation of
// its own in the toolkit. The model owns its document; the document never changes while it is shown,
// and a model lets in only rows it held back, or takes rows away only after its texts are gone.
#pragma once

#include "core/document.h"

#include <gtk/gtk.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace sealkeep {

enum { COL_ICON, COL_TEXT, COL_ENTRY, N_ENTRY_COLUMNS };

// A new model (one reference, the caller's) showing the document, or no row when it is null.
// Customer rows show `customer_icon`.
GtkTreeModel* account_model_new(std::unique_ptr<Document> document, GdkPixbuf* customer_icon);

// The document a model shows (null for an empty model, or a model of another kind).
const Document* account_model_document(GtkTreeModel* model);
// The templates the model's document builds command lines from, replaced (the model owns the document).
void account_model_use_templates(GtkTreeModel* model, SettingsValues templates);

// The row an iterator of the model stands on, and the iterator and path of a row.
std::uint32_t account_model_row(const GtkTreeIter* iter);
void account_model_iter(GtkTreeModel* model, std::uint32_t row, GtkTreeIter* iter);
GtkTreePath* account_model_path(GtkTreeModel* model, std::uint32_t row);

// A model (one reference, the caller's) of the same document that shows only the rows flagged in
// `shown` (one flag per row; a shown row's parent must be shown too). It keeps `base` alive.
GtkTreeModel* account_model_new_filtered(GtkTreeModel* base, std::vector<bool> shown);

// A filtered model can let its rows in a part at a time, in walk order, for a view that builds a node
// for every row it shows: a parent comes in before its children, and a parent's first children before
// the others, so rows in keep their paths as more come in.
// Holds back all but the first `first_rows` shown rows: only before a view has the model.
void account_model_hold_back(GtkTreeModel* filtered, std::uint32_t first_rows);
bool account_model_holds_back(GtkTreeModel* filtered);
// Lets every row in at once, unsignalled: only while no view has the model.
void account_model_let_all_in(GtkTreeModel* filtered);

// An unfiltered model can hold back all but the children [first, end) of one row (not a top-level
// one), for a view about to expand it: only while that row is collapsed in every view of the model.
// Those children are then the row's children from position 0; the others come in one at a time,
// those before first, then those after. A window that takes every child is none.
void account_model_open_window(GtkTreeModel* model, std::uint32_t parent, std::uint32_t first, std::uint32_t end);
bool account_model_holds_back_children(GtkTreeModel* model);

// A view lets go of its rows in slices: a model's rows are taken away from the last, each with what
// is under it. An unfiltered model lets its texts go at once first (its rows then show none) and keeps
// the tree's shape; a filtered one needs none of its own. The last row still in a model (NONE when
// none is), rows a window holds back at the end being let go unsignalled first:
std::uint32_t account_model_last_row(GtkTreeModel* model);
void account_model_drop_texts(GtkTreeModel* model);
// Takes a row away with what is under it, which must be the last rows in the model, and signals it
// (the row deleted; its parent as having no children when it has none left).
void account_model_remove_last(GtkTreeModel* model, std::uint32_t row);
// Whether a row is in the model (shown, and not held back).
bool account_model_has_row(GtkTreeModel* model, std::uint32_t row);

struct AccountModelRelease {
    std::uint32_t row = Document::NONE; // NONE: every row was in already
    bool opens_parent = false;           // the row is its parent's first child in the model
    bool has_children = false;           // its subtree came in with it
};
// Lets the next row held back in, and signals it to the views (the row inserted; the row and its
// parent as having children where they now do). In a filtered model the row's whole subtree comes
// with it when that is at most `bulk` rows, and a view that shows everything expanded then expands
// the parent (when it opens) and the row. An unfiltered model lets in the next child around its
// window, its subtree with it, the row collapsed.
AccountModelRelease account_model_let_in_next(GtkTreeModel* model, std::uint32_t bulk);

// The n-th child of a row (of the top level for NONE) among the rows a filtered model shows, whether
// they are in it yet or held back: what the user asked to see.
std::uint32_t account_model_shown_child(GtkTreeModel* model, std::uint32_t parent, std::uint32_t n);

// The unfiltered model behind a model (the model itself when it is not filtered).
GtkTreeModel* account_model_base(GtkTreeModel* model);

} // namespace sealkeep
