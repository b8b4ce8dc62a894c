// The whole load. The reading loop and the tree building run on a thread of their own and hand the rows
// over in batches, while this thread puts them into the store: reading, parsing and filling the store
// overlap instead of following each other. Nothing but the store and the view is touched by this thread
// during the load, and nothing of the toolkit by the other.
#include "ui/password_load.h"

#include "ui/glib_ptr.h"
#include "ui/entry_store.h"
#include "core/text_encoding.h"
#include "core/tree_building.h"
#include "ui/main_window.h"
#include "ui/search_bar.h"
#include "core/search_text.h"

#include <condition_variable>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace sealkeep {

namespace {

constexpr std::uint32_t NO_INDEX = std::numeric_limits<std::uint32_t>::max();
constexpr std::size_t BATCH_ROWS = 2048;

// One step for the store: a new row (in the order rows are made), or a record for a row made earlier.
struct RowStep {
    std::uint32_t row;
    std::uint32_t parent; // NO_INDEX: top level
    std::uint32_t text;   // offset of the row's NUL-terminated text in its batch
    bool new_row;
    const char* stock_id;
    EntryRecord* record;
};

struct RowBatch {
    std::string texts;
    std::string lowered_texts; // the same, A-Z lowered, for the search
    std::vector<RowStep> steps;
};

// The hand-over between the reading thread and this one.
class RowChannel {
public:
    void send(RowBatch batch)
    {
        {
            std::lock_guard lock(mutex_);
            batches_.push_back(std::move(batch));
        }
        ready_.notify_one();
    }

    void close()
    {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
        }
        ready_.notify_one();
    }

    // The next batch; false once the channel is closed and empty.
    bool receive(RowBatch& batch)
    {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return closed_ || !batches_.empty(); });
        if (batches_.empty())
            return false;
        batch = std::move(batches_.front());
        batches_.pop_front();
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<RowBatch> batches_;
    bool closed_ = false;
};

// The tree building's rows, on the reading thread, sent on in batches.
class SentRows : public RowSink {
public:
    explicit SentRows(RowChannel& channel) : channel_(channel) {}

    RowId append_row(std::optional<RowId> parent, const std::string& text, const char* stock_id) override
    {
        if (batch_.steps.size() >= BATCH_ROWS)
            flush();
        const std::uint32_t id = next_row_++;
        batch_.steps.push_back(RowStep{id, parent ? static_cast<std::uint32_t>(*parent) : NO_INDEX,
                                       static_cast<std::uint32_t>(batch_.texts.size()), true, stock_id, nullptr});
        // The store takes a text up to its first NUL and shows UTF-8 only: other bytes are shown as Latin-1.
        const std::string_view shown(text.c_str());
        if (g_utf8_validate(shown.data(), static_cast<gssize>(shown.size()), nullptr))
            batch_.texts.append(shown);
        else
            batch_.texts.append(display_text(shown));
        batch_.texts.push_back('\0');
        return id;
    }

    void set_record(RowId row, EntryRecord* record) override
    {
        // Usually the row just made; the root shortcut's server row may have gone in an earlier batch.
        if (!batch_.steps.empty() && batch_.steps.back().row == row && batch_.steps.back().new_row)
            batch_.steps.back().record = record;
        else
            batch_.steps.push_back(RowStep{static_cast<std::uint32_t>(row), NO_INDEX, 0, false, nullptr, record});
    }

    void flush()
    {
        if (batch_.steps.empty())
            return;
        batch_.lowered_texts = ascii_lower(batch_.texts);
        channel_.send(std::move(batch_));
        batch_ = RowBatch{};
        batch_.steps.reserve(BATCH_ROWS + 8);
    }

private:
    RowChannel& channel_;
    RowBatch batch_;
    std::uint32_t next_row_ = 0;
};

// Puts the rows into the store as they come. A GtkTreeStore works out the path of every row it inserts
// by walking the earlier siblings of the row and of each ancestor, so appending customers at the end
// would cost rows x customers: each new customer goes in first instead, so that the rows under it are
// added while it stands at index 0, and the customers are put back in file order at the end.
class StoreFiller {
public:
    explicit StoreFiller(GtkTreeStore* store) : store_(store)
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

    void add(const RowBatch& batch)
    {
        for (const RowStep& step : batch.steps) {
            if (step.new_row) {
                insert(step, batch.texts.data() + step.text);
            } else {
                gtk_tree_store_set(store_, &iters_[step.row], COL_ENTRY, step.record, -1);
            }
        }
        // What the search walks: the texts in the order rows were made, which is the order of a walk of
        // the finished tree (a new row always goes under the newest row of the level above).
        search_.texts += batch.lowered_texts;
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
    void insert(const RowStep& step, const char* text)
    {
        // Only the columns a row has are set: a cell left unset reads as null. The text is handed over
        // without a copy of its own; the store makes the one it keeps.
        static constexpr gint COLUMNS[] = {COL_ICON, COL_TEXT, COL_ENTRY};
        const bool top = step.parent == NO_INDEX;
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
        search_.depths.push_back(top ? 0 : static_cast<std::uint8_t>(search_.depths[step.parent] + 1));
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
                            take_ref(gtk_widget_render_icon(main_window(), stock_id, GTK_ICON_SIZE_MENU, nullptr)));
        return icons_.back().second.get();
    }

    GtkTreeStore* store_;
    std::vector<GtkTreeIter> iters_;
    SearchRows search_;
    gint customers_ = 0;
    GValue values_[3] = {G_VALUE_INIT, G_VALUE_INIT, G_VALUE_INIT};
    std::vector<std::pair<const char*, RefPtr<GdkPixbuf>>> icons_;
};

} // namespace

int load_into_store(GtkTreeStore* store, const std::function<int(const AddLine&)>& read)
{
    // The texts handed to the search describe the whole store only when the store held nothing before.
    const bool was_empty = gtk_tree_model_iter_n_children(GTK_TREE_MODEL(store), nullptr) == 0;
    // A view attached while the rows go in would update itself for every row.
    GtkTreeView* view = entry_tree_view();
    const bool detach = view && gtk_tree_view_get_model(view) == GTK_TREE_MODEL(store);
    RefPtr<GtkTreeStore> keep = make_ref(store);
    if (detach)
        gtk_tree_view_set_model(view, nullptr);

    RowChannel channel;
    int result = 0;
    // The reading thread makes the records (entry_list is not touched here until it has ended) and
    // writes the load's warnings; this thread only fills the store.
    std::thread reader([&] {
        SentRows rows(channel);
        TreeBuildState state;
        result = read([&](const RecordLine& line) { add_record_line(state, rows, line); });
        rows.flush();
        channel.close();
    });
    StoreFiller filler(store);
    RowBatch batch;
    while (channel.receive(batch))
        filler.add(batch);
    reader.join();
    filler.finish();

    if (detach)
        gtk_tree_view_set_model(view, GTK_TREE_MODEL(store));
    if (was_empty && !filler.empty())
        set_search_rows(GTK_TREE_MODEL(store), filler.take_search_rows());
    // The records are all made: the list's spare room would only be kept until the next clear.
    entry_list.shrink_to_fit();
    return result;
}

int load_password_file(GtkTreeStore* store)
{
    return load_into_store(store, [](const AddLine& add_line) { return read_record_lines(add_line); });
}

} // namespace sealkeep
