// What a save needs to know of the file the document came from: where it is, what it held when it was
// loaded (to refuse to write over someone else's change), and how it was encrypted. Kept from a
// verified load until the document goes (Refresh, lock, quit, another load); edits leave it alone.
#pragma once

#include "core/locked_secret.h"

#include <string>
#include <vector>

namespace sealkeep {

struct LoadedFile {
    std::string path;   // as gpg was given it (a leading "~/" already expanded)
    std::string digest; // of the ciphertext loaded; empty when it changed while it was being read
    bool symmetric = false;
    std::vector<std::string> recipients; // public-key recipients, as key ids or fingerprints
    LockedSecret passphrase;             // a symmetric file's passphrase; empty otherwise
};

// Edits whose document a lock took while their save ran, and the save failed: kept in memory that is not
// swapped out until the same file is loaded again (the unlock), which shows them again, unsaved, as edits
// of the file as it was when they were made; or until the user discards them.
struct HeldEdits {
    std::string path;       // of the file they were made on
    std::string digest;     // of that file as it was loaded
    LockedSecret plaintext; // the whole edited document
    // Kept beyond a save that was still running: they stand on the text that save writes, and take its
    // file's digest should it succeed. 0: none.
    unsigned after_save = 0;
};

} // namespace sealkeep
