// The passphrase prompt panel that starts every load.
#pragma once

#include <gtk/gtk.h>

namespace sealkeep {

GtkWidget* create_passphrase_prompt();
void on_passphrase_entered(GtkEntry* entry);
void on_show_passphrase_toggled(GtkToggleButton* toggle, GtkEntry* entry);

} // namespace sealkeep
