// The whole load: the reading loop feeds the tree building, whose rows are gathered first and then
// put into the store in one pass whose cost grows with the number of rows alone.
#include "db/password_load.h"

#include "app/glib_ptr.h"
#include "db/entry_store.h"
#include "db/text_encoding.h"
#include "db/tree_building.h"
#include "ui/main_window.h"
#include "ui/search_bar.h"
#include "ui/search_text.h"

#include <limits>
#include <vector>

namespace sealkeep {

namespace {

constexpr std::uint32_t NO_INDEX = std::numeric_limits<std::uint32_t>::max();

// The rows of one load, as a tree of indices. A GtkTreeStore works out the path of every row it
// inserts by walking the earlier siblings of the row and of each ancestor, so appending row by row
// costs rows x customers. Inserting every row at position 0, children in reverse order and each
// subtree right after its root, keeps every ancestor at index 0 while its subtree goes in.
//
// Rows are made in the order a walk of the finished tree visits them (each row before its children):
// a new row always goes under the newest row of the level above. So the texts, kept one after the
// other in that order, are also what a search walks, and they are handed to it once lowered.
class PendingRows : public RowSink {
public:
    RowId append_row(std::optional<RowId> parent, const std::string& text, const char* stock_id) override
    {
        const auto id = static_cast<std::uint32_t>(rows_.size());
        const auto parent_id = parent ? static_cast<std::uint32_t>(*parent) : NO_INDEX;
        std::uint32_t& last = parent ? rows_[*parent].last_child : last_top_level_;
        const std::uint32_t previous_sibling = last;
        last = id;
        // After the update: the push may move the rows, and `last` may be one of them.
        rows_.push_back(
            Row{static_cast<std::uint32_t>(texts_.size()), parent_id, previous_sibling, NO_INDEX, stock_id, nullptr});
        // The store takes a text up to its first NUL, and a NUL must not end a row early for the search
        // either; and the store shows UTF-8 only: bytes that are not are shown as Latin-1.
        const std::string_view shown(text.c_str());
        if (g_utf8_validate(shown.data(), static_cast<gssize>(shown.size()), nullptr))
            texts_.append(shown);
        else
            texts_.append(display_text(shown));
        // The NUL ends the row's text for the store, and keeps a search text from matching across rows.
        texts_.push_back('\0');
        return id;
    }

    void set_record(RowId row, EntryRecord* record) override { rows_[row].record = record; }

    bool empty() const { return rows_.empty(); }

    void insert_into(GtkTreeStore* store)
    {
        customer_icon_ = take_ref(gtk_widget_render_icon(main_window(), CUSTOMER_ICON, GTK_ICON_SIZE_MENU, nullptr));
        g_value_init(&values_[0], GDK_TYPE_PIXBUF);
        g_value_init(&values_[1], G_TYPE_STRING);
        g_value_init(&values_[2], G_TYPE_POINTER);
        insert_children(store, nullptr, last_top_level_);
        for (GValue& value : values_)
            g_value_unset(&value);
    }

    // The row texts in walk order, lowered, and each row's depth: what a search needs.
    SearchRows take_search_rows()
    {
        SearchRows search;
        search.depths.reserve(rows_.size());
        for (const Row& row : rows_)
            search.depths.push_back(row.parent == NO_INDEX ? 0
                                                           : static_cast<std::uint8_t>(search.depths[row.parent] + 1));
        search.texts = ascii_lower(texts_);
        std::string().swap(texts_);
        return search;
    }

private:
    // 32-bit links keep the rows of a large file small; a file of four billion rows would not load anyway.
    struct Row {
        std::uint32_t text;
        std::uint32_t parent;
        std::uint32_t previous_sibling;
        std::uint32_t last_child;
        const char* stock_id;
        EntryRecord* record;
    };

    void insert_children(GtkTreeStore* store, GtkTreeIter* parent, std::uint32_t last_child)
    {
        // Only the columns a row has are set: a cell left unset reads as null, like one set to null,
        // and the store keeps no cell for a trailing column never set. The text is handed over without
        // a copy of its own; the store makes the one it keeps.
        static constexpr gint COLUMNS[] = {COL_ICON, COL_TEXT, COL_ENTRY};
        for (std::uint32_t id = last_child; id != NO_INDEX; id = rows_[id].previous_sibling) {
            const Row& row = rows_[id];
            const bool has_icon = row.stock_id != nullptr;
            g_value_set_static_string(&values_[1], texts_.data() + row.text);
            if (has_icon)
                g_value_set_object(&values_[0], icon_for(row.stock_id));
            if (row.record)
                g_value_set_pointer(&values_[2], row.record);
            const gint first = has_icon ? 0 : 1;
            const gint last = row.record ? 2 : 1;
            GtkTreeIter iter;
            gtk_tree_store_insert_with_valuesv(store, &iter, parent, 0, const_cast<gint*>(COLUMNS + first),
                                               values_ + first, last - first + 1);
            if (has_icon)
                g_value_set_object(&values_[0], nullptr);
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
    std::string texts_;
    std::uint32_t last_top_level_ = NO_INDEX;
    GValue values_[3] = {G_VALUE_INIT, G_VALUE_INIT, G_VALUE_INIT};
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

    // The texts handed to the search describe the whole store only when the store held nothing before.
    const bool was_empty = gtk_tree_model_iter_n_children(GTK_TREE_MODEL(store), nullptr) == 0;
    // A view attached while the rows go in would update itself for every row.
    GtkTreeView* view = entry_tree_view();
    bool detach = view && gtk_tree_view_get_model(view) == GTK_TREE_MODEL(store);
    RefPtr<GtkTreeStore> keep = make_ref(store);
    if (detach)
        gtk_tree_view_set_model(view, nullptr);
    rows.insert_into(store);
    if (detach)
        gtk_tree_view_set_model(view, GTK_TREE_MODEL(store));
    if (was_empty)
        set_search_rows(GTK_TREE_MODEL(store), rows.take_search_rows());
    // The records are all made: the list's spare room would only be kept until the next clear.
    entry_list.shrink_to_fit();
    return result;
}

int load_password_file(GtkTreeStore* store)
{
    return load_into_store(store, [](const AddLine& add_line) { return read_record_lines(add_line); });
}

} // namespace sealkeep
