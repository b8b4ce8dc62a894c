// The tree's shape across a time without rows: remembered before the rows go, put back on the next tree.
#pragma once

#include "ui/tree/account_tree.h"

namespace sealkeep {

// Remembers the rows expanded and selected now (by keyed digests of their texts), for the restore below.
void remember_tree_shape(AccountTree& tree);

// Expands and selects the remembered rows that the tree shown now has, then forgets them.
void restore_tree_shape(AccountTree& tree);

// The views' text cells keep the last text they drew until they draw again: they let go of it now.
void forget_drawn_texts(AccountTree& tree);

} // namespace sealkeep
