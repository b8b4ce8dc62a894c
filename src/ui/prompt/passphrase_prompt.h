// The passphrase prompt panel that starts every load.
#pragma once

#include <gtk/gtk.h>

namespace sealkeep {

struct MainWindow;

GtkWidget* create_passphrase_prompt(MainWindow& main);
// Shows the prompt (again), its entry empty and focused: after a wrong passphrase, and at a lock.
void ask_passphrase_again(MainWindow& main);
// The window goes: the prompt forgets its widgets.
void let_go_of_prompt(MainWindow& main);

// Takes the passphrase out of the entry (the entry is emptied), hides the prompt and starts the load.
void on_passphrase_entered(MainWindow& main);

// Empties the entry, overwriting what it held, and turns the show toggle off.
void forget_passphrase(MainWindow& main);

} // namespace sealkeep
