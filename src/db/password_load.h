// One whole load into the entry store.
#pragma once

#include <gtk/gtk.h>

namespace sealkeep {

// Decrypts password_file_path with the process-wide passphrase and fills the store.
// The caller has cleared the store; returns 1 when at least one account was added.
int load_password_file(GtkTreeStore* store);

} // namespace sealkeep
