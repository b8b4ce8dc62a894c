// The passphrase prompt panel that starts every load.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>

namespace sealkeep {

struct PassphrasePrompt {
    GtkWidget* panel = nullptr; // null once the window went
    GtkEntry* entry = nullptr;
    GtkToggleButton* toggle = nullptr;
    // Takes the passphrase confirmed in the entry (the entry is emptied already); overwrites it once used.
    std::function<void(std::string passphrase)> entered;
};

// Builds the panel; its widgets are the prompt's until the window goes.
GtkWidget* create_passphrase_prompt(PassphrasePrompt& prompt);
// Shows the prompt (again), its entry empty and focused: after a wrong passphrase, and at a lock.
void ask_passphrase_again(PassphrasePrompt& prompt);

// Takes the passphrase out of the entry (the entry is emptied), hides the prompt and hands it on.
void on_passphrase_entered(PassphrasePrompt& prompt);

// Empties the entry, overwriting what it held, and turns the show toggle off.
void forget_passphrase(PassphrasePrompt& prompt);

} // namespace sealkeep
