// Writing the encrypted file so that nothing can be lost: gpg writes the ciphertext into a new file in
// the same folder, which is synced and renamed over the old one once it is whole; the old version stays
// beside it as "FILE~". Until the rename the old file is untouched, whatever fails or kills the saver, and
// "FILE~" is replaced only by a save that passed its last check. A file with several hard links is
// written in place once the new version is safely on disk, so that every link sees it.
#pragma once

#include "core/gpg_encryption.h"

#include <functional>
#include <string>
#include <string_view>

namespace sealkeep {

// The points of a save, in order, for a caller that wants to follow it (tests stop the saver there).
enum class SaveStage { Checked, TempCreated, Encrypted, Synced, BackupMade, Renamed, Done };

struct SaveRequest {
    std::string path;
    // The digest of the file as loaded: the save refuses when the file on disk no longer has it. Empty:
    // the file must not exist yet (a save under a new name); check_digest false: no check at all (a
    // save under another name that the user confirmed).
    std::string expected_digest;
    bool check_digest = true;
    EncryptRequest encrypt;
    std::function<void(SaveStage)> on_stage; // may be empty
};

enum class SaveOutcome {
    Saved,
    ChangedOnDisk,     // the file is not what was loaded: nothing was written
    RecipientUnusable, // a recipient's key cannot be used: nothing was written
    Cancelled,         // nothing was written
    Failed,            // nothing was written (or, after the rename, only the folder's sync failed)
};

struct SaveResult {
    SaveOutcome outcome = SaveOutcome::Failed;
    std::string reason;    // one line for the user
    std::string recipient; // RecipientUnusable: which key
    std::string digest;    // Saved: the digest of the file as written now
};

// Saves the plaintext encrypted as the request says, on the calling thread. encryption.cancel() from
// another thread stops it before the rename.
SaveResult save_encrypted(GpgEncryption& encryption, const SaveRequest& request, std::string_view plaintext);

} // namespace sealkeep
