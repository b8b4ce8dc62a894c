// One whole load: decryption and the document on one worker thread; the document is kept only when
// gpg's verdict says the plaintext is whole and unaltered.
#include "core/account_load.h"

#include "core/file_digest.h"
#include "core/gpg_agent.h"
#include "core/record_reader.h"
#include "core/text_encoding.h"

#include <atomic>
#include <thread>
#include <utility>

namespace sealkeep {

namespace {

constexpr std::chrono::seconds AGENT_TIMEOUT{5};

} // namespace

LoadResult load_accounts(GpgDecryption& decryption, LoadRequest request, std::atomic<std::size_t>& accounts_read,
                         FILE* errors)
{
    LoadResult result;
    auto file = std::make_unique<LoadedFile>();
    file->path = request.decrypt.path;
    // The passphrase is kept in locked pages until it is known whether the file needs it for a save.
    file->passphrase.assign(request.decrypt.passphrase);
    // The ciphertext's digest, read beside gpg's own reading so that the load waits for neither twice.
    // The file's identity before and after tells whether it changed meanwhile: then there is no digest,
    // and a save refuses rather than guess which version the document came from.
    const std::optional<FileIdentity> identity_before = file_identity(file->path);
    std::optional<std::string> digest;
    std::atomic<bool> stop_digest{false};
    struct Hasher {
        std::atomic<bool>& stop;
        std::thread thread;
        ~Hasher()
        {
            stop = true;
            if (thread.joinable())
                thread.join();
        }
        void finish()
        {
            if (thread.joinable())
                thread.join();
        }
    } hasher{stop_digest, {}};
    if (identity_before)
        hasher.thread = std::thread([&] { digest = file_digest(file->path, nullptr, &stop_digest); });

    // What a terminal's gpg cached of the file's keys meanwhile must not stand in for the passphrase given.
    // Only a regular file is read twice: a pipe would give its bytes to the first reader alone.
    if (request.forget_cached_keys && identity_before)
        forget_file_keys(request.decrypt.gpg_program, request.decrypt.path, AGENT_TIMEOUT, &decryption.cancel_flag());

    auto document = std::make_unique<Document>(std::move(request.templates));
    result.verdict = decryption.run(std::move(request.decrypt), [&](std::string_view line) {
        if (document->add_line(line) == Document::LineKind::Record)
            accounts_read.store(document->accounts(), std::memory_order_relaxed);
    });
    // A short passphrase sits inside the string object itself, and a move leaves its bytes behind.
    scrub(request.decrypt.passphrase);
    if (result.verdict.outcome != DecryptOutcome::Verified)
        return result; // nothing of it was vouched for: the document goes, overwritten
    hasher.finish();
    if (digest && identity_before && file_identity(file->path) == identity_before)
        file->digest = *digest;
    file->symmetric = result.verdict.symmetric;
    file->recipients = result.verdict.recipients;
    if (!file->symmetric)
        file->passphrase.clear();
    result.file = std::move(file);
    document->finish();
    // Unmatched lines are plaintext too: they are reported only now that gpg has vouched for them.
    // Records come in line order: the lines between two records' lines are the unmatched ones.
    const auto& lines = document->lines();
    std::uint32_t number = 0;
    const auto print_unmatched_until = [&](std::uint32_t end) {
        for (; number < end; ++number)
            if (!is_gpg_warning_line(document->line_bytes(lines[number])))
                print_unmatched_line(errors, document->line_bytes(lines[number]));
    };
    for (const EntryRecord& record : document->records()) {
        print_unmatched_until(record.line());
        number = record.line() + 1;
    }
    print_unmatched_until(static_cast<std::uint32_t>(lines.size()));
    result.document = std::move(document);
    return result;
}

} // namespace sealkeep
