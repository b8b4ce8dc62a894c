// The window's events, each an ordered sequence of calls to its parts.
#include "ui/window/document_events.h"

#include "ui/actions/clipboard.h"
#include "ui/actions/login_service.h"
#include "ui/file/agent_cache.h"
#include "ui/file/load_job.h"
#include "ui/file/save_job.h"
#include "ui/file/unsaved_edits.h"
#include "ui/i18n.h"
#include "ui/lock/lock.h"
#include "ui/prompt/passphrase_prompt.h"
#include "ui/search/search_bar.h"
#include "ui/tree/edited_tree.h"
#include "ui/tree/tree_shape.h"
#include "ui/tree/entry_store.h"
#include "ui/window/main_window.h"

namespace sealkeep {

void clear_document(MainWindow& main)
{
    revoke_login_tokens(main.login);
    // Whatever is shown next is another document.
    ++main.document_serial;
    main.edits_after_save = 0;
    show_empty_tree(main.tree);
    forget_loaded_file(main);
}

void show_edited_document(MainWindow& main, EditResult result, bool select_written)
{
    clear_search_matches(main.search);
    if (show_edited_tree(main.tree, std::move(result), select_written, [&main] { run_search(main); }))
        note_document_edited(main);
}

void lock_window(MainWindow& main)
{
    // Nothing of an account stays on a locked screen, and nothing typed in a dialog reaches a document
    // the lock takes away.
    close_dialogs_marked_for_lock();
    stop_load(main);
    // Locking twice keeps what the first lock remembered: there is no tree to remember now.
    if (main.tree.database_loaded)
        remember_tree_shape(main.tree);
    // A lock comes unasked (idle time, suspend) and cannot wait for an answer: edits not yet saved are
    // saved now, by a job that holds its own copy until it is written, rather than lost with the tree.
    if (main.unsaved_edits && !save_running(main))
        start_save(main, SaveChoice{});
    // The document goes now: should the save fail, its copy of the edits is kept for the unlock; edits
    // made while it ran are not in that copy, and are kept at once.
    if (save_running(main)) {
        main.save->hold_edits_on_failure();
        hold_edits_beyond_save(main);
    }
    // The secrets go in a fixed order: the search's matches, then the document with the tokens that
    // answer from it and the loaded file's passphrase (see clear_document), then what the views drew,
    // the copied password, and the key's passphrase the agent holds.
    clear_search_matches(main.search);
    clear_document(main);
    forget_drawn_texts(main.tree);
    clear_copied_password(main.clipboard);
    if (!main.lock.decryption_key.empty())
        forget_key_passphrase(main.lock.decryption_key);
    show_status(main, _("Locked."));
    ask_passphrase_again(main);
}

} // namespace sealkeep
