// A search right after a load goes over the row texts that the load handed over instead of walking the
// store. It must find exactly what the walk finds, in the same order, and reveal the same row; and once
// the store changes in any other way, the handed-over texts must no longer be used.
#include "gui/gui_support.h"
#include "gui/robustness_support.h"

#include "ui/glib_ptr.h"
#include "ui/entry_store.h"
#include "ui/main_window.h"
#include "ui/search_bar.h"
#include "ui/view_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sealkeep {
namespace {

// Deep and shallow rows, skipped levels, repeated and empty values, capitals, Latin-1 and UTF-8 bytes.
const std::vector<std::string> FIXTURE = {
    "customer=Acme Corp;group=Prod;server=web01.acme.example;service=ssh;serviceplus=2222;user=root;password=1",
    "customer=Acme Corp;group=Prod;server=web01.acme.example;service=ssh;serviceplus=2222;user=ACMEADMIN;password=2",
    "customer=Acme Corp;group=Prod;server=web01.acme.example;service=http;serviceplus=;user=webmaster;password=3",
    "customer=Acme Corp;group=;server=db.acme.example;service=ftp;serviceplus=;user=;password=4",
    "customer=Acme Corp;group=Test;server=db.acme.example;service=ssh;serviceplus=;user=root;password=5",
    "customer=;group=;server=;service=;serviceplus=;user=;password=6",
    "customer=Caf\xe9 Cr\xe8me;group=;server=\xc3\x89"
    "COLE;service=telnet;serviceplus=;user=r\xe9mi;password=7",
    "customer=Acme Corp;group=Prod;server=web02.acme.example;service=ssh;serviceplus=;user=root;password=8",
};

const std::vector<std::string> SEARCHES = {"acme",
                                           "ACME",
                                           "root",
                                           "ame",
                                           "xam",
                                           "web01",
                                           "__none__",
                                           "\xc3\xa9"
                                           "co", // é as UTF-8 meets the Latin-1 row shown as UTF-8
                                           "caf",
                                           "CR\xc3\x88",
                                           "2222",
                                           "nothing",
                                           "ac",
                                           "",
                                           "p;2"};

GtkTreeView* tree_view()
{
    return GTK_TREE_VIEW(GTK_WIDGET(test::main_window().tree_view));
}

struct Found {
    std::vector<std::string> matches;
    std::string cursor;
    bool operator==(const Found&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Found& found)
{
    out << "cursor " << found.cursor << ", matches";
    for (const auto& path : found.matches)
        out << " " << path;
    return out;
}

Found search_for(const std::string& text)
{
    // From the same start each time: everything collapsed, nothing selected, no search text.
    gtk_tree_view_collapse_all(tree_view());
    gtk_tree_selection_unselect_all(gtk_tree_view_get_selection(tree_view()));
    GtkEntry* entry = GTK_ENTRY(GTK_WIDGET(test::main_window().search_entry));
    gtk_entry_set_text(entry, "");
    gtk_entry_set_text(entry, text.c_str());
    test::drain_events();
    Found found;
    for (GtkTreePath* path : test::main_window().search.matches) {
        GCharPtr where{gtk_tree_path_to_string(path)};
        found.matches.push_back(where.get());
    }
    GtkTreePath* cursor = nullptr;
    gtk_tree_view_get_cursor(tree_view(), &cursor, nullptr);
    if (cursor) {
        GCharPtr where{gtk_tree_path_to_string(cursor)};
        found.cursor = where.get();
        gtk_tree_path_free(cursor);
    }
    return found;
}

// Sets a row's text as any other code could, which is also a change the handed-over texts cannot know.
void set_row_text(const char* path, const char* text)
{
    GtkTreeIter iter;
    ASSERT_TRUE(gtk_tree_model_get_iter_from_string(GTK_TREE_MODEL(test::main_window().store), &iter, path));
    gtk_tree_store_set(test::main_window().store, &iter, COL_TEXT, text, -1);
}

TEST(RobustnessSearchRows, AfterALoadASearchFindsWhatTheWalkOfTheStoreFinds)
{
    test::load_fixture(FIXTURE);
    std::vector<Found> after_load;
    for (const auto& text : SEARCHES)
        after_load.push_back(search_for(text));

    // Rewriting a row with its own text changes nothing but makes the search walk the store.
    set_row_text("0", "Acme Corp");
    for (std::size_t i = 0; i < SEARCHES.size(); ++i) {
        SCOPED_TRACE("searching \"" + SEARCHES[i] + "\"");
        EXPECT_EQ(search_for(SEARCHES[i]), after_load[i]);
    }
    // The walk's own results, so that an empty result on both sides cannot pass unseen.
    EXPECT_EQ(after_load[0].matches,
              (std::vector<std::string>{"0", "0:0:0", "0:0:0:0:0:1", "0:1", "0:2:0", "3", "3:0:0"}));
    EXPECT_EQ(after_load[0].cursor, "0");
    EXPECT_EQ(after_load[2].matches, (std::vector<std::string>{"0:0:0:0:0:0", "0:2:0:0:0", "3:0:0:0:0"}));
    EXPECT_EQ(after_load[2].cursor, "0:0:0:0:0:0");
    refresh_entries(test::main_window());
}

TEST(RobustnessSearchRows, AChangedStoreIsSearchedAsItIsNow)
{
    test::load_fixture(FIXTURE);
    set_row_text("0:0:0", "omega.example");
    EXPECT_EQ(search_for("omega").matches, std::vector<std::string>{"0:0:0"});
    EXPECT_EQ(search_for("web01").matches, std::vector<std::string>{});

    // The next load hands over its own texts again.
    test::load_fixture(FIXTURE);
    EXPECT_EQ(search_for("omega").matches, std::vector<std::string>{});
    EXPECT_EQ(search_for("web01").matches, (std::vector<std::string>{"0:0:0"}));

    // After Refresh the store is empty, and so is every search.
    refresh_entries(test::main_window());
    test::drain_events();
    EXPECT_EQ(search_for("acme"), Found{});
    EXPECT_TRUE(test::main_loop_runs());
}

} // namespace
} // namespace sealkeep
