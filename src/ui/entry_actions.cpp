// The four actions on the selected accounts: copy the command line, copy the password, copy the
// password and run the command line, run it (one row) or run the cluster template (several rows).
// Every refusal is silent: nothing loaded, nothing selected, or a row without a record.
#include "ui/entry_actions.h"

#include "ui/glib_ptr.h"
#include "ui/entry_store.h"
#include "ui/clipboard.h"
#include "ui/command_runner.h"
#include "core/command_template.h"

#include <string>

namespace sealkeep {

namespace {

const EntryRecord* row_record(GtkTreeModel* model, GtkTreePath* path)
{
    GtkTreeIter iter;
    if (!gtk_tree_model_get_iter(model, &iter, path))
        return nullptr;
    gpointer record = nullptr;
    gtk_tree_model_get(model, &iter, COL_ENTRY, &record, -1);
    return static_cast<const EntryRecord*>(record);
}

// The selected rows, top to bottom; empty when nothing is loaded, so every action stops at once.
PathListPtr selected_rows(GtkTreeView* tree_view, GtkTreeModel** model)
{
    *model = nullptr;
    if (!database_loaded || !tree_view)
        return PathListPtr{};
    GtkTreeSelection* selection = gtk_tree_view_get_selection(tree_view);
    return PathListPtr{gtk_tree_selection_get_selected_rows(selection, model)};
}

// The copy actions work on the top-most selected row alone, even when it has no record and rows
// further down do: the record-level operation then gets null and does nothing.
void apply_to_first_row(GtkTreeView* tree_view, void (*operation)(const EntryRecord*))
{
    GtkTreeModel* model = nullptr;
    PathListPtr rows = selected_rows(tree_view, &model);
    if (!rows)
        return;
    operation(row_record(model, static_cast<GtkTreePath*>(rows->data)));
}

// A command that fails at once or cannot start is said on standard error for now.
void report_on_stderr(const std::string& message)
{
    g_printerr("%s\n", message.c_str());
}

} // namespace

void copy_command_line_to_clipboard(const EntryRecord* record)
{
    if (record)
        copy_to_clipboard(record->command_line());
}

void copy_password_to_clipboard(const EntryRecord* record)
{
    if (record)
        copy_to_clipboard(record->password());
}

void copy_password_and_run(const EntryRecord* record)
{
    // The password is on the clipboard before the command starts, so the command can ask for it.
    copy_password_to_clipboard(record);
    run_command_line(record);
}

void run_command_line(const EntryRecord* record)
{
    // An empty command line runs nothing.
    if (record)
        start_command_line(std::string(record->command_line()), report_on_stderr);
}

void on_copy_command_line(GtkTreeView* tree_view)
{
    apply_to_first_row(tree_view, copy_command_line_to_clipboard);
}

void on_copy_password(GtkTreeView* tree_view)
{
    apply_to_first_row(tree_view, copy_password_to_clipboard);
}

void on_copy_password_and_execute(GtkTreeView* tree_view)
{
    apply_to_first_row(tree_view, copy_password_and_run);
}

void on_execute(GtkTreeView* tree_view)
{
    GtkTreeModel* model = nullptr;
    PathListPtr rows = selected_rows(tree_view, &model);
    if (!rows)
        return;
    if (!rows->next) {
        run_command_line(row_record(model, static_cast<GtkTreePath*>(rows->data)));
        return;
    }
    // The rows' services play no part: several rows always mean the cluster template. Hosts keep
    // the order of the tree and are neither sorted nor made unique; the template runs even when
    // no selected row had a record and the list stays empty.
    std::string host_list;
    for (GList* row = rows.get(); row; row = row->next) {
        if (const EntryRecord* record = row_record(model, static_cast<GtkTreePath*>(row->data))) {
            host_list += ' ';
            host_list += record->host();
        }
    }
    start_command_line(expand_cluster_command(host_list), report_on_stderr);
}

} // namespace sealkeep
