// One run of gpg that encrypts a plaintext, on the calling (worker) thread, that any other thread can
// stop: the plaintext goes to gpg over a pipe, the passphrase (if any) over another, and gpg writes the
// ciphertext straight into a descriptor the caller opened. Its status lines decide the verdict.
#pragma once

#include "core/locked_secret.h"

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace sealkeep {

struct EncryptRequest {
    bool symmetric = false;               // with the passphrase
    LockedSecret passphrase;              // used when symmetric
    std::vector<std::string> recipients;  // key ids or fingerprints of public keys
    std::string gpg_program = "gpg";      // looked up on PATH when it has no slash
};

enum class EncryptOutcome {
    Encrypted,         // gpg ended well and reported the encryption done
    RecipientUnusable, // a recipient's key is missing, expired, revoked or cannot encrypt: `recipient`
    Cancelled,         // stopped by cancel()
    Failed,            // anything else: gpg did not start, failed to write, died
};

struct EncryptVerdict {
    EncryptOutcome outcome = EncryptOutcome::Failed;
    std::string recipient; // RecipientUnusable: the key id as the request named it
    std::string reason;    // one line for the user; empty for Encrypted and Cancelled
};

// Why a key cannot be used, from the reason code of gpg's INV_RECP/INV_SGNR status.
std::string invalid_recipient_reason(int code);

class GpgEncryption {
public:
    GpgEncryption() = default;
    GpgEncryption(const GpgEncryption&) = delete;
    GpgEncryption& operator=(const GpgEncryption&) = delete;
    ~GpgEncryption();

    // Starts gpg with `output_fd` as its standard output, writes the plaintext to it and waits for it to
    // end. Blocks the calling thread: run it on a worker. Nothing it returns holds the plaintext.
    EncryptVerdict run(const EncryptRequest& request, std::string_view plaintext, int output_fd);

    // Thread-safe, any time, more than once: gpg's process group is ended and run() returns Cancelled.
    void cancel();
    bool cancelled() const { return cancelled_.load(); }

private:
    std::atomic<bool> cancelled_{false};
    std::mutex mutex_;
    int wake_ = -1; // write end of run()'s wake-up pipe
};

} // namespace sealkeep
