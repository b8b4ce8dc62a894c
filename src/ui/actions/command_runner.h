// Runs a command line through /bin/sh in the background, so the window keeps answering (and keeps
// serving the clipboard the command may read) while the command runs.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace sealkeep {

// How long after its start a command's failure is still reported. Failures later than that belong to
// a session the user has been working in (an ssh that drops after an hour), not to the click.
inline constexpr std::chrono::milliseconds QUICK_FAILURE_WINDOW{3000};

// Starts `/bin/sh -c line` with the startup environment, default signal dispositions, an empty signal
// mask and only descriptors 0, 1 and 2, and returns at once; the child is reaped when it ends.
// `report` (called from the main loop, or at once for a refusal) gets a translated message when the
// command cannot start, is too long to start, or fails within `quick_failure` of its start.
// An empty line runs nothing and reports nothing. Returns whether a command was started.
bool start_command_line(const std::string& line, std::function<void(const std::string& message)> report,
                        std::chrono::milliseconds quick_failure = QUICK_FAILURE_WINDOW);

// What a run adds to the startup environment: "NAME=value" entries, each replacing a variable of the
// same name.
struct CommandExtras {
    std::vector<std::string> environment;
};

bool start_command_line(const std::string& line, std::function<void(const std::string& message)> report,
                        CommandExtras extras, std::chrono::milliseconds quick_failure = QUICK_FAILURE_WINDOW);

// Commands started here that have not been reaped yet.
std::size_t running_command_count();

} // namespace sealkeep
