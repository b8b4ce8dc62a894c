// The tree's side of an edit: the edited document shown in place of the old one, the tree's shape kept.
#pragma once

#include "core/document_edit.h"
#include "ui/tree/account_tree.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace sealkeep {

// A user row: it carries a record and stands at the bottom of its chain (a server row that carries
// root's shortcut has children).
bool is_user_row(const Document& document, std::uint32_t row);
// The line of the record a row carries; Document::NONE for a row without one.
std::uint32_t line_of_row(const Document& document, std::uint32_t row);

// The selected rows of the view shown, top to bottom.
std::vector<std::uint32_t> selected_tree_rows(const AccountTree& tree);

// Shows the edited document in place of the shown one: the rows expanded and selected before stay so
// (followed to their new places through the edit's line map). When `select_written` is set, the lines the
// edit wrote become the selection instead, revealed. Under a filter, `refilter` runs once the new model
// is in, to show the filter over it. False when nothing was shown (no document, no view).
bool show_edited_tree(AccountTree& tree, EditResult result, bool select_written, const std::function<void()>& refilter);

} // namespace sealkeep
