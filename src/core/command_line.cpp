// Command-line parsing with the C library's getopt.
#include "core/command_line.h"

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
    while ((opt = getopt(argc, argv, "+nh?")) != -1) {
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

} // namespace sealkeep
