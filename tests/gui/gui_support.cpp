// Shared helpers for the in-process GUI tests.
#include "gui/gui_support.h"

#include "db/entry_store.h"
#include "db/password_load.h"
#include "db/record_line.h"

namespace sealkeep::test {

void drain_events()
{
    while (gtk_events_pending())
        gtk_main_iteration();
}

int load_fixture(const std::vector<std::string>& lines)
{
    GtkTreeStore* store = entry_store();
    clear_entry_store(store);
    database_loaded = load_into_store(store, [&](const AddLine& add_line) {
        int result = 0;
        for (const auto& text : lines) {
            if (auto line = parse_record_line(text + "\n")) {
                add_line(*line);
                result = 1;
            }
        }
        return result;
    });
    drain_events();
    return database_loaded;
}

std::string row_text(const char* path)
{
    GtkTreeIter iter;
    GtkTreeModel* model = GTK_TREE_MODEL(entry_store());
    if (!gtk_tree_model_get_iter_from_string(model, &iter, path))
        return {};
    gchar* text = nullptr;
    gtk_tree_model_get(model, &iter, COL_TEXT, &text, -1);
    std::string result = text ? text : "";
    g_free(text);
    return result;
}

namespace {
struct Pending {
    void (*respond)(GtkWidget*, void*);
    void* data;
};

gboolean respond_when_dialog_shown(gpointer user_data)
{
    auto* pending = static_cast<Pending*>(user_data);
    GList* toplevels = gtk_window_list_toplevels();
    GtkWidget* dialog = nullptr;
    for (GList* l = toplevels; l; l = l->next)
        if (GTK_IS_DIALOG(l->data) && gtk_widget_get_mapped(GTK_WIDGET(l->data)))
            dialog = GTK_WIDGET(l->data);
    g_list_free(toplevels);
    if (!dialog)
        return TRUE;  // not shown yet: try again on the next round
    pending->respond(dialog, pending->data);
    delete pending;
    return FALSE;
}
} // namespace

void respond_in_nested_loop(void (*respond)(GtkWidget* dialog, void* data), void* data)
{
    g_timeout_add(20, respond_when_dialog_shown, new Pending{respond, data});
}

} // namespace sealkeep::test
