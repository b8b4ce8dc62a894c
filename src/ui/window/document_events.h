// What happens to the window's parts when the document it shows changes: each event written once, as
// calls to the parts in a fixed order.
#pragma once

namespace sealkeep {

struct MainWindow;

// The document goes (a lock, Refresh, another load): Log in's tokens are revoked (they answer from its
// records), a save still running learns it was made from another document, the rows and the document
// are dropped (overwritten), and the loaded file is forgotten, its passphrase overwritten. The search's
// matches stay: they are rows of the document that went, a later step through them reveals nothing, and
// the next search replaces them.
void clear_document(MainWindow& main);

} // namespace sealkeep
