// Many loads and Refreshes in one process, each cycle also a load stopped while gpg hangs: no descriptor
// may be left behind by a load (the pipes, gpg's stream), and, built with the leak checker
// (tests/robustness/asan_cycles.sh), no memory either.
// SEALKEEP_CYCLES sets the number of cycles (the leak run uses 200; the everyday run fewer).
#include "gui/gui_support.h"
#include "gui/robustness_support.h"

#include "core/entry_record.h"
#include "core/settings_values.h"
#include "ui/actions/entry_actions.h"
#include "ui/file/load_job.h"
#include "ui/search/search_bar.h"
#include "ui/tree/entry_store.h"
#include "ui/window/document_events.h"
#include "ui/window/main_window.h"
#include "ui/window/view_commands.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <sys/stat.h>

namespace sealkeep {
namespace {

const char* const PLAINTEXT = "customer=Acme;group=Prod;server=web1;service=ssh;serviceplus=;user=root;password=r1\n"
                              "customer=Acme;group=Prod;server=web1;service=http;serviceplus=admin;user=ed;password=e\n"
                              "not a record line\n"
                              "customer=Zeta;group=;server=db1;service=ftp;serviceplus=;user=;password=z;with;semis\n";

TEST(RobustnessCycles, LoadSearchCopyAndRefreshLeaveNothingBehind)
{
    const char* wanted = std::getenv("SEALKEEP_CYCLES");
    const int cycles = wanted ? std::atoi(wanted) : 20;
    ASSERT_GE(cycles, 2);

    test::GnupgHome home;
    const std::string file = home.encrypt_symmetric(PLAINTEXT, "cycle passphrase");
    // gpg waits on this for a writer that never comes: the loads on it only ever end by being stopped.
    const std::string fifo = home.path() + "/hang.gpg";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    MainWindow& main = test::main_window();
    GtkEntry* search = test::main_window().search.entry;
    const std::vector<std::string> expected_rows = {
        "0 Acme",          "0:0 Prod",       "0:0:0 web1", "0:0:0:0 ssh", "0:0:0:0:0 root", "0:0:0:1 http",
        "0:0:0:1:0 admin", "0:0:0:1:0:0 ed", "1 Zeta",     "1:0 db1",     "1:0:0 ftp",      "1:0:0:0 __none__",
    };

    int after_first = -1;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        refresh_entries(main);
        test::drain_events();
        ASSERT_TRUE(test::tree_rows().empty());

        // A load stopped by Refresh while gpg waits: its job, worker, gpg and pipes must all go.
        main.settings.values.password_file_path = fifo;
        start_load(main, "cycle passphrase");
        const gint64 until = g_get_monotonic_time() + 100 * G_TIME_SPAN_MILLISECOND;
        while (g_get_monotonic_time() < until)
            if (!g_main_context_iteration(nullptr, FALSE))
                g_usleep(2000);
        ASSERT_TRUE(load_running(main.file));
        refresh_entries(main);
        const gint64 deadline = g_get_monotonic_time() + 5 * G_TIME_SPAN_SECOND;
        while (!main.file.stopping.empty() && g_get_monotonic_time() < deadline)
            if (!g_main_context_iteration(nullptr, FALSE))
                g_usleep(2000);
        ASSERT_TRUE(main.file.stopping.empty()) << "a stopped load's worker did not end";

        main.settings.values.password_file_path = file;
        const test::LoadOutcome outcome = test::load_through_prompt("cycle passphrase");
        ASSERT_EQ(outcome.loaded, 1);
        ASSERT_EQ(test::tree_rows(), expected_rows);
        ASSERT_EQ(outcome.errors, "WARNING: not matched: not a record line\n\n");

        // A search (alternating, so that each one is a change of the text) selects a user row whose
        // password then goes to the clipboard through the hidden entry.
        gtk_entry_set_text(search, cycle % 2 ? "root" : "__none__");
        test::drain_events();
        ASSERT_EQ(test::main_window().search.matches.size(), 1u);
        on_copy_password(test::main_window().actions);
        test::drain_events();
        ASSERT_EQ(test::clipboard_text(), cycle % 2 ? "r1" : "z;with;semis");

        // Some descriptors open on first use (the clipboard's, the display's); from the first cycle on
        // the count must stay where it is.
        if (cycle == 0)
            after_first = test::open_descriptors();
    }
    EXPECT_EQ(test::open_descriptors(), after_first);

    // Everything a cycle made is released by the next Refresh and the next search; a short search text
    // releases the last matches, so that nothing of ours is left for the leak check at exit.
    refresh_entries(main);
    gtk_entry_set_text(search, "");
    test::drain_events();
    EXPECT_TRUE(test::records().empty());
    EXPECT_TRUE(test::main_window().search.matches.empty());
    EXPECT_EQ(test::main_window().tree.database_loaded, 0);
}

} // namespace
} // namespace sealkeep
