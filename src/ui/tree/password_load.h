// Showing a verified load: the view gets a model over its document.
#pragma once

#include "core/document.h"

#include <memory>

namespace sealkeep {

struct MainWindow;

// Shows the document (finished) in place of whatever the view showed. Returns whether it has any row.
bool show_loaded_rows(MainWindow& main, std::unique_ptr<Document> document);

} // namespace sealkeep
