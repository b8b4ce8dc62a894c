// One whole load off the main thread: gpg decrypts, the record lines become rows and records, and
// nothing is kept unless gpg vouched for the whole plaintext.
#pragma once

#include "core/gpg_decryption.h"
#include "core/loaded_rows.h"
#include "core/settings_values.h"

#include <atomic>
#include <cstddef>
#include <cstdio>

namespace sealkeep {

struct LoadRequest {
    DecryptRequest decrypt;
    SettingsValues templates; // the command lines are built from these
};

struct LoadResult {
    DecryptVerdict verdict;
    LoadedRows rows;          // empty unless the verdict is Verified
    std::size_t accounts = 0; // record lines read (0 unless Verified)
};

// Runs the load on the calling thread; `accounts_read` counts record lines as they are parsed, for a
// progress display on another thread. decryption.cancel() from any thread ends it early (Cancelled).
LoadResult load_accounts(GpgDecryption& decryption, LoadRequest request, std::atomic<std::size_t>& accounts_read,
                         FILE* errors = stderr);

} // namespace sealkeep
