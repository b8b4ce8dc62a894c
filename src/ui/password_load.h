// Showing a verified load: its rows go into the store in one pass, its records to the window state.
#pragma once

#include "core/loaded_rows.h"

namespace sealkeep {

struct MainWindow;

// Fills the store (cleared by the caller) with the rows, keeps their records in main.records and
// hands the search the rows' texts. Returns whether any row was added.
bool show_loaded_rows(MainWindow& main, LoadedRows rows);

} // namespace sealkeep
