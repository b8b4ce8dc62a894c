// One whole load off the main thread: gpg decrypts, every line goes into the document, and nothing is
// kept unless gpg vouched for the whole plaintext.
#pragma once

#include "core/document.h"
#include "core/gpg_decryption.h"
#include "core/loaded_file.h"
#include "core/settings_values.h"

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <memory>

namespace sealkeep {

struct LoadRequest {
    DecryptRequest decrypt;
    SettingsValues templates; // the command lines are built from these
    // The agent forgets what it cached of the file's keys before gpg decrypts (see forget_file_keys).
    bool forget_cached_keys = true;
};

struct LoadResult {
    DecryptVerdict verdict;
    std::unique_ptr<Document> document; // null unless the verdict is Verified
    // Verified: what a save of the document needs (the passphrase only for a symmetric file).
    std::unique_ptr<LoadedFile> file;
};

// Runs the load on the calling thread; `accounts_read` counts record lines as they are parsed, for a
// progress display on another thread. decryption.cancel() from any thread ends it early (Cancelled).
// Lines that are not record lines are reported on `errors` once the load is verified.
LoadResult load_accounts(GpgDecryption& decryption, LoadRequest request, std::atomic<std::size_t>& accounts_read,
                         FILE* errors = stderr);

} // namespace sealkeep
