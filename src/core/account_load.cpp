// One whole load: decryption and the document on one worker thread; the document is kept only when
// gpg's verdict says the plaintext is whole and unaltered.
#include "core/account_load.h"

#include "core/record_reader.h"
#include "core/text_encoding.h"

#include <utility>

namespace sealkeep {

LoadResult load_accounts(GpgDecryption& decryption, LoadRequest request, std::atomic<std::size_t>& accounts_read,
                         FILE* errors)
{
    LoadResult result;
    auto document = std::make_unique<Document>(std::move(request.templates));
    result.verdict = decryption.run(std::move(request.decrypt), [&](std::string_view line) {
        if (document->add_line(line) == Document::LineKind::Record)
            accounts_read.store(document->accounts(), std::memory_order_relaxed);
    });
    // A short passphrase sits inside the string object itself, and a move leaves its bytes behind.
    scrub(request.decrypt.passphrase);
    if (result.verdict.outcome != DecryptOutcome::Verified)
        return result; // nothing of it was vouched for: the document goes, overwritten
    document->finish();
    // Unmatched lines are plaintext too: they are reported only now that gpg has vouched for them.
    for (const Document::Line& line : document->lines())
        if (line.record == Document::NONE && !is_gpg_warning_line(document->line_bytes(line)))
            print_unmatched_line(errors, document->line_bytes(line));
    result.document = std::move(document);
    return result;
}

} // namespace sealkeep
