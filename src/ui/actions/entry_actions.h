// The actions on the selected accounts.
#pragma once

#include "core/entry_record.h"

namespace sealkeep {

struct MainWindow;

void on_copy_command_line(MainWindow& main);
void on_copy_password(MainWindow& main);
void on_copy_password_and_execute(MainWindow& main);
void on_execute(MainWindow& main);
// Execute with ssh's password prompts answered by Sealkeep; an account whose service is not ssh is
// Copy password & Execute instead.
void on_log_in(MainWindow& main);

// Record-level operations; each does nothing with a null record.
void copy_command_line_to_clipboard(MainWindow& main, const EntryRecord* record);
void copy_password_to_clipboard(MainWindow& main, const EntryRecord* record);
void copy_password_and_run(MainWindow& main, const EntryRecord* record);
void run_command_line(MainWindow& main, const EntryRecord* record);

// Starts a command line beside the main loop; what goes wrong is said in the status bar.
void run_in_background(MainWindow& main, const std::string& command_line);

} // namespace sealkeep
