// One whole load: decryption, parsing and the tree rules on one worker thread; the rows are kept
// only when gpg's verdict says the plaintext is whole and unaltered.
#include "core/account_load.h"

#include "core/record_reader.h"
#include "core/text_encoding.h"
#include "core/tree_building.h"

#include <string>
#include <utility>
#include <vector>

namespace sealkeep {

LoadResult load_accounts(GpgDecryption& decryption, LoadRequest request, std::atomic<std::size_t>& accounts_read,
                         FILE* errors)
{
    LoadResult result;
    TreeBuildState state(std::move(request.templates));
    std::size_t accounts = 0;
    // Unmatched lines are plaintext too: they are reported only once gpg has vouched for them. They
    // wait in one buffer that is overwritten when it grows and when it goes.
    std::string unmatched;
    std::vector<std::size_t> unmatched_ends;
    struct Scrubbed {
        std::string& text;
        ~Scrubbed() { scrub(text); }
    } scrubbed{unmatched};
    result.verdict = read_record_lines(
        decryption, std::move(request.decrypt),
        [&](const RecordLine& line) {
            add_record_line(state, result.rows, line);
            accounts_read.store(++accounts, std::memory_order_relaxed);
        },
        [&](std::string_view line) {
            append_secret(unmatched, line);
            unmatched_ends.push_back(unmatched.size());
        });
    scrub(request.decrypt.passphrase);
    if (result.verdict.outcome != DecryptOutcome::Verified) {
        // Rows read before a failure were never vouched for: none of them may be shown.
        result.rows.clear();
        release_entry_records(state.records);
        return result;
    }
    std::size_t start = 0;
    for (std::size_t end : unmatched_ends) {
        print_unmatched_line(errors, std::string_view(unmatched).substr(start, end - start));
        start = end;
    }
    result.rows.records() = std::move(state.records);
    result.rows.shrink_to_fit();
    result.accounts = accounts;
    return result;
}

} // namespace sealkeep
