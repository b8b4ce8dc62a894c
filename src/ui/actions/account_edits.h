// The commands of the Edit menu: add, edit, duplicate and delete accounts and change the password of the
// accounts under a selection. Each makes a new document and shows it at once, the rows expanded and
// selected before still expanded and selected.
#pragma once

#include "core/document_edit.h"

#include <gtk/gtk.h>

#include <cstdint>
#include <vector>

namespace sealkeep {

struct MainWindow;

void add_account_command(MainWindow& main);
void edit_account_command(MainWindow& main);
void duplicate_account_command(MainWindow& main);
void delete_accounts_command(MainWindow& main);
void change_password_command(MainWindow& main);

// Whether an edit may start: a verified document is shown (it may have no account) and no load runs.
bool can_edit(const MainWindow& main);

// Double-click on a user row edits it; the Delete key reaches a text field that has the focus before it
// reaches the menu.
void connect_edit_handlers(MainWindow& main);

// Shows the edited document in place of the shown one: the rows expanded and selected before stay so
// (followed to their new places through the edit's line map). When `select_written` is set, the lines the
// edit wrote become the selection instead, revealed. Notes the unsaved edit.
void show_edited_document(MainWindow& main, EditResult result, bool select_written);

} // namespace sealkeep
