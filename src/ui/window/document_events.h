// What happens to the window's parts when the document it shows changes: each event written once, as
// calls to the parts in a fixed order.
#pragma once

#include "core/account_load.h"
#include "core/document_edit.h"

#include <memory>
#include <string>

namespace sealkeep {

struct MainWindow;

// The document goes (a lock, Refresh, another load): Log in's tokens are revoked (they answer from its
// records), a save still running learns it was made from another document, the rows and the document
// are dropped (overwritten), and the loaded file is forgotten, its passphrase overwritten. The search's
// matches stay: they are rows of the document that went, a later step through them reveals nothing, and
// the next search replaces them.
void clear_document(MainWindow& main);

// Shows the document (finished) in place of whatever the tree showed, with the search over it: a filter
// that is on shows its part at once. The tree counts as loaded when the document has an account.
// Returns whether it has any row.
bool show_loaded_rows(MainWindow& main, std::unique_ptr<Document> document);

// Cancels a running load, clears the document and starts a new load with this passphrase, the file path
// and the templates in use now. The passphrase is overwritten once gpg has it.
void start_load(MainWindow& main, std::string passphrase);

// A load ended on its own: a verified one shows its document (edits a lock kept put back, the tree in
// the shape it had before the lock, the focus in the search bar); a wrong passphrase is asked again.
void show_loaded_document(MainWindow& main, LoadResult result);

// An edit made a new document: the search's matches go (they are positions in the old tree), the tree
// shows the new document in the old one's shape (a filter shown is run again over it), and the edit is
// noted unsaved.
void show_edited_document(MainWindow& main, EditResult result, bool select_written);

// Locks the window: dialogs that show accounts close as Cancel, a running load stops, the tree's shape is
// remembered for the unlock, unsaved edits are saved (and kept should that save fail), everything
// decrypted goes, a copied password is cleared, the agent forgets the key's passphrase, and the prompt
// asks for the passphrase again. The search text stays.
void lock_window(MainWindow& main);

} // namespace sealkeep
