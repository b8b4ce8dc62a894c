// The load: runs gpg with the passphrase on a pipe, reads its output and parses every line.
#pragma once

#include "core/record_line.h"

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace sealkeep {

// Process-wide: holds the typed passphrase only while a load runs (set and released by the prompt).
extern std::string passphrase;

using AddLine = std::function<void(const RecordLine&)>;

// Runs the whole reading loop with the given passphrase and path; add_line is called for every
// record line in file order. Returns 1 when at least one line was a record line, else 0.
// Lines that are not record lines are reported on `errors` ("WARNING: not matched: %s\n").
int read_record_lines(std::string_view passphrase_text, std::string_view path, const AddLine& add_line,
                      FILE* errors = stderr);

// The same with the process-wide passphrase and password_file_path.
int read_record_lines(const AddLine& add_line);

} // namespace sealkeep
