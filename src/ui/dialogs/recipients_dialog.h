// The recipients of a file encrypted to keys, edited against the public keys of the user's keyring:
// who can open the file once it is saved.
#pragma once

#include "core/public_keys.h"

#include <gtk/gtk.h>

#include <string>
#include <vector>

namespace sealkeep {

// Shows the file's recipients (`current`, key ids or fingerprints) and the keyring's keys that can
// encrypt, and lets the user add and remove them. True, with `chosen` holding at least one recipient,
// when the user pressed OK; a kept recipient keeps its id, an added one is named by its fingerprint.
bool choose_recipients(GtkWindow* parent, const std::vector<std::string>& current, const KeyringListing& keyring,
                       std::vector<std::string>& chosen);

} // namespace sealkeep
