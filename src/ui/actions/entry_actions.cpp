// The actions on the selected accounts: copy the command line, copy the password, copy the password
// and run the command line, run it (one row) or run the cluster template (several rows), and log in.
// Every refusal is silent: nothing loaded, nothing selected, or a row without a record.
#include "ui/actions/entry_actions.h"

#include "core/command_template.h"
#include "core/text_encoding.h"
#include "core/tree_building.h"
#include "ui/actions/clipboard.h"
#include "ui/actions/command_runner.h"
#include "ui/actions/login_service.h"
#include "ui/glib_ptr.h"
#include "ui/tree/entry_store.h"
#include "ui/status/status_row.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

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
PathListPtr selected_rows(const AccountActions& actions, GtkTreeModel** model)
{
    *model = nullptr;
    if (!actions.tree.database_loaded || !actions.tree.view)
        return PathListPtr{};
    GtkTreeSelection* selection = gtk_tree_view_get_selection(actions.tree.view);
    return PathListPtr{gtk_tree_selection_get_selected_rows(selection, model)};
}

// The copy actions work on the top-most selected row alone, even when it has no record and rows
// further down do: the record-level operation then gets null and does nothing.
void apply_to_first_row(const AccountActions& actions, void (*operation)(const AccountActions&, const EntryRecord*))
{
    GtkTreeModel* model = nullptr;
    PathListPtr rows = selected_rows(actions, &model);
    if (!rows)
        return;
    operation(actions, row_record(model, static_cast<GtkTreePath*>(rows->data)));
}

bool uses_ssh(const AccountActions& actions, const EntryRecord& record)
{
    return select_service_template(actions.settings, record.service()) == &actions.settings.ssh_cmd;
}

// The user and host ssh will name in its prompt, as the command line names them.
LoginAccount login_account(const EntryRecord& record)
{
    std::string user = record.user();
    return {user.empty() ? std::string(NO_USER_TEXT) : user, record.host(), record, {}, {}};
}

// A host of the cluster list for Log in: "user@host", so that each host is logged into as its own
// account's user (the cluster program and ssh both take that form). A user with characters outside
// those of portable user names goes as the host alone, as for Execute: the list is shell text.
std::string cluster_login_host(const EntryRecord& record)
{
    const std::string user = record.user();
    const bool portable = !user.empty() && user.front() != '-' && std::ranges::all_of(user, [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
               c == '-';
    });
    return portable ? user + "@" + record.host() : record.host();
}

} // namespace

void copy_command_line_to_clipboard(const AccountActions& actions, const EntryRecord* record)
{
    if (record)
        copy_to_clipboard(actions.clipboard, record->command_line());
}

void copy_password_to_clipboard(const AccountActions& actions, const EntryRecord* record)
{
    if (!record)
        return;
    std::string password = record->password();
    copy_to_clipboard(actions.clipboard, password, CopyKind::Password, actions.settings.clipboard_clear_seconds);
    scrub(password);
}

void copy_password_and_run(const AccountActions& actions, const EntryRecord* record)
{
    // The password is on the clipboard before the command starts, so the command can ask for it.
    copy_password_to_clipboard(actions, record);
    run_command_line(actions, record);
}

void run_command_line(const AccountActions& actions, const EntryRecord* record)
{
    if (record)
        run_in_background(actions, record->command_line());
}

void on_copy_command_line(const AccountActions& actions)
{
    apply_to_first_row(actions, copy_command_line_to_clipboard);
}

void on_copy_password(const AccountActions& actions)
{
    apply_to_first_row(actions, copy_password_to_clipboard);
}

void on_copy_password_and_execute(const AccountActions& actions)
{
    apply_to_first_row(actions, copy_password_and_run);
}

void on_execute(const AccountActions& actions)
{
    GtkTreeModel* model = nullptr;
    PathListPtr rows = selected_rows(actions, &model);
    if (!rows)
        return;
    if (!rows->next) {
        run_command_line(actions, row_record(model, static_cast<GtkTreePath*>(rows->data)));
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
    run_in_background(actions, expand_cluster_command(actions.settings, host_list));
}

void on_log_in(const AccountActions& actions)
{
    GtkTreeModel* model = nullptr;
    PathListPtr rows = selected_rows(actions, &model);
    if (!rows)
        return;
    if (!rows->next) {
        const EntryRecord* record = row_record(model, static_cast<GtkTreePath*>(rows->data));
        if (!record)
            return;
        if (!uses_ssh(actions, *record)) {
            copy_password_and_run(actions, record);
            return;
        }
        start_login(actions.login, record->command_line(), {login_account(*record)});
        return;
    }
    // Execute's host list, with each ssh account's host as user@host; only the ssh accounts among the
    // rows get their passwords.
    std::string host_list;
    std::vector<LoginAccount> accounts;
    for (GList* row = rows.get(); row; row = row->next) {
        if (const EntryRecord* record = row_record(model, static_cast<GtkTreePath*>(row->data))) {
            host_list += ' ';
            if (uses_ssh(actions, *record)) {
                host_list += cluster_login_host(*record);
                accounts.push_back(login_account(*record));
            } else {
                host_list += record->host();
            }
        }
    }
    start_login(actions.login, expand_cluster_command(actions.settings, host_list), std::move(accounts));
}

void run_in_background(const AccountActions& actions, const std::string& command_line)
{
    StatusRow* status = &actions.status;
    start_command_line(command_line, [status](const std::string& message) { status->say(message); });
}

} // namespace sealkeep
