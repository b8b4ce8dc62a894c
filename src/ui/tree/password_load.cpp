// Showing a verified load: the document the worker built becomes the view's model as it is, so showing
// it costs the same for ten accounts as for a hundred thousand.
#include "ui/tree/password_load.h"

#include "ui/search/search_bar.h"
#include "ui/tree/account_model.h"
#include "ui/tree/entry_store.h"
#include "ui/window/main_window.h"

#include <utility>

namespace sealkeep {

bool show_loaded_rows(MainWindow& main, std::unique_ptr<Document> document)
{
    const bool any = document && !document->rows().empty();
    GtkTreeModel* model = account_model_new(std::move(document), main.tree.customer_icon.get());
    set_entry_model(main.tree, model);
    g_object_unref(model);
    // A filter that is on (over a text the user typed) shows its part of the new tree at once; without
    // one, the search in the bar still steps through the new tree.
    if (main.settings.values.search_filter && !main.search.text_untouched)
        run_search(main);
    else
        match_search_again(main);
    return any;
}

} // namespace sealkeep
