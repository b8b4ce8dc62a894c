// The window's events, each an ordered sequence of calls to its parts.
#include "ui/window/document_events.h"

#include "ui/actions/login_service.h"
#include "ui/file/save_job.h"
#include "ui/file/unsaved_edits.h"
#include "ui/search/search_bar.h"
#include "ui/tree/edited_tree.h"
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

} // namespace sealkeep
