// Entries for account values. GTK's own entry buffer stops at 65,535 bytes and drops the rest without a
// word; these hold text of any length, in memory that is overwritten whenever it moves, shrinks or goes,
// since the same entries hold passwords.
#pragma once

#include <gtk/gtk.h>

namespace sealkeep {

// A new entry with such a buffer.
GtkWidget* value_entry_new();

// Gives an entry made elsewhere (the one inside a combo box entry) such a buffer; the text it held is
// carried over.
void use_value_buffer(GtkEntry* entry);

} // namespace sealkeep
