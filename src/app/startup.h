// Process start: settings, command line, toolkit, main window, main loop.
#pragma once

namespace sealkeep {

// The whole program; returns 0 on every path it controls.
int sealkeep_main(int argc, char** argv);

void print_usage(const char* program_name);
void init_toolkit();
void run_main_window(bool ask_at_start);

} // namespace sealkeep
