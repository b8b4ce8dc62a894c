// Judging a finished gpg run. The status lines decide; gpg's standard error only supplies the words
// shown to the user (and a fallback for the few ends that have no status of their own).
#include "core/gpg_verdict.h"

#include "core/status_words.h"

#include <algorithm>
#include <charconv>
#include <initializer_list>
#include <vector>

namespace sealkeep {

namespace {

constexpr std::string_view STATUS_PREFIX = "[GNUPG:] ";

// libgpg-error codes (the low 16 bits of what gpg prints; the high bits name the source).
constexpr unsigned ERR_BAD_PASSPHRASE = 11;
constexpr unsigned ERR_NO_PASSPHRASE = 177;
constexpr unsigned ERR_ENOENT = 0x8000 | 81;

// The leading number of a word such as "67108875" or "11_BAD_PASSPHRASE", as an error code.
unsigned error_code(std::string_view word)
{
    unsigned long value = 0;
    std::from_chars(word.data(), word.data() + word.size(), value);
    return static_cast<unsigned>(value & 0xFFFF);
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.remove_suffix(1);
    return text;
}

// gpg's own messages, without their "gpg: " prefix; continuation lines (indented) are left out.
std::vector<std::string_view> messages(std::string_view errors)
{
    std::vector<std::string_view> result;
    while (!errors.empty()) {
        const std::size_t end = std::min(errors.find('\n'), errors.size());
        std::string_view line = errors.substr(0, end);
        errors.remove_prefix(std::min(end + 1, errors.size()));
        const std::size_t colon = line.find(": ");
        // The prefix is the program's name, which need not be "gpg" (gpg2, a full path...).
        if (colon == std::string_view::npos || line.empty() || line.front() == ' ' ||
            line.substr(0, colon).find(' ') != std::string_view::npos)
            continue;
        line = trimmed(line.substr(colon + 2));
        if (!line.empty())
            result.push_back(line);
    }
    return result;
}

// The first message holding the earliest marker of the list that occurs at all.
std::string_view find_message(const std::vector<std::string_view>& lines,
                              std::initializer_list<std::string_view> markers)
{
    for (const auto marker : markers)
        for (const auto line : lines)
            if (line.find(marker) != std::string_view::npos)
                return line;
    return {};
}

} // namespace

void GpgStatusSummary::add(std::string_view line)
{
    line = trimmed(line);
    if (!line.starts_with(STATUS_PREFIX))
        return;
    const auto w = words(line.substr(STATUS_PREFIX.size()));
    if (w.empty())
        return;
    const std::string_view keyword = w[0];
    if (keyword == "BEGIN_DECRYPTION") {
        begin_decryption = true;
    } else if (keyword == "DECRYPTION_OKAY") {
        decryption_okay = true;
    } else if (keyword == "DECRYPTION_FAILED") {
        decryption_failed = true;
    } else if (keyword == "GOODMDC") {
        good_mdc = true;
    } else if (keyword == "BADMDC") {
        bad_mdc = true;
    } else if (keyword == "DECRYPTION_INFO") {
        // DECRYPTION_INFO <mdc method> <cipher> [<aead algorithm>]
        const bool mdc = w.size() > 1 && w[1] != "0";
        aead = aead || (w.size() > 3 && w[3] != "0");
        no_mdc = no_mdc || (!mdc && !(w.size() > 3 && w[3] != "0"));
    } else if (keyword == "PLAINTEXT") {
        plaintext = true;
    } else if (keyword == "BAD_PASSPHRASE" || keyword == "MISSING_PASSPHRASE") {
        bad_passphrase = true;
    } else if (keyword == "ERROR" && w.size() > 2) {
        const unsigned code = error_code(w[2]);
        if (code == ERR_BAD_PASSPHRASE || code == ERR_NO_PASSPHRASE)
            bad_passphrase = true;
        if (w[1].starts_with("nomdc"))
            no_mdc = true;
    } else if (keyword == "ENC_TO") {
        // ENC_TO <long key id> <pk algo> <key length>
        if (w.size() > 1 && std::find(recipients.begin(), recipients.end(), w[1]) == recipients.end())
            recipients.emplace_back(w[1]);
    } else if (keyword == "NEED_PASSPHRASE_SYM") {
        symmetric = true;
    } else if (keyword == "NO_SECKEY") {
        no_secret_key = true;
    } else if (keyword == "DECRYPTION_KEY") {
        key_decrypted = true;
        // DECRYPTION_KEY <fingerprint of the (sub)key> <fingerprint of its primary key> <trust>
        if (w.size() > 1)
            decryption_key = std::string(w[1]);
    } else if (keyword == "NODATA") {
        no_data = true;
    } else if (keyword == "FAILURE") {
        failure = true;
        if (w.size() > 2 && error_code(w[2]) == ERR_ENOENT)
            file_missing = true;
    } else if (keyword == "BADSIG") {
        bad_signature = true;
    } else if (keyword == "ERRSIG") {
        // ERRSIG <key id> <pk algo> <hash algo> <class> <time> <rc> [<fingerprint>]; rc 9: no public key
        if (w.size() > 6 && w[6] == "9") {
            unknown_signer = true;
            unknown_key_id = std::string(w[1]);
        } else {
            unchecked_signature = true;
        }
    } else if (keyword == "NO_PUBKEY") {
        // Also printed when an encryption subkey's public part is missing; only an ERRSIG makes it
        // a signature matter, so it only supplies the key id here.
        if (unknown_key_id.empty() && w.size() > 1)
            unknown_key_id = std::string(w[1]);
    }
}

DecryptVerdict judge_gpg_end(const GpgEnd& end)
{
    const GpgStatusSummary& s = end.status;
    DecryptVerdict verdict;
    if (!end.started) {
        verdict.reason = "cannot run gpg: " + end.start_error;
        return verdict;
    }
    if (end.read_failed) {
        verdict.reason = end.read_error;
        return verdict;
    }

    // gpg exits 2 when a signature could not be checked for want of the key; the decryption itself
    // is then still vouched for by the status lines.
    const bool clean_exit =
        end.exited && (end.exit_code == 0 || (end.exit_code == 2 && s.unknown_signer && !s.failure));
    const bool protected_ = (s.good_mdc || s.aead) && !s.no_mdc;
    if (clean_exit && s.decryption_okay && !s.decryption_failed && !s.bad_mdc && protected_ && !s.bad_signature &&
        !s.unchecked_signature && !s.failure) {
        verdict.outcome = DecryptOutcome::Verified;
        verdict.decryption_key = s.decryption_key;
        verdict.recipients = s.recipients;
        verdict.symmetric = s.symmetric;
        if (s.unknown_signer)
            verdict.signature_note = "signed by an unknown key " + s.unknown_key_id;
        return verdict;
    }

    const auto lines = messages(end.errors);
    const auto pick = [&](std::initializer_list<std::string_view> markers, std::string_view fallback) {
        const std::string_view found = find_message(lines, markers);
        return std::string(found.empty() ? fallback : found);
    };
    const auto pick_any = [&](std::initializer_list<std::string_view> markers, std::string_view fallback) {
        std::string_view found = find_message(lines, markers);
        if (found.empty())
            found = find_message(lines, {"decryption failed:", "failed:", "error", "can't"});
        if (found.empty() && !lines.empty())
            found = lines.back();
        return std::string(found.empty() ? fallback : found);
    };

    if (s.bad_mdc || s.bad_signature) {
        verdict.outcome = DecryptOutcome::Manipulated;
        verdict.reason = pick({"has been manipulated", "BAD signature"},
                              s.bad_mdc ? "encrypted message has been manipulated" : "BAD signature");
    } else if (s.file_missing || !find_message(lines, {"can't open"}).empty()) {
        verdict.outcome = DecryptOutcome::FileNotFound;
        verdict.reason = pick_any({"can't open", "No such file"}, "the file cannot be opened");
    } else if (s.bad_passphrase || !find_message(lines, {"Bad passphrase", "Bad session key"}).empty()) {
        verdict.outcome = DecryptOutcome::BadPassphrase;
        verdict.reason = pick({"Bad session key", "Bad passphrase", "No passphrase given"}, "Bad passphrase");
    } else if (s.no_secret_key && !s.key_decrypted) {
        verdict.outcome = DecryptOutcome::NoSecretKey;
        verdict.reason = pick_any({"No secret key"}, "No secret key");
    } else if (s.no_data) {
        verdict.outcome = DecryptOutcome::NotOpenPgp;
        verdict.reason = pick_any({"no valid OpenPGP data", "decrypt_message failed"}, "no valid OpenPGP data found");
    } else if (s.no_mdc || (s.plaintext && !s.begin_decryption) ||
               (clean_exit && s.decryption_okay && !s.decryption_failed && !protected_)) {
        verdict.outcome = DecryptOutcome::NotProtected;
        verdict.reason = pick({"not integrity protected"},
                              s.begin_decryption ? "message was not integrity protected" : "the file is not encrypted");
    } else if (!end.exited) {
        verdict.reason = "gpg ended by signal " + std::to_string(end.signal);
    } else if (s.unchecked_signature) {
        verdict.reason = pick_any({"Can't check signature"}, "the signature cannot be checked");
    } else {
        verdict.reason = pick_any({}, "gpg exited with status " + std::to_string(end.exit_code));
    }
    return verdict;
}

} // namespace sealkeep
