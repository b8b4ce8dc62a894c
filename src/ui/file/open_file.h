// The file the window has open: its loads, the file loaded, its save, the edits not in it yet, and the
// watch on it. The parts of the window it works with are handed to it; what only the window can do
// (show a document with its search, start a load, ask for the passphrase) it asks for through callbacks.
#pragma once

#include "core/account_load.h"
#include "core/loaded_file.h"
#include "ui/glib_ptr.h"

#include <gio/gio.h>
#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sealkeep {

class LoadJob;
class SaveJob;
class StatusRow;
struct AccountTree;
struct WindowSettings;

struct OpenFile {
    OpenFile(StatusRow& status, AccountTree& tree, WindowSettings& settings);
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    // A save still running is stopped before its rename (the file stays as it was); loads are
    // cancelled and their workers joined.
    ~OpenFile();

    // The parts it works with: the status row says what happens, the tree shows the document, the
    // settings name the file.
    StatusRow& status;
    AccountTree& tree;
    WindowSettings& settings;

    // What the window does for it.
    std::function<GtkWindow*()> parent;                            // dialogs' parent; null once the window went
    std::function<void(std::unique_ptr<Document>)> show_document;  // in the tree, with the search over it, loaded
    std::function<void(LoadResult)> loaded;                        // a load ended on its own
    std::function<void(std::string passphrase)> load;              // a new load of the file
    std::function<void()> refresh;                                 // the prompt, for a load

    std::unique_ptr<LoadJob> load_job;              // the running load, if any
    std::vector<std::unique_ptr<LoadJob>> stopping; // cancelled loads whose workers have not ended yet
    guint progress_source = 0;                      // the load's progress in the status bar

    // Edits of the document not yet in the file (the title shows a mark), and a count of edits, by which
    // a save that ends knows whether the document is still what it wrote.
    bool unsaved_edits = false;
    unsigned edit_generation = 0;
    // Which document the window shows: changes whenever the tree is emptied (a lock, Refresh, a load),
    // not at an edit. A save that ends knows by it whether it wrote the document shown.
    unsigned document_serial = 0;
    // The running save whose text the shown document's edits stand on (kept at a lock beyond that save
    // and shown again before it ended); 0: none.
    unsigned edits_after_save = 0;
    bool keyring_listing = false;            // the keyring is being listed for the recipients dialog
    std::unique_ptr<LoadedFile> loaded_file; // what a save needs of the file the document came from
    std::unique_ptr<SaveJob> save;           // the running save, if any
    std::unique_ptr<HeldEdits> held_edits;   // edits a lock took whose save failed, until the unlock
    RefPtr<GFileMonitor> file_monitor;       // the loaded file, for changes made by others
    // The (sub)key that decrypted the file last; the agent forgets its passphrase after each load and
    // again on lock. Empty for a symmetric file.
    std::string decryption_key;
};

} // namespace sealkeep
