// One whole load into the entry store.
#pragma once

#include "core/record_reader.h"

#include <gtk/gtk.h>

#include <functional>

namespace sealkeep {

// Decrypts password_file_path with the process-wide passphrase and fills the store.
// The caller has cleared the store; returns 1 when at least one account was added.
int load_password_file(GtkTreeStore* store);

// The same tree building fed by any reading loop: `read` calls its argument once per record line
// and returns the load's result. Tests feed fixture lines through it without gpg.
int load_into_store(GtkTreeStore* store, const std::function<int(const AddLine&)>& read);

} // namespace sealkeep
