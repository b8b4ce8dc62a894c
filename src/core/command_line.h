// Command-line parsing: the options n, h and ? under POSIX rules, --help and --version, and the optional
// file argument.
#pragma once

#include <optional>
#include <string>

namespace sealkeep {

struct CommandLine {
    bool show_usage = false;              // -h, -?, --help or an unknown option: print usage and exit 0
    bool show_version = false;            // --version: print the name and version and exit 0
    bool ask_at_start = true;             // cleared by -n
    std::optional<std::string> file_path; // first argument left after the options
};

// getopt reports unknown options on standard error itself, as users of such tools expect.
CommandLine parse_command_line(int argc, char** argv);

std::string usage_text(const char* program_name);

// The program's name and the version it was built as, on one line.
std::string version_text();

} // namespace sealkeep
