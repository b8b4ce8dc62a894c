// The whole load: the reading loop feeds the tree building, whose rows are gathered first and then
// put into the store in one pass whose cost grows with the number of rows alone.
#include "db/password_load.h"

#include "app/glib_ptr.h"
#include "db/entry_store.h"
#include "db/text_encoding.h"
#include "db/tree_building.h"
#include "ui/main_window.h"

#include <limits>
#include <vector>

namespace sealkeep {

namespace {

constexpr RowId NO_ROW = std::numeric_limits<RowId>::max();

// The rows of one load, as a tree of indices. A GtkTreeStore works out the path of every row it
// inserts by walking the earlier siblings of the row and of each ancestor, so appending row by row
// costs rows x customers. Inserting every row at position 0, children in reverse order and each
// subtree right after its root, keeps every ancestor at index 0 while its subtree goes in.
class PendingRows : public RowSink {
public:
    RowId append_row(std::optional<RowId> parent, const std::string& text, const char* stock_id) override
    {
        RowId id = rows_.size();
        rows_.push_back(Row{text, stock_id, nullptr, NO_ROW, NO_ROW});
        RowId& last = parent ? rows_[*parent].last_child : last_top_level_;
        rows_[id].previous_sibling = last;
        last = id;
        return id;
    }

    void set_record(RowId row, EntryRecord* record) override { rows_[row].record = record; }

    bool empty() const { return rows_.empty(); }

    void insert_into(GtkTreeStore* store)
    {
        GtkWidget* window = main_window();
        customer_icon_ = take_ref(gtk_widget_render_icon(window, CUSTOMER_ICON, GTK_ICON_SIZE_MENU, nullptr));
        insert_children(store, nullptr, last_top_level_);
    }

private:
    struct Row {
        std::string text;
        const char* stock_id;
        EntryRecord* record;
        RowId last_child;
        RowId previous_sibling;
    };

    void insert_children(GtkTreeStore* store, GtkTreeIter* parent, RowId last_child)
    {
        for (RowId id = last_child; id != NO_ROW; id = rows_[id].previous_sibling) {
            Row& row = rows_[id];
            GdkPixbuf* icon = row.stock_id ? icon_for(row.stock_id) : nullptr;
            // Bytes that are not UTF-8 are shown as Latin-1; the common case passes through uncopied.
            std::string converted;
            const char* text = row.text.c_str();
            if (!g_utf8_validate(row.text.data(), static_cast<gssize>(row.text.size()), nullptr)) {
                converted = display_text(row.text);
                text = converted.c_str();
            }
            GtkTreeIter iter;
            gtk_tree_store_insert_with_values(store, &iter, parent, 0, COL_ICON, icon, COL_TEXT, text, COL_ENTRY,
                                              row.record, -1);
            insert_children(store, &iter, row.last_child);
        }
    }

    GdkPixbuf* icon_for(const char* stock_id)
    {
        if (stock_id == CUSTOMER_ICON)
            return customer_icon_.get();
        other_icons_.push_back(take_ref(gtk_widget_render_icon(main_window(), stock_id, GTK_ICON_SIZE_MENU, nullptr)));
        return other_icons_.back().get();
    }

    std::vector<Row> rows_;
    RowId last_top_level_ = NO_ROW;
    RefPtr<GdkPixbuf> customer_icon_;
    std::vector<RefPtr<GdkPixbuf>> other_icons_;
};

} // namespace

int load_into_store(GtkTreeStore* store, const std::function<int(const AddLine&)>& read)
{
    PendingRows rows;
    TreeBuildState state;
    int result = read([&](const RecordLine& line) { add_record_line(state, rows, line); });
    if (rows.empty())
        return result;

    // A view attached while the rows go in would update itself for every row.
    GtkTreeView* view = entry_tree_view();
    bool detach = view && gtk_tree_view_get_model(view) == GTK_TREE_MODEL(store);
    RefPtr<GtkTreeStore> keep = make_ref(store);
    if (detach)
        gtk_tree_view_set_model(view, nullptr);
    rows.insert_into(store);
    if (detach)
        gtk_tree_view_set_model(view, GTK_TREE_MODEL(store));
    return result;
}

int load_password_file(GtkTreeStore* store)
{
    return load_into_store(store, [](const AddLine& add_line) { return read_record_lines(add_line); });
}

} // namespace sealkeep
