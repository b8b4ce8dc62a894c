// The actions on the selected accounts.
#pragma once

#include "core/entry_record.h"
#include "core/settings_values.h"

namespace sealkeep {

struct AccountTree;
struct ClipboardState;
struct Login;
class StatusRow;

// What the actions work with: the selected rows of the tree, the templates and delays in use, the
// selections, Log in, and the status row that says what went wrong.
struct AccountActions {
    AccountTree& tree;
    const SettingsValues& settings;
    ClipboardState& clipboard;
    Login& login;
    StatusRow& status;
};

void on_copy_command_line(const AccountActions& actions);
void on_copy_password(const AccountActions& actions);
void on_copy_password_and_execute(const AccountActions& actions);
void on_execute(const AccountActions& actions);
// Execute with ssh's password prompts answered by Sealkeep; an account whose service is not ssh is
// Copy password & Execute instead.
void on_log_in(const AccountActions& actions);

// Record-level operations; each does nothing with a null record.
void copy_command_line_to_clipboard(const AccountActions& actions, const EntryRecord* record);
void copy_password_to_clipboard(const AccountActions& actions, const EntryRecord* record);
void copy_password_and_run(const AccountActions& actions, const EntryRecord* record);
void run_command_line(const AccountActions& actions, const EntryRecord* record);

// Starts a command line beside the main loop; what goes wrong is said in the status bar.
void run_in_background(const AccountActions& actions, const std::string& command_line);

} // namespace sealkeep
