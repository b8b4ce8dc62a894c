// The account tree's view: its properties, showing a loaded document, and clearing it.
#include "gui/gui_support.h"

#include "core/document.h"
#include "core/tree_building.h"
#include "ui/tree/entry_store.h"
#include "ui/window/document_events.h"
#include "ui/window/main_window.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>

namespace sealkeep {
namespace {

class EntryStore : public ::testing::Test {
protected:
    void SetUp() override { clear_document(test::main_window()); }
    void TearDown() override { clear_document(test::main_window()); }
    GtkTreeModel* model() { return GTK_TREE_MODEL(test::main_window().tree.model); }
};

TEST_F(EntryStore, ViewShowsIconAndTextColumnsWithMultipleSelection)
{
    GtkTreeView* view = test::main_window().tree.view;
    EXPECT_EQ(gtk_tree_view_get_model(view), model());
    EXPECT_FALSE(gtk_tree_view_get_headers_visible(view));
    EXPECT_FALSE(gtk_tree_view_get_enable_search(view));
    EXPECT_EQ(gtk_tree_selection_get_mode(gtk_tree_view_get_selection(view)), GTK_SELECTION_MULTIPLE);
    ASSERT_EQ(gtk_tree_model_get_n_columns(model()), 3);
    EXPECT_EQ(gtk_tree_model_get_column_type(model(), COL_ICON), GDK_TYPE_PIXBUF);
    EXPECT_EQ(gtk_tree_model_get_column_type(model(), COL_TEXT), G_TYPE_STRING);
    EXPECT_EQ(gtk_tree_model_get_column_type(model(), COL_ENTRY), G_TYPE_POINTER);

    GList* columns = gtk_tree_view_get_columns(view);
    ASSERT_EQ(g_list_length(columns), 2u);
    auto* icon_column = GTK_TREE_VIEW_COLUMN(columns->data);
    auto* text_column = GTK_TREE_VIEW_COLUMN(columns->next->data);
    g_list_free(columns);
    GList* icon_cells = gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(icon_column));
    GList* text_cells = gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(text_column));
    EXPECT_TRUE(GTK_IS_CELL_RENDERER_PIXBUF(icon_cells->data));
    EXPECT_TRUE(GTK_IS_CELL_RENDERER_TEXT(text_cells->data));
    g_list_free(icon_cells);
    g_list_free(text_cells);
    EXPECT_EQ(gtk_tree_view_get_expander_column(view), text_column);
    EXPECT_EQ(gtk_tree_view_column_get_max_width(text_column), 80);
}

// A finished document of these lines, as a load's worker builds it.
std::unique_ptr<Document> document_of(const std::vector<std::string>& lines)
{
    auto document = std::make_unique<Document>(test::main_window().settings.values);
    for (const auto& line : lines)
        document->add_line(line + "\n");
    document->finish();
    return document;
}

TEST_F(EntryStore, ShownRowsGoLastUnderTheirParentWithOrWithoutIcon)
{
    EXPECT_TRUE(show_loaded_rows(test::main_window(), document_of({test::record_line("customer;;one;ssh;;u;p"),
                                                                   test::record_line("customer;;two;ssh;;u;p"),
                                                                   test::record_line("second customer;;s;ssh;;u;p")})));

    EXPECT_EQ(gtk_tree_model_iter_n_children(model(), nullptr), 2);
    EXPECT_EQ(test::row_text("0"), "customer");
    EXPECT_EQ(test::row_text("0:0"), "one");
    EXPECT_EQ(test::row_text("0:1"), "two");
    EXPECT_EQ(test::row_text("1"), "second customer");

    GtkTreeIter iter;
    GdkPixbuf* icon = nullptr;
    gpointer record = &iter;
    ASSERT_TRUE(gtk_tree_model_get_iter_from_string(model(), &iter, "0"));
    gtk_tree_model_get(model(), &iter, COL_ICON, &icon, -1);
    EXPECT_NE(icon, nullptr);
    if (icon)
        g_object_unref(icon);
    ASSERT_TRUE(gtk_tree_model_get_iter_from_string(model(), &iter, "0:1"));
    gtk_tree_model_get(model(), &iter, COL_ICON, &icon, COL_ENTRY, &record, -1);
    EXPECT_EQ(icon, nullptr);
    EXPECT_EQ(record, nullptr);
    // Nothing to show is reported as such.
    EXPECT_FALSE(show_loaded_rows(test::main_window(), document_of({"no record"})));
    EXPECT_FALSE(show_loaded_rows(test::main_window(), nullptr));
}

TEST_F(EntryStore, TextThatIsNotUtf8IsShownAsLatin1)
{
    test::load_fixture({test::record_line("M\xfcller;;caf\xe9;ssh;;u;p")});
    EXPECT_EQ(test::row_text("0"), "M\xc3\xbcller");
    EXPECT_EQ(test::row_text("0:0"), "caf\xc3\xa9");
    // The record keeps the bytes as read.
    ASSERT_FALSE(test::records().empty());
    EXPECT_EQ(test::records()[0]->host(), "caf\xe9");
}

TEST_F(EntryStore, ClearingReleasesEverythingAndIsHarmlessTwice)
{
    ASSERT_EQ(test::load_fixture({test::record_line("A;;srv;ssh;;root;pw"), test::record_line("B;;s2;ftp;;bob;pw2")}),
              1);
    EXPECT_EQ(test::main_window().tree.database_loaded, 1);
    // One record per record line: root's shortcut on its server row is the same record.
    EXPECT_EQ(test::records().size(), 2u);
    clear_document(test::main_window());
    EXPECT_EQ(gtk_tree_model_iter_n_children(model(), nullptr), 0);
    EXPECT_TRUE(test::records().empty());
    EXPECT_EQ(test::main_window().tree.database_loaded, 0);
    test::main_window().tree.database_loaded = 1;
    clear_document(test::main_window());
    EXPECT_EQ(test::main_window().tree.database_loaded, 0);
    EXPECT_EQ(gtk_tree_model_iter_n_children(model(), nullptr), 0);
}

// A big tree's view would let go of all its rows at once when Refresh clears it. The empty tree shows
// at once in the other view, the old document's texts gone with it; the old view lets go of its rows
// in idle slices, and a second clear meeting them half done ends them at once. The keyboard stays on
// the tree, and the toolkit raises no warning (the test fails on any).
TEST_F(EntryStore, ClearingABigTreeLeavesNothingBehind)
{
    std::vector<std::string> lines;
    for (int customer = 0; customer < 1500; ++customer)
        for (int user = 0; user < 2; ++user)
            lines.push_back(test::record_line("C" + std::to_string(customer) + ";;host;ssh;;u" + std::to_string(user) +
                                              ";pw"));
    MainWindow& main = test::main_window();
    for (const char* way : {"slices run out", "a clear meets them"}) {
        SCOPED_TRACE(way);
        ASSERT_EQ(test::load_fixture(lines), 1);
        for (const char* path : {"3", "3:0", "1499", "1499:0", "1499:0:0"}) {
            TreePathPtr row{gtk_tree_path_new_from_string(path)};
            gtk_tree_view_expand_row(main.tree.view, row.get(), FALSE);
        }
        gtk_widget_grab_focus(GTK_WIDGET(main.tree.view));
        GtkTreeView* before = main.tree.whole_view;
        RefPtr<GtkTreeModel> old{GTK_TREE_MODEL(g_object_ref(model()))};
        const Document* document = account_model_document(old.get());

        clear_document(main);
        EXPECT_NE(main.tree.whole_view, before);
        EXPECT_EQ(main.tree.view, main.tree.whole_view);
        EXPECT_EQ(gtk_tree_model_iter_n_children(model(), nullptr), 0);
        EXPECT_TRUE(gtk_widget_get_visible(main.tree.whole_scroller));
        EXPECT_FALSE(gtk_widget_get_visible(main.tree.spare_whole_scroller));
        EXPECT_TRUE(gtk_widget_is_focus(GTK_WIDGET(main.tree.view)));
        EXPECT_TRUE(document->plaintext().empty()) << "the texts outlived the clear";
        EXPECT_TRUE(document->records().empty());
        ASSERT_NE(main.tree.whole_dropping, 0u);
        EXPECT_EQ(gtk_tree_view_get_model(before), old.get());

        if (std::string(way) == "a clear meets them") {
            // Another big tree, shown without a pause, and cleared.
            auto again = std::make_unique<Document>(main.settings.values);
            for (const auto& text : lines)
                again->add_line(text + "\n");
            again->finish();
            show_loaded_rows(main, std::move(again));
            ASSERT_NE(main.tree.whole_dropping, 0u);
            GtkTreeView* second = main.tree.whole_view;
            clear_document(main);
            EXPECT_EQ(main.tree.whole_view, before) << "the view letting go of its rows is the one to take the place";
            EXPECT_EQ(G_OBJECT(old.get())->ref_count, 1u) << "what was left went at once: no view holds it";
            EXPECT_NE(gtk_tree_view_get_model(second), nullptr);
        }
        test::drain_events();
        EXPECT_EQ(main.tree.whole_dropping, 0u);
        EXPECT_EQ(gtk_tree_view_get_model(main.tree.spare_whole_view), nullptr);
        EXPECT_EQ(G_OBJECT(old.get())->ref_count, 1u) << "a view still holds the old model";
        if (std::string(way) == "slices run out") {
            EXPECT_EQ(gtk_tree_model_iter_n_children(old.get(), nullptr), 0) << "the view let go of them a slice at a time";
        }
    }
}

TEST_F(EntryStore, FixtureLoadPutsRowsInFileOrderWithRecords)
{
    ASSERT_EQ(test::load_fixture({test::record_line("A;G;srv;ssh;22;root;pw"),
                                  test::record_line("A;G;srv;ssh;22;bob;pw2"), test::record_line("B;;web;http;;;pw3")}),
              1);
    const char* expected[][2] = {{"0", "A"},
                                 {"0:0", "G"},
                                 {"0:0:0", "srv"},
                                 {"0:0:0:0", "ssh"},
                                 {"0:0:0:0:0", "22"},
                                 {"0:0:0:0:0:0", "root"},
                                 {"0:0:0:0:0:1", "bob"},
                                 {"1", "B"},
                                 {"1:0", "web"},
                                 {"1:0:0", "http"},
                                 {"1:0:0:0", "__none__"}};
    for (auto& row : expected)
        EXPECT_EQ(test::row_text(row[0]), row[1]) << row[0];

    GtkTreeIter iter;
    EntryRecord* record = nullptr;
    ASSERT_TRUE(gtk_tree_model_get_iter_from_string(model(), &iter, "0:0:0"));
    gtk_tree_model_get(model(), &iter, COL_ENTRY, &record, -1);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->password(), "pw");
    ASSERT_TRUE(gtk_tree_model_get_iter_from_string(model(), &iter, "0:0:0:0"));
    gtk_tree_model_get(model(), &iter, COL_ENTRY, &record, -1);
    EXPECT_EQ(record, nullptr);
    // Customer rows carry the portrait icon, and no other row does.
    for (const char* path : {"0", "1", "0:0", "0:0:0", "0:0:0:0:0:0"}) {
        GdkPixbuf* icon = nullptr;
        ASSERT_TRUE(gtk_tree_model_get_iter_from_string(model(), &iter, path));
        gtk_tree_model_get(model(), &iter, COL_ICON, &icon, -1);
        EXPECT_EQ(icon != nullptr, std::string(path).find(':') == std::string::npos) << path;
        if (icon)
            g_object_unref(icon);
    }
    // The view is back on the store after the load.
    EXPECT_EQ(gtk_tree_view_get_model(test::main_window().tree.view), model());
}

} // namespace
} // namespace sealkeep
