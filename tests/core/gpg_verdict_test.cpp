// The verdict for status transcripts that this machine's gpg does not produce (AEAD, odd exits,
// unverifiable signatures); the ends real gpg produces are checked with real gpg elsewhere.
#include "core/gpg_verdict.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sealkeep {
namespace {

GpgStatusSummary summary(const std::vector<std::string>& lines)
{
    GpgStatusSummary s;
    for (const auto& line : lines)
        s.add("[GNUPG:] " + line + "\n");
    return s;
}

TEST(GpgVerdict, OnlyAProtectedDecryptionThatGpgEndedCleanlyIsVerified)
{
    const std::vector<std::string> good = {
        "BEGIN_DECRYPTION", "DECRYPTION_INFO 2 9 0", "PLAINTEXT 62 0 plain", "DECRYPTION_OKAY",
        "GOODMDC",          "END_DECRYPTION"};
    const auto with = [&](std::vector<std::string> extra) {
        std::vector<std::string> lines = good;
        lines.insert(lines.end() - 1, extra.begin(), extra.end());
        return lines;
    };
    const struct {
        const char* name;
        std::vector<std::string> status;
        bool exited;
        int code;
        DecryptOutcome outcome;
    } cases[] = {
        {"MDC", good, true, 0, DecryptOutcome::Verified},
        {"AEAD, which has no GOODMDC",
         {"BEGIN_DECRYPTION", "DECRYPTION_INFO 0 9 2", "PLAINTEXT 62 0 plain", "DECRYPTION_OKAY", "END_DECRYPTION"},
         true,
         0,
         DecryptOutcome::Verified},
        {"neither MDC nor AEAD, yet OKAY",
         {"BEGIN_DECRYPTION", "DECRYPTION_INFO 0 9 0", "PLAINTEXT 62 0 plain", "DECRYPTION_OKAY", "END_DECRYPTION"},
         true,
         0,
         DecryptOutcome::NotProtected},
        // gpg never declared the decryption good (its status output cut short, say), though it exited 0:
        // the integrity line and the plaintext alone vouch for nothing.
        {"GOODMDC and plaintext without OKAY",
         {"BEGIN_DECRYPTION", "DECRYPTION_INFO 2 9 0", "PLAINTEXT 62 0 plain", "GOODMDC"},
         true,
         0,
         DecryptOutcome::Failed},
        {"AEAD and plaintext without OKAY",
         {"BEGIN_DECRYPTION", "DECRYPTION_INFO 0 9 2", "PLAINTEXT 62 0 plain"},
         true,
         0,
         DecryptOutcome::Failed},
        {"OKAY without GOODMDC",
         {"BEGIN_DECRYPTION", "DECRYPTION_INFO 2 9 0", "DECRYPTION_OKAY", "END_DECRYPTION"},
         true,
         0,
         DecryptOutcome::NotProtected},
        {"exit 1", good, true, 1, DecryptOutcome::Failed},
        {"exit 2 without a reason", good, true, 2, DecryptOutcome::Failed},
        {"killed after OKAY", good, false, 0, DecryptOutcome::Failed},
        {"OKAY and FAILED both", with({"DECRYPTION_FAILED"}), true, 0, DecryptOutcome::Failed},
        {"GOODMDC and BADMDC both", with({"BADMDC"}), true, 0, DecryptOutcome::Manipulated},
        {"bad signature", with({"NEWSIG", "BADSIG 0123456789ABCDEF T"}), true, 1, DecryptOutcome::Manipulated},
        {"unknown signer, exit 2",
         with({"NEWSIG", "ERRSIG 0123456789ABCDEF 22 8 00 1 9 FPR", "NO_PUBKEY 0123456789ABCDEF"}), true, 2,
         DecryptOutcome::Verified},
        {"unknown signer and a FAILURE", with({"ERRSIG 0123456789ABCDEF 22 8 00 1 9 FPR", "FAILURE gpg-exit 33554433"}),
         true, 2, DecryptOutcome::Failed},
        {"signature in an unsupported algorithm", with({"ERRSIG 0123456789ABCDEF 99 8 00 1 4 FPR"}), true, 2,
         DecryptOutcome::Failed},
        {"missing encryption key for one recipient, another key worked",
         {"ENC_TO AAAA 18 0", "NO_SECKEY AAAA", "ENC_TO BBBB 18 0", "DECRYPTION_KEY X Y u", "BEGIN_DECRYPTION",
          "DECRYPTION_INFO 2 9 0", "PLAINTEXT 62 0 plain", "DECRYPTION_OKAY", "GOODMDC", "END_DECRYPTION"},
         true,
         0,
         DecryptOutcome::Verified},
        {"wrong key passphrase for one recipient, no key for the other",
         {"ENC_TO AAAA 18 0", "ERROR pkdecrypt_failed 67108875", "ENC_TO BBBB 18 0", "NO_SECKEY BBBB",
          "BEGIN_DECRYPTION", "DECRYPTION_FAILED", "END_DECRYPTION"},
         true,
         2,
         DecryptOutcome::BadPassphrase},
        {"no status at all", {}, true, 2, DecryptOutcome::Failed},
    };
    for (const auto& c : cases) {
        GpgEnd end;
        end.exited = c.exited;
        end.exit_code = c.exited ? c.code : -1;
        end.signal = c.exited ? 0 : 9;
        end.status = summary(c.status);
        EXPECT_EQ(judge_gpg_end(end).outcome, c.outcome) << c.name;
    }
}

TEST(GpgVerdict, ReasonIsGpgsMostTellingLine)
{
    const struct {
        const char* name;
        std::vector<std::string> status;
        std::string errors;
        std::string reason;
    } cases[] = {
        {"prefix of any program name, continuation lines left out",
         {"ENC_TO AAAA 18 0", "ERROR pkdecrypt_failed 67108875", "BEGIN_DECRYPTION", "DECRYPTION_FAILED"},
         "/usr/bin/gpg2: encrypted with 255-bit ECDH key, ID AAAA\n      \"T <t@example.org>\"\n"
         "/usr/bin/gpg2: public key decryption failed: Bad passphrase\n"
         "/usr/bin/gpg2: decryption failed: No secret key\n",
         "public key decryption failed: Bad passphrase"},
        {"missing file told by its status code alone", {"FAILURE decrypt 33587281"}, "", "the file cannot be opened"},
        {"an error nobody expected",
         {"FAILURE decrypt 1"},
         "gpg: AES256.CFB encrypted data\ngpg: some new error: Strange\ngpg: encrypted with 1 passphrase\n",
         "some new error: Strange"},
        {"nothing said at all", {}, "", "gpg exited with status 2"},
    };
    for (const auto& c : cases) {
        GpgEnd end;
        end.exited = true;
        end.exit_code = 2;
        end.status = summary(c.status);
        end.errors = c.errors;
        EXPECT_EQ(judge_gpg_end(end).reason, c.reason) << c.name;
    }
}

} // namespace
} // namespace sealkeep
