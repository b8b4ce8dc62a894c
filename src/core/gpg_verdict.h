// How a gpg run ended, judged from its status lines, its standard error and its exit: whether the
// plaintext it wrote can be trusted, and if not, why in one line.
#pragma once

#include "core/gpg_decryption.h"

#include <string>
#include <string_view>
#include <vector>

namespace sealkeep {

// What the status lines ("[GNUPG:] KEYWORD args") told, gathered as they arrive so that no status
// text has to be kept for the verdict.
struct GpgStatusSummary {
    bool begin_decryption = false;
    bool decryption_okay = false;
    bool decryption_failed = false;
    bool good_mdc = false;
    bool bad_mdc = false;
    bool aead = false;      // DECRYPTION_INFO names an AEAD algorithm: integrity-protected by design
    bool no_mdc = false;    // DECRYPTION_INFO without MDC or AEAD, or gpg's nomdc error
    bool plaintext = false; // a literal data packet was seen
    bool bad_passphrase = false;
    bool no_secret_key = false;
    bool key_decrypted = false; // a secret key opened the session key
    std::string decryption_key; // the fingerprint of that (sub)key, from DECRYPTION_KEY
    bool no_data = false;
    bool file_missing = false; // a FAILURE code that is ENOENT
    bool failure = false;      // any FAILURE line
    bool bad_signature = false;
    bool unknown_signer = false;      // ERRSIG because the public key is missing
    bool unchecked_signature = false; // ERRSIG for any other reason
    std::string unknown_key_id;
    // How the file was encrypted, for writing it back the same way: the key id of every public-key
    // recipient (ENC_TO, in file order, each once; all zeros for a hidden one), and whether a
    // passphrase opens it (NEED_PASSPHRASE_SYM, or a symmetric session key packet).
    std::vector<std::string> recipients;
    bool symmetric = false;

    void add(std::string_view line);
};

struct GpgEnd {
    bool started = true;
    std::string start_error; // why it did not start
    bool exited = false;     // false: ended by a signal
    int exit_code = -1;
    int signal = 0;
    bool read_failed = false;
    std::string read_error;
    GpgStatusSummary status;
    std::string_view errors; // gpg's standard error
};

DecryptVerdict judge_gpg_end(const GpgEnd& end);

} // namespace sealkeep
