// One run of gpg over the password file, on the calling (worker) thread, that any other thread can stop:
// gpg gets an argument vector (no shell), the passphrase on a pipe, and its own process group; its
// plaintext is handed on line by line, its status lines and (bounded) standard error are kept, and
// the verdict says whether gpg vouched for the whole plaintext.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace sealkeep {

struct DecryptRequest {
    std::string path;                // as gpg gets it (a leading "~/" already expanded)
    std::string passphrase;          // overwritten by run() once gpg has it
    std::string gpg_program = "gpg"; // looked up on PATH when it has no slash
};

enum class DecryptOutcome {
    Verified,      // gpg ended, reported the decryption done and integrity-protected, and every read succeeded
    BadPassphrase, // the passphrase did not open the file (the prompt comes back)
    NoSecretKey,   // encrypted to a key whose secret part is not here
    Manipulated,   // the integrity check failed (BADMDC, "encrypted message has been manipulated")
    NotProtected,  // decrypted, but without integrity protection: nothing vouches for it
    FileNotFound,  // the file cannot be opened
    NotOpenPgp,    // no OpenPGP data in it (NODATA)
    Cancelled,     // stopped by cancel()
    Failed,        // any other end: gpg did not start, died by a signal, a read failed, an error without status
};

struct DecryptVerdict {
    DecryptOutcome outcome = DecryptOutcome::Failed;
    // One line for the status bar, taken from gpg's own message where it printed one
    // (for example "decryption failed: Bad session key"); empty for Verified and Cancelled.
    std::string reason;
    // Set when the file is signed by a key that gpg cannot check (not in the keyring): such a load
    // still stands, and the user is told. Empty otherwise.
    std::string signature_note;
    // Verified with a secret key: the fingerprint of the (sub)key that opened the file, whose passphrase
    // the agent is then made to forget. Empty for a symmetric file.
    std::string decryption_key;
    // Verified: how the file is encrypted (see GpgStatusSummary), so that a save can do the same.
    std::vector<std::string> recipients;
    bool symmetric = false;
};

class GpgDecryption {
public:
    // Called on run()'s thread with each plaintext line, its line ending included (the last line may
    // have none), in file order. The buffer it points into is overwritten after the call.
    using LineSink = std::function<void(std::string_view line)>;

    GpgDecryption() = default;
    GpgDecryption(const GpgDecryption&) = delete;
    GpgDecryption& operator=(const GpgDecryption&) = delete;
    ~GpgDecryption();

    // Starts gpg, hands it the passphrase, reads its output until it ends and reaps it. Returns at
    // once with Cancelled when cancel() came first. Blocks the calling thread: run it on a worker.
    DecryptVerdict run(DecryptRequest request, const LineSink& sink);

    // Thread-safe, callable any time and more than once: run() stops reading at once, gpg's process
    // group gets SIGTERM and, if it has not ended shortly after, SIGKILL; run() then returns Cancelled.
    void cancel();

    // Set once cancel() was called: for steps of a load that run before gpg does.
    const std::atomic<bool>& cancel_flag() const { return cancelled_; }

    // What gpg printed on its standard error during the last run, cut to a bounded size.
    std::string error_text() const;

private:
    // Implementation-defined state: a self-pipe that wakes run()'s poll, the child's pid, the flag.
    std::atomic<bool> cancelled_{false};
    int wake_[2] = {-1, -1};
    pid_t pid_ = -1;
    mutable std::mutex mutex_;
    std::string error_text_;
};

} // namespace sealkeep
