// The account model against a plain GtkTreeStore filled by the same tree rules from the same lines: for
// every kind of tree the rules make, both must answer every question of the GtkTreeModel interface alike.
#include "gui/gui_support.h"

#include "core/document.h"
#include "core/record_line.h"
#include "core/text_encoding.h"
#include "core/tree_building.h"
#include "ui/glib_ptr.h"
#include "ui/tree/account_model.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <vector>

namespace sealkeep {
namespace {

using test::record_line;

// gtk_tree_model_foreach's walk (first, children, next, parent) as "path text" lines.
std::vector<std::string> walk(GtkTreeModel* tree)
{
    std::vector<std::string> rows;
    gtk_tree_model_foreach(
        tree,
        [](GtkTreeModel* m, GtkTreePath* path, GtkTreeIter* iter, gpointer data) -> gboolean {
            gchar* text = nullptr;
            gtk_tree_model_get(m, iter, COL_TEXT, &text, -1);
            static_cast<std::vector<std::string>*>(data)->push_back(test::path_string(path) + " " +
                                                                    (text ? text : "(null)"));
            g_free(text);
            return FALSE;
        },
        &rows);
    return rows;
}

// Rows appended to a tree store, the way the view's store was filled before the model: COL_ENTRY holds
// the record's number (-1: none) where the model holds the record itself.
class StoreSink : public RowSink {
public:
    StoreSink(GtkTreeStore* store, GdkPixbuf* icon) : store_(store), icon_(icon) {}

    RowId append_row(std::optional<RowId> parent, std::string_view text, const char* stock_id) override
    {
        GtkTreeIter iter;
        gtk_tree_store_append(store_, &iter, parent ? &iters_[*parent] : nullptr);
        gtk_tree_store_set(store_, &iter, COL_ICON, stock_id ? icon_ : nullptr, COL_TEXT, display_text(text).c_str(),
                           COL_ENTRY, -1, -1);
        iters_.push_back(iter); // a tree store's iterators persist
        return iters_.size() - 1;
    }

    void set_record(RowId row, std::uint32_t record) override
    {
        gtk_tree_store_set(store_, &iters_[row], COL_ENTRY, static_cast<gint>(record), -1);
    }

private:
    GtkTreeStore* store_;
    GdkPixbuf* icon_;
    std::vector<GtkTreeIter> iters_;
};

// One set of lines shown both ways. The lines are as they stand in the file, without line ending.
class BothModels {
public:
    BothModels(const std::vector<std::string>& lines, GdkPixbuf* icon) : icon_(icon)
    {
        store_ = gtk_tree_store_new(N_ENTRY_COLUMNS, GDK_TYPE_PIXBUF, G_TYPE_STRING, G_TYPE_INT);
        StoreSink sink(store_, icon);
        TreeBuildState state;
        auto document = std::make_unique<Document>(test::main_window().settings.values);
        for (std::uint32_t number = 0; number < lines.size(); ++number) {
            document->add_line(lines[number] + "\n");
            if (is_gpg_warning_line(lines[number]))
                continue;
            if (const auto parsed = parse_record_line(lines[number] + "\n")) {
                add_record_line(state, sink, *parsed, static_cast<std::uint32_t>(record_lines_.size()));
                record_lines_.push_back(number);
            }
        }
        document->finish();
        document_ = document.get();
        model_ = account_model_new(std::move(document), icon);
    }
    ~BothModels()
    {
        g_object_unref(model_);
        g_object_unref(store_);
    }
    BothModels(const BothModels&) = delete;
    BothModels& operator=(const BothModels&) = delete;

    // Walks both trees from the top level down and compares every answer on the way.
    void compare_all()
    {
        EXPECT_EQ(gtk_tree_model_get_flags(model_), gtk_tree_model_get_flags(GTK_TREE_MODEL(store_)));
        EXPECT_EQ(gtk_tree_model_get_n_columns(model_), N_ENTRY_COLUMNS);
        EXPECT_EQ(gtk_tree_model_get_column_type(model_, COL_ICON), GDK_TYPE_PIXBUF);
        EXPECT_EQ(gtk_tree_model_get_column_type(model_, COL_TEXT), G_TYPE_STRING);
        EXPECT_EQ(gtk_tree_model_get_column_type(model_, COL_ENTRY), G_TYPE_POINTER);
        compare_children(nullptr, nullptr, "");
        EXPECT_EQ(walk(model_), walk(GTK_TREE_MODEL(store_)));
        EXPECT_EQ(compared_, static_cast<std::size_t>(document_->rows().size()));
    }

    GtkTreeModel* model() { return model_; }
    GtkTreeModel* store() { return GTK_TREE_MODEL(store_); }

private:
    static std::string string_of(GtkTreeModel* tree, GtkTreeIter* iter)
    {
        GCharPtr text{gtk_tree_model_get_string_from_iter(tree, iter)};
        return text ? text.get() : "(none)";
    }

    // The children of one row (the top level when both parents are null), then theirs.
    void compare_children(GtkTreeIter* model_parent, GtkTreeIter* store_parent, const std::string& parent_path)
    {
        SCOPED_TRACE("under \"" + parent_path + "\"");
        GtkTreeModel* store = GTK_TREE_MODEL(store_);
        const gint count = gtk_tree_model_iter_n_children(store, store_parent);
        ASSERT_EQ(gtk_tree_model_iter_n_children(model_, model_parent), count);
        if (model_parent) {
            EXPECT_EQ(gtk_tree_model_iter_has_child(model_, model_parent), count > 0);
            EXPECT_EQ(gtk_tree_model_iter_has_child(store, store_parent), count > 0);
        }
        const std::string prefix = parent_path.empty() ? "" : parent_path + ":";

        GtkTreeIter by_next;
        bool next_valid = gtk_tree_model_iter_children(model_, &by_next, model_parent);
        EXPECT_EQ(next_valid, count > 0);
        for (gint n = 0; n < count; ++n) {
            const std::string path = prefix + std::to_string(n);
            GtkTreeIter model_iter, store_iter;
            ASSERT_TRUE(gtk_tree_model_iter_nth_child(model_, &model_iter, model_parent, n)) << path;
            ASSERT_TRUE(gtk_tree_model_iter_nth_child(store, &store_iter, store_parent, n)) << path;
            // Stepping from the first child with iter_next meets the same rows.
            ASSERT_TRUE(next_valid) << path;
            EXPECT_EQ(string_of(model_, &by_next), path);
            next_valid = gtk_tree_model_iter_next(model_, &by_next);
            compare_row(&model_iter, &store_iter, path);
            compare_children(&model_iter, &store_iter, path);
        }
        EXPECT_FALSE(next_valid) << "iter_next past the last child of \"" << parent_path << "\"";

        GtkTreeIter beyond;
        EXPECT_FALSE(gtk_tree_model_iter_nth_child(model_, &beyond, model_parent, count));
        EXPECT_FALSE(gtk_tree_model_iter_nth_child(model_, &beyond, model_parent, count + 1000));
        // Paths one past the last child, and deeper ones through it, lead nowhere.
        for (const std::string& path : {prefix + std::to_string(count), prefix + std::to_string(count) + ":0",
                                        prefix + std::to_string(count + 7) + ":0:0:0:0:0:0:0"}) {
            EXPECT_FALSE(gtk_tree_model_get_iter_from_string(store, &beyond, path.c_str())) << path;
            EXPECT_FALSE(gtk_tree_model_get_iter_from_string(model_, &beyond, path.c_str())) << path;
        }
    }

    void compare_row(GtkTreeIter* model_iter, GtkTreeIter* store_iter, const std::string& path)
    {
        SCOPED_TRACE("row \"" + path + "\"");
        ++compared_;
        GtkTreeModel* store = GTK_TREE_MODEL(store_);
        EXPECT_EQ(string_of(model_, model_iter), path);
        EXPECT_EQ(string_of(store, store_iter), path);

        gchar* model_text = nullptr;
        gchar* store_text = nullptr;
        GdkPixbuf* model_icon = nullptr;
        GdkPixbuf* store_icon = nullptr;
        EntryRecord* record = nullptr;
        gint record_number = -1;
        gtk_tree_model_get(model_, model_iter, COL_TEXT, &model_text, COL_ICON, &model_icon, COL_ENTRY, &record, -1);
        gtk_tree_model_get(store, store_iter, COL_TEXT, &store_text, COL_ICON, &store_icon, COL_ENTRY, &record_number,
                           -1);
        ASSERT_NE(model_text, nullptr);
        EXPECT_STREQ(model_text, store_text);
        EXPECT_TRUE(g_utf8_validate(model_text, -1, nullptr));
        EXPECT_EQ(model_icon, store_icon);
        g_free(model_text);
        g_free(store_text);
        for (GdkPixbuf* icon : {model_icon, store_icon})
            if (icon)
                g_object_unref(icon);
        EXPECT_EQ(record != nullptr, record_number >= 0);
        if (record && record_number >= 0) {
            const auto number = static_cast<std::size_t>(record_number);
            ASSERT_LT(number, document_->records().size());
            EXPECT_EQ(record, &document_->records()[number]);
            EXPECT_EQ(record->line(), record_lines_[number]);
        }

        GtkTreeIter model_up, store_up;
        const bool has_parent = gtk_tree_model_iter_parent(store, &store_up, store_iter);
        ASSERT_EQ(gtk_tree_model_iter_parent(model_, &model_up, model_iter), has_parent);
        if (has_parent) {
            EXPECT_EQ(string_of(model_, &model_up), string_of(store, &store_up));
        }

        // From the path back to the same row.
        GtkTreeIter found;
        ASSERT_TRUE(gtk_tree_model_get_iter_from_string(model_, &found, path.c_str()));
        TreePathPtr found_path{gtk_tree_model_get_path(model_, &found)};
        EXPECT_EQ(test::path_string(found_path.get()), path);
        EXPECT_EQ(account_model_row(&found), account_model_row(model_iter));
    }

    GdkPixbuf* icon_;
    GtkTreeStore* store_;
    GtkTreeModel* model_;
    const Document* document_;                // the model's
    std::vector<std::uint32_t> record_lines_; // the line of each record, by record number
    std::size_t compared_ = 0;
};

class AccountModel : public ::testing::Test {
protected:
    void SetUp() override { icon = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 4, 4); }
    void TearDown() override { g_object_unref(icon); }
    GdkPixbuf* icon = nullptr;
};

struct ModelCase {
    const char* name;
    std::vector<std::string> lines;
};

// Lines as they stand in the file: record lines from seven values, and whatever else a file may hold.
std::vector<std::string> records_of(const std::vector<std::string>& seven_values)
{
    std::vector<std::string> lines;
    for (const auto& values : seven_values)
        lines.push_back(record_line(values));
    return lines;
}

std::vector<std::string> many_users()
{
    std::vector<std::string> values;
    for (int n = 0; n < 300; ++n)
        values.push_back("A;;srv;ssh;;user" + std::to_string(n) + ";p");
    return records_of(values);
}

std::vector<std::string> many_customers()
{
    std::vector<std::string> values;
    for (int n = 0; n < 400; ++n)
        values.push_back("Customer " + std::to_string(n) + ";" + (n % 3 ? "" : "G") + ";srv;ftp;;u;p");
    return records_of(values);
}

TEST_F(AccountModel, AnswersAsATreeStoreFilledByTheSameRules)
{
    const ModelCase cases[] = {
        {"consecutive lines share their upper rows",
         records_of({"A;G;srv;ssh;;bob;p1", "A;G;srv;ssh;;amy;p2", "A;G;srv;ftp;;amy;p3", "A;G;web;ftp;;amy;p4",
                     "A;H;web;ftp;;amy;p5", "B;H;web;ftp;;amy;p6"})},
        {"only consecutive lines share rows", records_of({"A;;s;ftp;;u;p", "B;;s;ftp;;u;p", "A;;s;ftp;;u;p"})},
        {"a group, then none, then the group again",
         records_of({"A;G;s;ftp;;u;p", "A;;s;ftp;;u;p", "A;;t;ftp;;u;p", "A;G;s;ftp;;u;p"})},
        {"a service detail, then none, then another",
         records_of({"A;;s;http;:81;u;p", "A;;s;http;:81;w;p", "A;;s;http;;v;q", "A;;s;http;/adm;x;q"})},
        {"the same detail under two services", records_of({"A;;srv;ftp;:8080;u;p", "A;;srv;http;:8080;v;q"})},
        {"an empty user is __none__", records_of({"A;;srv;ssh;22;;p", "A;;srv;ssh;;;q"})},
        {"root's ssh account on its server row, the later one replacing the earlier",
         records_of({"A;;srv;ssh;22;root;first", "A;;srv;ftp;;bob;x", "A;;srv;ssh;2222;root;second",
                     "A;;other;SSH;;root;none"})},
        {"text that is not UTF-8 is shown as Latin-1",
         records_of({"M\xfcller;;caf\xe9;ssh;;u;p", "Caf\xc3\xa9;;\xc3\x89tude;ftp;;\xe9t\xe9;p"})},
        {"every value empty", records_of({";;;;;;", ";;;;;;", ";G;;;;;"})},
        {"lines that are no records between records",
         {"just text", record_line("A;;s;ssh;;root;p"), "gpg: WARNING: something", "", record_line("A;;s;ssh;;bob;q"),
          "customer=broken", record_line("B;;t;ftp;;u;r")}},
        {"one row with many children", many_users()},
        {"many customers", many_customers()},
        {"no record line at all", {"noise", "gpg: WARNING: only a warning"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BothModels both(c.lines, icon);
        both.compare_all();
    }
}

TEST_F(AccountModel, ModelWithoutDocumentIsEmpty)
{
    GtkTreeModel* model = account_model_new(nullptr, icon);
    GtkTreeStore* store = gtk_tree_store_new(N_ENTRY_COLUMNS, GDK_TYPE_PIXBUF, G_TYPE_STRING, G_TYPE_INT);
    for (GtkTreeModel* tree : {model, GTK_TREE_MODEL(store)}) {
        SCOPED_TRACE(G_OBJECT_TYPE_NAME(tree));
        GtkTreeIter iter;
        EXPECT_EQ(gtk_tree_model_iter_n_children(tree, nullptr), 0);
        EXPECT_FALSE(gtk_tree_model_get_iter_first(tree, &iter));
        EXPECT_FALSE(gtk_tree_model_iter_children(tree, &iter, nullptr));
        EXPECT_FALSE(gtk_tree_model_iter_nth_child(tree, &iter, nullptr, 0));
        for (const char* path : {"0", "1", "0:0"})
            EXPECT_FALSE(gtk_tree_model_get_iter_from_string(tree, &iter, path)) << path;
        EXPECT_EQ(gtk_tree_model_get_n_columns(tree), N_ENTRY_COLUMNS);
    }
    EXPECT_EQ(account_model_document(model), nullptr);
    g_object_unref(store);
    g_object_unref(model);
}

// A copy of a model's rows kept up by its signals, as a view with every row expanded keeps its own: a
// row inserted under a row shown with children goes in at its path, and is passed by otherwise (the
// view has no place for it); a row that comes in with children, or a parent that gets its first child,
// has them copied in, as the view does when it expands that row.
class Mirror {
public:
    explicit Mirror(GtkTreeModel* model) : model_(model)
    {
        store_ = gtk_tree_store_new(N_ENTRY_COLUMNS, GDK_TYPE_PIXBUF, G_TYPE_STRING, G_TYPE_INT);
        copy_children(nullptr, nullptr);
        g_signal_connect(model, "row-inserted", G_CALLBACK(on_row_inserted), this);
        g_signal_connect(model, "row-has-child-toggled", G_CALLBACK(on_has_child), this);
        g_signal_connect(model, "row-deleted", G_CALLBACK(on_row_deleted), this);
    }
    ~Mirror()
    {
        g_signal_handlers_disconnect_by_data(model_, this);
        g_object_unref(store_);
    }
    Mirror(const Mirror&) = delete;
    Mirror& operator=(const Mirror&) = delete;

    std::vector<std::string> rows() { return walk(GTK_TREE_MODEL(store_)); }
    int inserted = 0;
    int deleted = 0;

private:
    static std::string text_at(GtkTreeModel* model, GtkTreeIter* iter)
    {
        gchar* text = nullptr;
        gtk_tree_model_get(model, iter, COL_TEXT, &text, -1);
        std::string result = text ? text : "(null)";
        g_free(text);
        return result;
    }

    // The model's children of a row (its iterator, and the store's for it) appended under the store's.
    void copy_children(GtkTreeIter* model_parent, GtkTreeIter* store_parent)
    {
        GtkTreeIter child;
        for (bool more = gtk_tree_model_iter_children(model_, &child, model_parent); more;
             more = gtk_tree_model_iter_next(model_, &child)) {
            GtkTreeIter copy;
            gtk_tree_store_insert_with_values(store_, &copy, store_parent, -1, COL_TEXT, text_at(model_, &child).c_str(), -1);
            copy_children(&child, &copy);
        }
    }

    static void on_row_inserted(GtkTreeModel* model, GtkTreePath* path, GtkTreeIter* iter, Mirror* self)
    {
        ++self->inserted;
        GtkTreeModel* store = GTK_TREE_MODEL(self->store_);
        TreePathPtr parent_path{gtk_tree_path_copy(path)};
        GtkTreeIter parent;
        const bool at_top = !gtk_tree_path_up(parent_path.get()) || gtk_tree_path_get_depth(parent_path.get()) == 0;
        ASSERT_TRUE(at_top || gtk_tree_model_get_iter(store, &parent, parent_path.get()))
            << "a row came in before its parent: " << test::path_string(path);
        if (!at_top && !gtk_tree_model_iter_has_child(store, &parent))
            return;
        const gint position = gtk_tree_path_get_indices(path)[gtk_tree_path_get_depth(path) - 1];
        ASSERT_LE(position, gtk_tree_model_iter_n_children(store, at_top ? nullptr : &parent))
            << "a row comes in next to a sibling: " << test::path_string(path);
        GtkTreeIter copy;
        gtk_tree_store_insert_with_values(self->store_, &copy, at_top ? nullptr : &parent, position, COL_TEXT,
                                          text_at(model, iter).c_str(), -1);
    }

    static void on_row_deleted(GtkTreeModel*, GtkTreePath* path, Mirror* self)
    {
        ++self->deleted;
        GtkTreeIter copy;
        if (gtk_tree_model_get_iter(GTK_TREE_MODEL(self->store_), &copy, path))
            gtk_tree_store_remove(self->store_, &copy);
    }

    static void on_has_child(GtkTreeModel* model, GtkTreePath* path, GtkTreeIter* iter, Mirror* self)
    {
        GtkTreeIter copy;
        if (!gtk_tree_model_iter_has_child(model, iter)) {
            // Its last child went: the copy has none left either.
            ASSERT_TRUE(gtk_tree_model_get_iter(GTK_TREE_MODEL(self->store_), &copy, path));
            EXPECT_FALSE(gtk_tree_model_iter_has_child(GTK_TREE_MODEL(self->store_), &copy)) << test::path_string(path);
            return;
        }
        // A row whose parent has just got it as its first child is not in the copy yet (nor in a
        // view): it comes with its parent's children.
        if (!gtk_tree_model_get_iter(GTK_TREE_MODEL(self->store_), &copy, path))
            return;
        ASSERT_FALSE(gtk_tree_model_iter_has_child(GTK_TREE_MODEL(self->store_), &copy))
            << "told twice: " << test::path_string(path);
        self->copy_children(iter, &copy);
    }

    GtkTreeModel* model_;
    GtkTreeStore* store_;
};

// A filtered model's rows, held back but the first few, come in a part at a time and go again from the
// last; after every step a copy kept only by the signals must answer as the model does.
TEST_F(AccountModel, AFilteredModelLetsItsRowsInAndGoesAsTheViewsSignalsTellThem)
{
    std::vector<std::string> mixed;
    for (int n = 0; n < 60; ++n)
        mixed.push_back(record_line("C" + std::to_string(n % 7) + ";" + (n % 2 ? "G" : "") + ";s" +
                                    std::to_string(n % 5) + ";ssh;;u" + std::to_string(n) + ";p"));
    const ModelCase cases[] = {{"one row with many children", many_users()},
                               {"many customers", many_customers()},
                               {"customers, groups and servers mixed", mixed}};
    for (const auto& c : cases) {
        BothModels both(c.lines, icon);
        const Document& document = *account_model_document(both.model());
        const auto& rows = document.rows();
        // Some rows left out, each with its subtree (rows come in walk order: a parent first).
        std::vector<bool> shown(rows.size());
        for (std::uint32_t row = 0; row < rows.size(); ++row)
            shown[row] = (rows[row].parent == Document::NONE || shown[rows[row].parent]) && row % 11 != 3;
        GtkTreeModel* whole = account_model_new_filtered(both.model(), shown);
        const std::vector<std::string> expected = walk(whole);
        ASSERT_FALSE(expected.empty());

        for (std::uint32_t first_rows : {0u, 1u, 40u}) {
            for (std::uint32_t bulk : {0u, 3u, 512u}) {
                SCOPED_TRACE(std::string(c.name) + ", first " + std::to_string(first_rows) + ", bulk " +
                             std::to_string(bulk));
                GtkTreeModel* filtered = account_model_new_filtered(both.model(), shown);
                account_model_hold_back(filtered, first_rows);
                const std::vector<std::string> first = walk(filtered);
                EXPECT_EQ(first, std::vector<std::string>(expected.begin(),
                                                          expected.begin() + std::min<std::size_t>(first_rows, expected.size())))
                    << "the rows in are the first rows shown, with their paths";
                EXPECT_EQ(account_model_holds_back(filtered), first_rows < expected.size());
                {
                    Mirror mirror(filtered);
                    int released = 0;
                    for (AccountModelRelease release; (release = account_model_let_in_next(filtered, bulk)).row !=
                                                      Document::NONE;) {
                        ++released;
                        ASSERT_TRUE(account_model_has_row(filtered, release.row));
                        // What the view is to expand.
                        GtkTreeIter iter, parent;
                        account_model_iter(filtered, release.row, &iter);
                        EXPECT_EQ(release.has_children, gtk_tree_model_iter_has_child(filtered, &iter) == TRUE);
                        EXPECT_EQ(release.opens_parent, gtk_tree_model_iter_parent(filtered, &parent, &iter) &&
                                                            gtk_tree_model_iter_n_children(filtered, &parent) == 1);
                        if (released < 40 || released % 7 == 0) {
                            ASSERT_EQ(mirror.rows(), walk(filtered)) << "after row " << release.row;
                        }
                        // What the user sees counts the rows held back too.
                        for (std::uint32_t parent : {Document::NONE, rows[release.row].parent})
                            for (std::uint32_t n = 0; n < 3; ++n)
                                EXPECT_EQ(account_model_shown_child(filtered, parent, n),
                                          account_model_shown_child(whole, parent, n));
                    }
                    EXPECT_EQ(mirror.inserted, released);
                    EXPECT_EQ(mirror.rows(), expected);
                    EXPECT_FALSE(account_model_holds_back(filtered));
                    // And taken away again from the last, as a view with every row expanded lets go.
                    int removed = 0;
                    for (std::uint32_t last; (last = account_model_last_row(filtered)) != Document::NONE; ++removed) {
                        account_model_remove_last(filtered, last);
                        if (removed < 40 || removed % 7 == 0) {
                            ASSERT_EQ(mirror.rows(), walk(filtered)) << "after row " << last;
                        }
                    }
                    EXPECT_EQ(static_cast<std::size_t>(removed), expected.size());
                    EXPECT_TRUE(mirror.rows().empty());
                    if (bulk == 0) {
                        EXPECT_EQ(static_cast<std::size_t>(released),
                                  expected.size() - std::min<std::size_t>(first_rows, expected.size()))
                            << "every row alone";
                    }
                }
                g_object_unref(filtered);
            }
        }
        // Letting every row in at once (no view has the model) gives the same rows.
        GtkTreeModel* filtered = account_model_new_filtered(both.model(), shown);
        account_model_hold_back(filtered, 2);
        account_model_let_all_in(filtered);
        EXPECT_EQ(walk(filtered), expected);
        g_object_unref(filtered);
        g_object_unref(whole);
    }
}

// A window on one row's children: the model answers as the tree without the children held back, their
// places closed up, and the signals bring them in around it until the model is the whole tree again.
TEST_F(AccountModel, AWindowOnOneRowsChildrenLetsTheOthersInAroundIt)
{
    std::vector<std::string> values;
    for (int n = 0; n < 40; ++n)
        values.push_back("A;;srv;ssh;;user" + std::to_string(n) + ";p");
    values.push_back("A;;srv;ftp;;user40;p");
    values.push_back("B;;other;ssh;;u;p");
    for (int n = 0; n < 12; ++n)
        values.push_back("C;G" + std::to_string(n % 4) + ";s" + std::to_string(n) + ";ssh;;u;p");
    BothModels both(records_of(values), icon);
    const Document& document = *account_model_document(both.model());
    const auto& rows = document.rows();
    const std::vector<std::string> whole = walk(both.model());

    struct Window {
        const char* name;
        std::string parent_path; // in the whole tree
        std::uint32_t first, end;
    };
    const Window windows[] = {
        {"in the middle of users", "0:0:0", 10, 14},
        {"at the start", "0:0:0", 0, 5},
        {"at the end, and past it", "0:0:0", 37, 60},
        {"one child", "0:0:0", 20, 21},
        {"none at all", "0:0:0", 7, 7},
        {"on groups with children of their own", "2", 1, 2},
        {"every child is no window", "0:0", 0, 2},
    };
    for (const Window& w : windows) {
        SCOPED_TRACE(w.name);
        GtkTreeIter iter;
        ASSERT_TRUE(gtk_tree_model_get_iter_from_string(both.model(), &iter, w.parent_path.c_str()));
        const std::uint32_t parent = account_model_row(&iter);
        const std::uint32_t count = document.child_count(parent);
        account_model_open_window(both.model(), parent, w.first, w.end);
        const std::uint32_t end = std::min(w.end, count);
        EXPECT_EQ(account_model_holds_back_children(both.model()), end - w.first < count);

        // The whole tree without the children held back (and what is under them), renumbered.
        std::vector<std::string> expected;
        const std::string prefix = w.parent_path + ":";
        for (const std::string& line : whole) {
            if (line.rfind(prefix, 0) != 0) {
                expected.push_back(line);
                continue;
            }
            const std::size_t index_end = line.find_first_of(": ", prefix.size());
            const auto index = static_cast<std::uint32_t>(std::stoul(line.substr(prefix.size(), index_end - prefix.size())));
            if (index >= w.first && index < end)
                expected.push_back(prefix + std::to_string(index - w.first) + line.substr(index_end));
        }
        EXPECT_EQ(walk(both.model()), expected);
        for (std::uint32_t child = 0; child < count; ++child) {
            const std::uint32_t row = document.child(parent, child);
            EXPECT_EQ(account_model_has_row(both.model(), row), child >= w.first && child < end) << child;
        }

        Mirror mirror(both.model());
        int released = 0;
        for (AccountModelRelease release; (release = account_model_let_in_next(both.model(), 0)).row != Document::NONE;) {
            ++released;
            EXPECT_EQ(rows[release.row].parent, parent);
            EXPECT_EQ(release.has_children, document.child_count(release.row) > 0);
            ASSERT_EQ(mirror.rows(), walk(both.model())) << "after row " << release.row;
        }
        EXPECT_EQ(static_cast<std::uint32_t>(released), count - (end - std::min(w.first, end)));
        EXPECT_FALSE(account_model_holds_back_children(both.model()));
        EXPECT_EQ(mirror.rows(), whole);
    }
}

// A view lets go of its rows after the document has gone: the model keeps the tree's shape without a
// text, and takes its rows away from the last, each with what is under it, signalling each as a view
// needs it, with or without a window still open.
TEST_F(AccountModel, RowsTakenAwayFromTheLastAfterTheTextsAreGone)
{
    std::vector<std::string> values;
    for (int n = 0; n < 30; ++n)
        values.push_back("A;;srv;ssh;;user" + std::to_string(n) + ";p");
    for (int n = 0; n < 12; ++n)
        values.push_back("C" + std::to_string(n % 3) + ";G" + std::to_string(n % 2) + ";s" + std::to_string(n) + ";ssh;;u;p");
    for (bool with_window : {false, true}) {
        SCOPED_TRACE(with_window ? "a window open" : "no window");
        BothModels both(records_of(values), icon);
        GtkTreeModel* model = both.model();
        const Document& document = *account_model_document(model);
        if (with_window) {
            GtkTreeIter service;
            ASSERT_TRUE(gtk_tree_model_get_iter_from_string(model, &service, "0:0:0"));
            account_model_open_window(model, account_model_row(&service), 10, 20);
        }
        account_model_drop_texts(model);
        EXPECT_FALSE(document.has_texts());
        EXPECT_TRUE(document.plaintext().empty());
        EXPECT_TRUE(document.records().empty());
        GtkTreeIter row;
        ASSERT_TRUE(gtk_tree_model_get_iter_from_string(model, &row, "0:0:0:0"));
        gchar* text = nullptr;
        EntryRecord* record = nullptr;
        gtk_tree_model_get(model, &row, COL_TEXT, &text, COL_ENTRY, &record, -1);
        EXPECT_STREQ(text, "");
        EXPECT_EQ(record, nullptr);
        g_free(text);

        Mirror mirror(model);
        // Take rows away as a view showing every other customer collapsed would: those go whole, the
        // others a row at a time.
        const auto& rows = document.rows();
        for (std::uint32_t last; (last = account_model_last_row(model)) != Document::NONE;) {
            std::uint32_t top = last;
            while (rows[top].parent != Document::NONE)
                top = rows[top].parent;
            const std::uint32_t gone = rows[top].position % 2 ? top : last;
            ASSERT_TRUE(account_model_has_row(model, gone));
            account_model_remove_last(model, gone);
            ASSERT_EQ(mirror.rows(), walk(model)) << "after row " << gone;
        }
        EXPECT_EQ(gtk_tree_model_iter_n_children(model, nullptr), 0);
        EXPECT_TRUE(mirror.rows().empty());
        EXPECT_GT(mirror.deleted, 3);
    }
}

} // namespace
} // namespace sealkeep
