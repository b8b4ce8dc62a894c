// A search goes over the loaded document's row texts in one pass instead of walking the model. It must
// find exactly what a walk of the model finds, in the same order, and reveal the same row; and a reload
// is searched as it is now.
#include "gui/gui_support.h"
#include "gui/robustness_support.h"

#include "core/search_text.h"
#include "ui/glib_ptr.h"
#include "ui/search/search_bar.h"
#include "ui/tree/entry_store.h"
#include "ui/window/main_window.h"
#include "ui/window/view_commands.h"

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
    return GTK_TREE_VIEW(GTK_WIDGET(test::main_window().tree.view));
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
    GtkEntry* entry = GTK_ENTRY(GTK_WIDGET(test::main_window().search.entry));
    gtk_entry_set_text(entry, "");
    gtk_entry_set_text(entry, text.c_str());
    test::drain_events();
    Found found;
    for (std::uint32_t row : test::main_window().search.matches) {
        GtkTreePath* path = search_match_path(test::main_window().search, row);
        GCharPtr where{path ? gtk_tree_path_to_string(path) : g_strdup("")};
        found.matches.push_back(where.get());
        gtk_tree_path_free(path);
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

// What a walk of the model finds: every row whose shown text holds the search text, A-Z folded.
std::vector<std::string> walk_of_the_model(const std::string& text)
{
    struct Walk {
        std::string lowered;
        std::vector<std::string> found;
    } walk{ascii_lower(text), {}};
    if (text.size() < MIN_SEARCH_BYTES)
        return {};
    gtk_tree_model_foreach(
        test::main_window().tree.model,
        [](GtkTreeModel* model, GtkTreePath* path, GtkTreeIter* iter, gpointer data) -> gboolean {
            auto& walk = *static_cast<Walk*>(data);
            gchar* row_text = nullptr;
            gtk_tree_model_get(model, iter, COL_TEXT, &row_text, -1);
            GCharPtr owned{row_text};
            if (row_text && contains_folded(row_text, walk.lowered)) {
                GCharPtr where{gtk_tree_path_to_string(path)};
                walk.found.push_back(where.get());
            }
            return FALSE;
        },
        &walk);
    return walk.found;
}

TEST(RobustnessSearchRows, ASearchFindsWhatAWalkOfTheModelFinds)
{
    test::load_fixture(FIXTURE);
    for (const auto& text : SEARCHES) {
        SCOPED_TRACE("searching \"" + text + "\"");
        const Found found = search_for(text);
        const std::vector<std::string> walked = walk_of_the_model(text);
        EXPECT_EQ(found.matches, walked);
        // A search that finds nothing leaves the cursor where it was.
        if (!walked.empty()) {
            EXPECT_EQ(found.cursor, walked.front());
        }
    }
    // The walk's own results, so that an empty result on both sides cannot pass unseen.
    EXPECT_EQ(search_for("acme").matches,
              (std::vector<std::string>{"0", "0:0:0", "0:0:0:0:0:1", "0:1", "0:2:0", "3", "3:0:0"}));
    EXPECT_EQ(search_for("acme").cursor, "0");
    EXPECT_EQ(search_for("root").matches, (std::vector<std::string>{"0:0:0:0:0:0", "0:2:0:0:0", "3:0:0:0:0"}));
    EXPECT_EQ(search_for("root").cursor, "0:0:0:0:0:0");
    refresh_entries(test::main_window());
}

TEST(RobustnessSearchRows, AReloadIsSearchedAsItIsNow)
{
    test::load_fixture(FIXTURE);
    EXPECT_EQ(search_for("web01").matches, (std::vector<std::string>{"0:0:0"}));
    std::vector<std::string> changed = FIXTURE;
    for (std::string& line : changed)
        if (const auto at = line.find("web01"); at != std::string::npos)
            line.replace(at, 5, "omega");
    test::load_fixture(changed);
    EXPECT_EQ(search_for("omega").matches, std::vector<std::string>{"0:0:0"});
    EXPECT_EQ(search_for("web01").matches, std::vector<std::string>{});

    // After Refresh the tree is empty, and so is every search.
    refresh_entries(test::main_window());
    test::drain_events();
    EXPECT_EQ(search_for("acme"), Found{});
    EXPECT_TRUE(test::main_loop_runs());
}

} // namespace
} // namespace sealkeep
