// Command-line parsing with the C library's getopt, and the two long options --help and --version.
#include "core/command_line.h"

#include <cstring>

#include <unistd.h>

namespace sealkeep {

CommandLine parse_command_line(int argc, char** argv)
{
    CommandLine result;
    // "+" keeps glibc from reordering arguments: parsing stops at the first non-option, as POSIX says.
    // optind = 0 makes glibc start afresh, so the parser can be run more than once in a process.
    optind = 0;
    opterr = 1;
    int opt;
    for (;;) {
        // The two long options are whole arguments of their own. They are looked at before getopt sees
        // them, so that every other argument beginning with "--" keeps getopt's usual complaint. Inside a
        // group of short options argv[optind] is that group, which never equals them.
        // Before the first call optind is still 0; glibc then starts at 1.
        const int next = optind == 0 ? 1 : optind;
        if (next < argc) {
            if (std::strcmp(argv[next], "--help") == 0) {
                result.show_usage = true;
                return result;
            }
            if (std::strcmp(argv[next], "--version") == 0) {
                result.show_version = true;
                return result;
            }
        }
        if ((opt = getopt(argc, argv, "+nh?")) == -1)
            break;
        switch (opt) {
        case 'n':
            result.ask_at_start = false;
            break;
        case 'h':
        case '?':
            result.show_usage = true;
            return result;
        default:
            break;
        }
    }
    if (optind < argc)
        result.file_path = argv[optind];
    return result;
}

std::string usage_text(const char* program_name)
{
    return std::string("Usage: ") + (program_name ? program_name : "") +
           " [options] [password_file]\n\nvalid options are:\n  -n : Do not ask password at start\n";
}

std::string version_text()
{
    return "Sealkeep " SEALKEEP_VERSION "\n";
}

} // namespace sealkeep
