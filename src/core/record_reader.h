// The load: decrypts the password file with gpg and parses every plaintext line into a record.
#pragma once

#include "core/gpg_decryption.h"
#include "core/record_line.h"

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace sealkeep {

using AddLine = std::function<void(const RecordLine&)>;
// A plaintext line that is not a record line, as read (line ending included).
using UnmatchedLine = std::function<void(std::string_view line)>;

// Runs gpg through `decryption` and hands every record line to add_line and every other line to
// unmatched, in file order; gpg's own warnings on its standard output are dropped. Lines are handed
// over as they are read: only a Verified verdict says that they are the whole file.
DecryptVerdict read_record_lines(GpgDecryption& decryption, DecryptRequest request, const AddLine& add_line,
                                 const UnmatchedLine& unmatched);

// The warning printed for an unmatched line: "WARNING: not matched: %s\n" (a NUL ends what is shown).
void print_unmatched_line(FILE* errors, std::string_view line);

// Runs gpg through `decryption` (which another thread may cancel) and calls add_line for every
// record line, in file order. Lines that are not record lines are reported on `errors`
// ("WARNING: not matched: %s\n"); gpg's own warnings on its standard output are dropped. Records
// are handed over as they are read: only a Verified verdict says that they are the whole file.
DecryptVerdict read_record_lines(GpgDecryption& decryption, DecryptRequest request, const AddLine& add_line,
                                 FILE* errors = stderr);

// A path as stored in the settings, with a leading "~/" made into the home directory ($HOME).
std::string expand_home(std::string_view path);

} // namespace sealkeep
