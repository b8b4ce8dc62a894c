// The loaded document: built line by line on the load's worker, read by the tree model and the actions.
#include "core/document.h"

#include "core/record_line.h"
#include "core/text_encoding.h"

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace sealkeep {

// A row of every account: kept small, it is most of what a load adds beside the plaintext.
static_assert(sizeof(Document::Row) == 24);

Document::Document(SettingsValues templates) : templates_(std::move(templates))
{
    static std::atomic<std::uint64_t> next_serial{1};
    serial_ = next_serial++;
}

// The plaintext and the rows' converted texts (customers, hosts, users) are overwritten by their buffers.
Document::~Document() = default;

Document::LineKind Document::add_line(std::string_view line)
{
    const auto number = static_cast<std::uint32_t>(lines_.size());
    if (plaintext_.size() + line.size() > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("the decrypted file is larger than 4 GiB");
    const std::size_t offset = plaintext_.size();
    lines_.push_back(Line{static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(line.size())});
    plaintext_.append(line);
    // The rows' texts are read where they now stand, so that a row can keep its text as a place in the
    // plaintext instead of a copy.
    line = plaintext_.view().substr(offset);
    // gpg may print its warnings on standard output too; such a line is kept but is no account.
    if (is_gpg_warning_line(line))
        return LineKind::GpgWarning;
    const auto keys = parse_record_keys(line);
    if (!keys)
        return LineKind::Unmatched;
    const auto record_number = static_cast<std::uint32_t>(records_.size());
    records_.push_back(EntryRecord(*this, number));
    add_record_line(state_, *this, *keys, record_number);
    ++accounts_;
    return LineKind::Record;
}

RowId Document::append_row(std::optional<RowId> parent, std::string_view text, const char* stock_id)
{
    const auto id = static_cast<std::uint32_t>(rows_.size());
    const std::uint32_t parent_row = parent ? static_cast<std::uint32_t>(*parent) : NONE;
    std::uint32_t position;
    std::uint8_t depth;
    if (parent_row == NONE) {
        position = static_cast<std::uint32_t>(top_.size());
        top_.push_back(id);
        depth = 0;
    } else {
        // Until finish(), a row's child_begin counts its children.
        position = rows_[parent_row].child_begin++;
        depth = static_cast<std::uint8_t>(rows_[parent_row].depth + 1);
    }
    Row row{parent_row, position, 0, 0, NONE, 0, depth, stock_id != nullptr, false};
    const auto start = reinterpret_cast<std::uintptr_t>(plaintext_.data());
    const auto at = reinterpret_cast<std::uintptr_t>(text.data());
    const bool in_plaintext = at >= start && at + text.size() <= start + plaintext_.size();
    if (in_plaintext && text.size() <= std::numeric_limits<std::uint16_t>::max() && is_valid_utf8(text)) {
        row.text = static_cast<std::uint32_t>(at - start);
        row.text_length = static_cast<std::uint16_t>(text.size());
    } else {
        // The toolkit shows UTF-8 only: other bytes are shown as Latin-1. (A record line has no NUL.)
        row.own_text = true;
        row.text = static_cast<std::uint32_t>(own_texts_.size());
        append_display_text(own_texts_, text);
        own_texts_.push_back('\0');
    }
    rows_.push_back(row);
    return id;
}

void Document::set_record(RowId row, std::uint32_t record)
{
    rows_[row].record = record;
}

void Document::finish()
{
    // Each parent's children side by side, in the order they were made: rows come in walk order, so
    // a parent's children are met in their order, and a child's slot is its parent's start plus its
    // position.
    std::uint32_t next = 0;
    for (Row& row : rows_) {
        const std::uint32_t count = row.child_begin;
        row.child_begin = next;
        next += count;
    }
    children_.append(next, NONE);
    for (std::uint32_t id = 0; id < rows_.size(); ++id) {
        const Row& row = rows_[id];
        if (row.parent != NONE)
            children_[rows_[row.parent].child_begin + row.position] = id;
    }
    // The tree rules' memory of the last line is no longer needed: its values go, overwritten.
    for (auto& value : state_.value) {
        scrub(value);
        value.shrink_to_fit();
    }
    state_.known = {};
}

std::uint32_t Document::child(std::uint32_t parent, std::uint32_t n) const
{
    if (parent == NONE)
        return n < top_.size() ? top_[n] : NONE;
    return n < child_count(parent) ? children_[rows_[parent].child_begin + n] : NONE;
}

std::uint32_t Document::child_count(std::uint32_t parent) const
{
    if (parent == NONE)
        return static_cast<std::uint32_t>(top_.size());
    const std::uint32_t end = parent + 1 < rows_.size() ? rows_[parent + 1].child_begin
                                                         : static_cast<std::uint32_t>(children_.size());
    return end - rows_[parent].child_begin;
}


const EntryRecord* Document::record_of(std::uint32_t row) const
{
    const std::uint32_t record = rows_[row].record;
    return record == NONE || !has_texts_ ? nullptr : &records_[record];
}

void Document::drop_texts()
{
    auto gone = std::make_unique<Document>();
    gone->plaintext_ = std::move(plaintext_);
    gone->own_texts_ = std::move(own_texts_);
    gone->lines_ = std::move(lines_);
    gone->records_ = std::move(records_);
    gone->state_ = std::move(state_);
    gone->templates_ = std::move(templates_);
    state_ = TreeBuildState{};
    has_texts_ = false;
    drop_document(std::move(gone));
}

namespace {

// Below this, overwriting takes well under a millisecond: not worth a thread's hand-over.
constexpr std::size_t DROP_AT_ONCE_BYTES = 1u << 20;

// One thread that drops documents in the order they come; started on first use, joined at exit.
class Disposal {
public:
    ~Disposal()
    {
        {
            std::lock_guard lock(mutex_);
            ending_ = true;
        }
        ready_.notify_one();
        if (worker_.joinable())
            worker_.join();
    }

    void drop(std::unique_ptr<Document> document)
    {
        {
            std::lock_guard lock(mutex_);
            waiting_.push_back(std::move(document));
            if (!worker_.joinable())
                worker_ = std::thread([this] { run(); });
        }
        ready_.notify_one();
    }

private:
    void run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            ready_.wait(lock, [this] { return ending_ || !waiting_.empty(); });
            if (waiting_.empty())
                return;
            std::unique_ptr<Document> next = std::move(waiting_.front());
            waiting_.pop_front();
            lock.unlock();
            next.reset();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::unique_ptr<Document>> waiting_;
    bool ending_ = false;
    std::thread worker_;
};

} // namespace

void drop_document(std::unique_ptr<Document> document)
{
    if (!document || document->plaintext().size() < DROP_AT_ONCE_BYTES)
        return;
    static Disposal disposal;
    disposal.drop(std::move(document));
}

} // namespace sealkeep
