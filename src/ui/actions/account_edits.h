// The commands of the Edit menu: add, edit, duplicate and delete accounts and change the password of the
// accounts under a selection. Each makes a new document and shows it at once, the rows expanded and
// selected before still expanded and selected.
#pragma once

#include "core/document_edit.h"

#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace sealkeep {

struct AccountTree;
class StatusRow;
struct WindowSettings;

// What the Edit menu works with: the tree and its selection, the status row, the settings the dialogs
// read and keep (Generate's recipe), the dialogs' parent, whether a load runs, and the window's way of
// showing an edited document in place of the shown one (rows expanded and selected before stay so; with
// `select_written`, the lines the edit wrote become the selection, revealed; the edit is noted unsaved).
struct AccountEditing {
    AccountTree& tree;
    StatusRow& status;
    WindowSettings& settings;
    std::function<GtkWindow*()> parent; // null once the window went
    std::function<bool()> load_running;
    std::function<void(EditResult result, bool select_written)> show_edited;
};

void add_account_command(const AccountEditing& editing);
void edit_account_command(const AccountEditing& editing);
void duplicate_account_command(const AccountEditing& editing);
void delete_accounts_command(const AccountEditing& editing);
void change_password_command(const AccountEditing& editing);

// Whether an edit may start: a verified document is shown (it may have no account) and no load runs.
bool can_edit(const AccountEditing& editing);

// Double-click on a user row edits it; the Delete key reaches a text field that has the focus before it
// reaches the menu.
void connect_edit_handlers(AccountEditing& editing);

} // namespace sealkeep
