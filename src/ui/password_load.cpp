// Showing a verified load. The rows were made on the load's worker; this thread puts them into the store
// in one pass with the view detached, and keeps the records they point at.
#include "ui/password_load.h"

#include "ui/entry_store.h"
#include "ui/glib_ptr.h"
#include "ui/main_window.h"
#include "ui/search_bar.h"

#include <cstring>
#include <utility>
#include <vector>

namespace sealkeep {

namespace {

// Puts the rows into the store as they come. A GtkTreeStore works out the path of every row it inserts
// by walking the earlier siblings of the row and of each ancestor, so appending customers at the end
// would cost rows x customers: each new customer goes in first instead, so that the rows under it are
// added while it stands at index 0, and the customers are put back in file order at the end.
class StoreFiller {
public:
    StoreFiller(GtkTreeStore* store, GtkWidget* widget) : store_(store), widget_(widget)
    {
        g_value_init(&values_[0], GDK_TYPE_PIXBUF);
        g_value_init(&values_[1], G_TYPE_STRING);
        g_value_init(&values_[2], G_TYPE_POINTER);
    }

    ~StoreFiller()
    {
        for (GValue& value : values_)
            g_value_unset(&value);
    }

    void add(const LoadedRows& rows)
    {
        iters_.reserve(rows.rows().size());
        search_.depths.reserve(rows.rows().size());
        for (const LoadedRows::Row& row : rows.rows())
            insert(row, rows.text(row));
        // What the search walks: the texts in the order rows were made, which is the order of a walk of
        // the finished tree (a new row always goes under the newest row of the level above).
        search_.texts = rows.lowered_texts();
    }

    // Customers back in file order; they stand before any row the store held already.
    void finish()
    {
        if (customers_ == 0)
            return;
        const gint total = gtk_tree_model_iter_n_children(GTK_TREE_MODEL(store_), nullptr);
        std::vector<gint> new_order(static_cast<std::size_t>(total));
        for (gint position = 0; position < total; ++position)
            new_order[position] = position < customers_ ? customers_ - 1 - position : position;
        gtk_tree_store_reorder(store_, nullptr, new_order.data());
    }

    bool empty() const { return iters_.empty(); }

    // Kept until the next load: without the spare room that growing them batch by batch left.
    SearchRows take_search_rows()
    {
        search_.texts.shrink_to_fit();
        search_.depths.shrink_to_fit();
        return std::move(search_);
    }

private:
    void insert(const LoadedRows::Row& step, const char* text)
    {
        // Only the columns a row has are set: a cell left unset reads as null. The text is handed over
        // without a copy of its own; the store makes the one it keeps.
        static constexpr gint COLUMNS[] = {COL_ICON, COL_TEXT, COL_ENTRY};
        const bool top = step.parent == LoadedRows::TOP;
        const bool has_icon = step.stock_id != nullptr;
        g_value_set_static_string(&values_[1], text);
        if (has_icon)
            g_value_set_object(&values_[0], icon_for(step.stock_id));
        if (step.record)
            g_value_set_pointer(&values_[2], step.record);
        const gint first = has_icon ? 0 : 1;
        const gint last = step.record ? 2 : 1;
        GtkTreeIter iter;
        gtk_tree_store_insert_with_valuesv(store_, &iter, top ? nullptr : &iters_[step.parent], top ? 0 : -1,
                                           const_cast<gint*>(COLUMNS + first), values_ + first, last - first + 1);
        if (has_icon)
            g_value_set_object(&values_[0], nullptr);
        // Rows of a store keep their iterators while other rows come and go.
        iters_.push_back(iter);
        search_.depths.push_back(step.depth);
        if (top)
            ++customers_;
    }

    // Each stock icon is rendered once per load and shared by every row that shows it.
    GdkPixbuf* icon_for(const char* stock_id)
    {
        for (const auto& [id, icon] : icons_)
            if (std::strcmp(id, stock_id) == 0)
                return icon.get();
        icons_.emplace_back(stock_id,
                            take_ref(gtk_widget_render_icon(widget_, stock_id, GTK_ICON_SIZE_MENU, nullptr)));
        return icons_.back().second.get();
    }

    GtkTreeStore* store_;
    GtkWidget* widget_;
    std::vector<GtkTreeIter> iters_;
    SearchRows search_;
    gint customers_ = 0;
    GValue values_[3] = {G_VALUE_INIT, G_VALUE_INIT, G_VALUE_INIT};
    std::vector<std::pair<const char*, RefPtr<GdkPixbuf>>> icons_;
};

} // namespace

bool show_loaded_rows(MainWindow& main, LoadedRows rows)
{
    GtkTreeStore* store = main.store;
    // The texts handed to the search describe the whole store only when the store held nothing before.
    const bool was_empty = gtk_tree_model_iter_n_children(GTK_TREE_MODEL(store), nullptr) == 0;
    // A view attached while the rows go in would update itself for every row.
    GtkTreeView* view = main.tree_view;
    const bool detach = view && gtk_tree_view_get_model(view) == GTK_TREE_MODEL(store);
    RefPtr<GtkTreeStore> keep = make_ref(store);
    if (detach)
        gtk_tree_view_set_model(view, nullptr);

    StoreFiller filler(store, main.window);
    filler.add(rows);
    filler.finish();

    if (detach)
        gtk_tree_view_set_model(view, GTK_TREE_MODEL(store));
    if (was_empty && !filler.empty())
        set_search_rows(main.search, GTK_TREE_MODEL(store), filler.take_search_rows());
    // The rows point at these records: they stay with the window until the next clear.
    EntryRecords& records = rows.records();
    if (main.records.empty()) {
        main.records = std::move(records);
    } else {
        for (auto& record : records)
            main.records.push_back(std::move(record));
        records.clear();
    }
    return !filler.empty();
}

} // namespace sealkeep
