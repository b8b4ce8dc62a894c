// Background command runs through the real /bin/sh: what the child inherits (signals, environment),
// that the main loop goes on while it runs, that it is reaped, and which ends are reported.
#include "gui/gui_support.h"

#include "core/command_template.h"
#include "core/startup_environment.h"
#include "ui/actions/command_runner.h"

#include <gtest/gtest.h>
#include <glib.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace sealkeep {
namespace {

using namespace std::chrono_literals;

// The value of one "Name:\tvalue" line of a /proc/<pid>/status text.
std::uint64_t status_mask(const std::string& status, const std::string& name)
{
    const std::size_t at = status.find(name + ":\t");
    if (at == std::string::npos) {
        ADD_FAILURE() << name << " missing from " << status;
        return ~std::uint64_t{0};
    }
    return std::stoull(status.substr(at + name.size() + 2, 16), nullptr, 16);
}

class CommandRunner : public testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/skcr.XXXXXX";
        dir_ = mkdtemp(name);
    }
    void TearDown() override
    {
        EXPECT_TRUE(test::wait_for_commands());
        std::filesystem::remove_all(dir_);
    }

    std::string file(const char* name) const { return (dir_ / name).string(); }

    // Starts `line`, collecting reports; waits for the command's end.
    std::vector<std::string> run(const std::string& line,
                                 std::chrono::milliseconds quick_failure = QUICK_FAILURE_WINDOW,
                                 bool* started = nullptr)
    {
        std::vector<std::string> reports;
        const bool ok = start_command_line(
            line, [&reports](const std::string& message) { reports.push_back(message); }, quick_failure);
        if (started)
            *started = ok;
        // A refused line leaves no child behind either.
        EXPECT_EQ(running_command_count(), ok ? 1u : 0u);
        EXPECT_TRUE(test::wait_for_commands());
        return reports;
    }

    std::filesystem::path dir_;
};

// We ignore SIGPIPE (as GLib does) and SIGUSR2, and block SIGUSR1; none of that may reach the command,
// whose pipelines rely on SIGPIPE to stop a writer whose reader is gone.
TEST_F(CommandRunner, ChildGetsDefaultSignalsAndAnEmptyMask)
{
    struct sigaction ignore = {}, old_pipe = {}, old_usr2 = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &old_pipe);
    sigaction(SIGUSR2, &ignore, &old_usr2);
    sigset_t blocked, old_mask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGUSR1);
    sigprocmask(SIG_BLOCK, &blocked, &old_mask);

    const std::string out = file("status");
    // exec: the status read is the one of the process the shell's commands inherit from.
    EXPECT_TRUE(run("exec cat /proc/self/status > " + out).empty());

    sigprocmask(SIG_SETMASK, &old_mask, nullptr);
    sigaction(SIGUSR2, &old_usr2, nullptr);
    sigaction(SIGPIPE, &old_pipe, nullptr);

    const std::optional<std::string> status = test::read_file(out);
    ASSERT_TRUE(status);
    // Nothing at all is ignored: the shell ignores nothing of its own when not interactive.
    EXPECT_EQ(status_mask(*status, "SigIgn"), 0u);
    EXPECT_EQ(status_mask(*status, "SigBlk"), 0u);
}

// The command gets the environment Sealkeep started with: neither the GSETTINGS_BACKEND that
// load_settings set nor anything set later.
TEST_F(CommandRunner, ChildGetsTheStartupEnvironment)
{
    ASSERT_NE(std::getenv("GSETTINGS_BACKEND"), nullptr);
    setenv("SEALKEEP_SET_LATER", "yes", 1);
    const std::string out = file("environ");
    // The shell's own environment as exec gave it, before the shell could add anything.
    EXPECT_TRUE(run("cat /proc/$$/environ > " + out).empty());
    unsetenv("SEALKEEP_SET_LATER");

    const std::optional<std::string> content = test::read_file(out);
    ASSERT_TRUE(content);
    std::vector<std::string> entries;
    std::istringstream in(*content);
    for (std::string entry; std::getline(in, entry, '\0');)
        entries.push_back(entry);
    EXPECT_EQ(entries, startup_environment());
    for (const std::string& entry : entries) {
        EXPECT_NE(entry.rfind("SEALKEEP_SET_LATER=", 0), 0u);
        EXPECT_NE(entry, "GSETTINGS_BACKEND=dconf");
    }
}

// A long command neither holds up the caller nor the main loop, and leaves no zombie behind.
TEST_F(CommandRunner, ReturnsAtOnceAndReapsTheChild)
{
    const std::string pid_file = file("pid");
    const auto before = std::chrono::steady_clock::now();
    ASSERT_TRUE(start_command_line("echo $$ > " + pid_file + ".part && mv " + pid_file + ".part " + pid_file +
                                       " && exec sleep 1",
                                   [](const std::string& message) { ADD_FAILURE() << message; }));
    EXPECT_LT(std::chrono::steady_clock::now() - before, 300ms);
    EXPECT_EQ(running_command_count(), 1u);

    // A timer of the main loop keeps firing while the command runs.
    int ticks = 0;
    const guint timer = g_timeout_add(
        50,
        [](gpointer data) -> gboolean {
            ++*static_cast<int*>(data);
            return G_SOURCE_CONTINUE;
        },
        &ticks);
    std::optional<std::string> pid;
    const gint64 deadline = g_get_monotonic_time() + 5 * G_TIME_SPAN_SECOND;
    while (!(pid = test::read_file(pid_file)) && g_get_monotonic_time() < deadline)
        g_main_context_iteration(nullptr, TRUE);
    ASSERT_TRUE(pid);
    const std::string stat_path = "/proc/" + pid->substr(0, pid->find('\n')) + "/stat";
    ASSERT_TRUE(std::filesystem::exists(stat_path));

    EXPECT_TRUE(test::wait_for_commands());
    g_source_remove(timer);
    EXPECT_GE(ticks, 10);
    // Reaped: the process is gone, not left as a zombie (its pid is not reused this soon).
    const std::optional<std::string> stat = test::read_file(stat_path);
    EXPECT_EQ(stat.value_or("").find(") Z "), std::string::npos) << stat.value_or("");
}

TEST_F(CommandRunner, ReportsOnlyQuickFailuresAndRefusals)
{
    const std::string long_line = "exit 4 # " + std::string(100, 'x');
    const std::string too_long(max_argument_bytes(), ':');
    struct ReportCase {
        const char* what;
        std::string line;
        std::chrono::milliseconds quick_failure;
        bool started;
        std::vector<std::string> reports;
    };
    const ReportCase cases[] = {
        {"success", "true", QUICK_FAILURE_WINDOW, true, {}},
        {"exit status", "exit 3", QUICK_FAILURE_WINDOW, true, {"The command failed (exit status 3): exit 3"}},
        {"missing program",
         "/nonexistent/cmd 2>/dev/null",
         QUICK_FAILURE_WINDOW,
         true,
         {"The command failed (exit status 127): /nonexistent/cmd 2>/dev/null"}},
        {"signal", "kill -9 $$", QUICK_FAILURE_WINDOW, true, {"The command was killed by signal 9: kill -9 $$"}},
        {"line cut to 60 characters",
         long_line,
         QUICK_FAILURE_WINDOW,
         true,
         {"The command failed (exit status 4): " + long_line.substr(0, 60) + "…"}},
        {"failure after the window", "sleep 0.5; exit 1", 200ms, true, {}},
        {"killed after the window", "sleep 0.5; kill -9 $$", 200ms, true, {}},
        {"empty line", "", QUICK_FAILURE_WINDOW, false, {}},
        {"too long",
         too_long,
         QUICK_FAILURE_WINDOW,
         false,
         {"The command line is too long to run (" + std::to_string(too_long.size()) + " bytes)."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        bool started = false;
        EXPECT_EQ(run(c.line, c.quick_failure, &started), c.reports);
        EXPECT_EQ(started, c.started);
    }
}

} // namespace
} // namespace sealkeep
