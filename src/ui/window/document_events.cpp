// The window's events, each an ordered sequence of calls to its parts.
#include "ui/window/document_events.h"

#include "core/record_reader.h"
#include "core/text_encoding.h"
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
#include "ui/settings/window_settings.h"
#include "ui/tree/edited_tree.h"
#include "ui/tree/entry_store.h"
#include "ui/tree/tree_shape.h"
#include "ui/window/main_window.h"

namespace sealkeep {

void clear_document(MainWindow& main)
{
    revoke_login_tokens(main.login);
    // Whatever is shown next is another document.
    ++main.file.document_serial;
    main.file.edits_after_save = 0;
    show_empty_tree(main.tree);
    forget_loaded_file(main.file);
}

bool show_loaded_rows(MainWindow& main, std::unique_ptr<Document> document)
{
    const bool any = document && !document->rows().empty();
    main.tree.database_loaded = document && document->accounts() > 0;
    GtkTreeModel* model = account_model_new(std::move(document), main.tree.customer_icon.get());
    set_entry_model(main.tree, model);
    g_object_unref(model);
    // A filter that is on (over a text the user typed) shows its part of the new tree at once; without
    // one, the search in the bar still steps through the new tree.
    if (main.settings.values.search_filter && !main.search.text_untouched)
        run_search(main.search);
    else
        match_search_again(main.search);
    return any;
}

void start_load(MainWindow& main, std::string passphrase)
{
    stop_load(main.file);
    clear_document(main);
    LoadRequest request;
    request.decrypt.path = expand_home(main.settings.values.password_file_path);
    request.decrypt.passphrase = std::move(passphrase);
    request.templates = main.settings.values;
    // A short string keeps its bytes where it was moved from.
    scrub(passphrase);
    start_load_job(main.file, std::move(request));
}

void show_loaded_document(MainWindow& main, LoadResult result)
{
    if (result.verdict.outcome == DecryptOutcome::BadPassphrase) {
        ask_passphrase_again(main.prompt);
        return;
    }
    if (result.verdict.outcome != DecryptOutcome::Verified)
        return;
    // The rows first, then the file they came from; edits a lock kept replace them, and the tree takes
    // the shape it had before the lock.
    show_loaded_rows(main, std::move(result.document));
    remember_loaded_file(main.file, std::move(result.file));
    show_held_edits(main.file);
    restore_tree_shape(main.tree);
    gtk_widget_grab_focus(GTK_WIDGET(main.search.entry));
}

void show_edited_document(MainWindow& main, EditResult result, bool select_written)
{
    clear_search_matches(main.search);
    if (show_edited_tree(main.tree, std::move(result), select_written, [&main] { run_search(main.search); }))
        note_document_edited(main.file);
}

void lock_window(MainWindow& main)
{
    // Nothing of an account stays on a locked screen, and nothing typed in a dialog reaches a document
    // the lock takes away.
    close_dialogs_marked_for_lock();
    stop_load(main.file);
    // Locking twice keeps what the first lock remembered: there is no tree to remember now.
    if (main.tree.database_loaded)
        remember_tree_shape(main.tree);
    // A lock comes unasked (idle time, suspend) and cannot wait for an answer: edits not yet saved are
    // saved now, by a job that holds its own copy until it is written, rather than lost with the tree.
    if (main.file.unsaved_edits && !save_running(main.file))
        start_save(main.file, SaveChoice{});
    // The document goes now: should the save fail, its copy of the edits is kept for the unlock; edits
    // made while it ran are not in that copy, and are kept at once.
    if (save_running(main.file)) {
        main.file.save->hold_edits_on_failure();
        hold_edits_beyond_save(main.file);
    }
    // The secrets go in a fixed order: the search's matches, then the document with the tokens that
    // answer from it and the loaded file's passphrase (see clear_document), then what the views drew,
    // the copied password, and the key's passphrase the agent holds.
    clear_search_matches(main.search);
    clear_document(main);
    forget_drawn_texts(main.tree);
    clear_copied_password(main.clipboard);
    if (!main.file.decryption_key.empty())
        forget_key_passphrase(main.file.decryption_key);
    show_status(main, _("Locked."));
    ask_passphrase_again(main.prompt);
}

} // namespace sealkeep
