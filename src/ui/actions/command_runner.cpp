// Background runs of command lines: spawn, watch, reap, and tell the user about quick failures.
#include "ui/actions/command_runner.h"

#include "core/child_process.h"
#include "core/command_template.h"
#include "core/startup_environment.h"
#include "ui/glib_ptr.h"
#include "ui/i18n.h"

#include <glib.h>

#include <algorithm>
#include <iterator>
#include <string_view>
#include <utility>
#include <vector>

#include <sys/wait.h>

namespace sealkeep {

namespace {

// Long enough to recognise the command, short enough for one line of a message.
constexpr std::size_t SHOWN_COMMAND_CHARS = 60;

std::size_t running_commands = 0;

struct RunningCommand {
    std::string line;
    std::function<void(const std::string&)> report;
    gint64 deadline; // monotonic microseconds; later failures go unreported
};

std::string_view variable_name(std::string_view entry)
{
    return entry.substr(0, entry.find('='));
}

// The start of the command line for a message, cut at a character boundary; bytes that are not UTF-8
// (a Latin-1 host name) become replacement characters rather than breaking the message's text.
std::string shown_command(const std::string& line)
{
    GCharPtr valid{g_utf8_make_valid(line.data(), static_cast<gssize>(line.size()))};
    if (g_utf8_strlen(valid.get(), -1) <= static_cast<glong>(SHOWN_COMMAND_CHARS))
        return valid.get();
    const char* end = g_utf8_offset_to_pointer(valid.get(), SHOWN_COMMAND_CHARS);
    return std::string(static_cast<const char*>(valid.get()), end) + "…";
}

std::string format_message(const char* format, int number, const std::string& line)
{
    GCharPtr text{g_strdup_printf(format, number, shown_command(line).c_str())};
    return text.get();
}

void on_command_ended(GPid, gint status, gpointer data)
{
    auto* command = static_cast<RunningCommand*>(data);
    --running_commands;
    if (g_get_monotonic_time() > command->deadline)
        return;
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
        command->report(
            format_message(_("The command failed (exit status %d): %s"), WEXITSTATUS(status), command->line));
    else if (WIFSIGNALED(status))
        command->report(format_message(_("The command was killed by signal %d: %s"), WTERMSIG(status), command->line));
}

void free_running_command(gpointer data)
{
    delete static_cast<RunningCommand*>(data);
}

} // namespace

bool start_command_line(const std::string& line, std::function<void(const std::string& message)> report,
                        std::chrono::milliseconds quick_failure)
{
    return start_command_line(line, std::move(report), CommandExtras{}, quick_failure);
}

bool start_command_line(const std::string& line, std::function<void(const std::string& message)> report,
                        CommandExtras extras, std::chrono::milliseconds quick_failure)
{
    if (line.empty())
        return false;
    if (!fits_one_argument(line)) {
        GCharPtr text{g_strdup_printf(_("The command line is too long to run (%zu bytes)."), line.size())};
        report(text.get());
        return false;
    }

    std::vector<std::string> environment;
    environment.reserve(startup_environment().size() + extras.environment.size());
    for (const std::string& entry : startup_environment()) {
        const bool replaced = std::ranges::any_of(extras.environment, [&entry](const std::string& extra) {
            return variable_name(extra) == variable_name(entry);
        });
        if (!replaced)
            environment.push_back(entry);
    }
    std::ranges::move(extras.environment, std::back_inserter(environment));

    // Standard input from /dev/null, our own standard output and error, and no other descriptor: neither
    // gpg's pipes nor the X connection leak into a command that may outlive us. The command stays in
    // our process group, as one started from a terminal would.
    ChildStart start;
    start.environment = &environment;
    start.own_process_group = false;
    const SpawnedChild spawned = spawn_child({"/bin/sh", "-c", line}, start);
    if (spawned.pid < 0) {
        GCharPtr text{g_strdup_printf(_("Could not run the command: %s"), spawned.failure.c_str())};
        report(text.get());
        return false;
    }
    auto* command = new RunningCommand{line, std::move(report),
                                       g_get_monotonic_time() + quick_failure.count() * G_TIME_SPAN_MILLISECOND};
    ++running_commands;
    // GLib's watch reaps the child.
    g_child_watch_add_full(G_PRIORITY_DEFAULT, spawned.pid, on_command_ended, command, free_running_command);
    return true;
}

std::size_t running_command_count()
{
    return running_commands;
}

} // namespace sealkeep
