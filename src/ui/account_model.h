// The account tree as a GtkTreeModel over a loaded document: iterators are row numbers, paths are
// worked out from each row's parent and position, and no row has a node, a value or an allocation of
// its own in the toolkit. The model owns its document; the document never changes while it is shown.
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

// The row an iterator of the model stands on, and the iterator and path of a row.
std::uint32_t account_model_row(const GtkTreeIter* iter);
void account_model_iter(GtkTreeModel* model, std::uint32_t row, GtkTreeIter* iter);
GtkTreePath* account_model_path(GtkTreeModel* model, std::uint32_t row);

// A model (one reference, the caller's) of the same document that shows only the rows flagged in
// `shown` (one flag per row; a shown row's parent must be shown too). It keeps `base` alive.
GtkTreeModel* account_model_new_filtered(GtkTreeModel* base, const std::vector<bool>& shown);

// The unfiltered model behind a model (the model itself when it is not filtered).
GtkTreeModel* account_model_base(GtkTreeModel* model);

} // namespace sealkeep
