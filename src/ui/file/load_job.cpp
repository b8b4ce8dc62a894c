// The load job: the worker runs gpg and the tree rules, this thread shows progress, a way to stop, and
// the one result. A cancelled job is kept until its worker has ended, so nothing waits for gpg here.
#include "ui/file/load_job.h"

#include "core/record_reader.h"
#include "core/text_encoding.h"
#include "ui/file/agent_cache.h"
#include "ui/file/save_job.h"
#include "ui/i18n.h"
#include "ui/lock/lock.h"
#include "ui/tree/tree_shape.h"
#include "ui/prompt/passphrase_prompt.h"
#include "ui/tree/entry_store.h"
#include "ui/window/document_events.h"
#include "ui/tree/password_load.h"
#include "ui/window/main_window.h"

#include <algorithm>
#include <utility>

namespace sealkeep {

namespace {

constexpr guint PROGRESS_INTERVAL_MS = 100;

std::string format(const char* format_text, auto... values)
{
    GCharPtr text{g_strdup_printf(format_text, values...)};
    return text.get();
}

std::string shown_path(const MainWindow& main)
{
    GCharPtr base{g_path_get_basename(main.settings.values.password_file_path.c_str())};
    GCharPtr shown{g_filename_display_name(base.get())};
    return shown.get();
}

gboolean on_progress(gpointer data)
{
    auto& main = *static_cast<MainWindow*>(data);
    if (!main.load)
        return G_SOURCE_CONTINUE;
    const std::size_t read = main.load->accounts_read();
    show_status(main, format(P_("Decrypting %s: %zu account read…", "Decrypting %s: %zu accounts read…", read),
                             shown_path(main).c_str(), read));
    return G_SOURCE_CONTINUE;
}

void set_loading(MainWindow& main, bool loading)
{
    main.status.show_stop(loading);
    guint& source = main.progress_source;
    if (loading && !source)
        source = g_timeout_add(PROGRESS_INTERVAL_MS, on_progress, &main);
    if (!loading && source) {
        g_source_remove(source);
        source = 0;
    }
}

// gpg's words fit one line of the status bar: a file name in them may be in any encoding, and a
// message of gpg's has no set length.
std::string one_line(const std::string& text)
{
    constexpr glong MAX_CHARS = 200;
    GCharPtr valid{g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()))};
    std::string line = valid.get();
    std::replace(line.begin(), line.end(), '\n', ' ');
    if (g_utf8_strlen(line.c_str(), -1) > MAX_CHARS)
        line =
            line.substr(0, static_cast<std::size_t>(g_utf8_offset_to_pointer(line.c_str(), MAX_CHARS) - line.c_str())) +
            "…";
    return line;
}

// The status line of a load that ended on its own. gpg has no words of its own for a folder given as the
// file ("Unknown system error"), so that case is named here.
std::string verdict_text(const LoadResult& result, const std::string& path)
{
    const DecryptVerdict& verdict = result.verdict;
    if (verdict.outcome != DecryptOutcome::Verified && g_file_test(path.c_str(), G_FILE_TEST_IS_DIR)) {
        GCharPtr shown{g_filename_display_name(path.c_str())};
        return format(_("Not loaded: '%s' is a folder, not a password file"), shown.get());
    }
    if (verdict.outcome != DecryptOutcome::Verified)
        return format(_("Not loaded: %s"), verdict.reason.empty() ? _("gpg failed") : one_line(verdict.reason).c_str());
    const std::size_t accounts = result.document ? result.document->accounts() : 0;
    std::string text = format(P_("%zu account loaded.", "%zu accounts loaded.", accounts), accounts);
    if (!verdict.signature_note.empty())
        text.append(" ").append(format(_("Signature not checked: %s"), one_line(verdict.signature_note).c_str()));
    return text;
}

void finish_load(MainWindow& main, LoadResult result)
{
    set_loading(main, false);
    show_status(main, verdict_text(result, expand_home(main.settings.values.password_file_path)));
    if (result.verdict.outcome == DecryptOutcome::Verified) {
        // The agent cached the key's passphrase on the way: without it the next load, an unlock among
        // them, would open the file whatever was typed. Other keys of the user stay cached.
        main.lock.decryption_key = result.verdict.decryption_key;
        if (!main.lock.decryption_key.empty())
            forget_key_passphrase(main.lock.decryption_key);
        main.tree.database_loaded = result.document && result.document->accounts() > 0;
        show_loaded_rows(main, std::move(result.document));
        remember_loaded_file(main, std::move(result.file));
        show_held_edits(main);
        restore_tree_shape(main.tree);
        gtk_widget_grab_focus(GTK_WIDGET(main.search_entry));
        return;
    }
    if (result.verdict.outcome == DecryptOutcome::BadPassphrase)
        ask_passphrase_again(main);
}

} // namespace

LoadJob::LoadJob(MainWindow& main, LoadRequest request) : main_(main)
{
    worker_ = std::thread([this, request = std::move(request)]() mutable {
        result_ = load_accounts(decryption_, std::move(request), accounts_read_);
        scrub(request.decrypt.passphrase);
        // The only thing the worker does to the main thread: ask it to take the result.
        done_source_ = g_idle_add(on_worker_done, this);
    });
    scrub(request.decrypt.passphrase);
}

LoadJob::~LoadJob()
{
    cancel();
    if (worker_.joinable())
        worker_.join();
    if (done_source_)
        g_source_remove(done_source_);
}

void LoadJob::cancel()
{
    cancelled_ = true;
    decryption_.cancel();
}

gboolean LoadJob::on_worker_done(gpointer data)
{
    auto* job = static_cast<LoadJob*>(data);
    // The worker wrote done_source_ after queueing this call: only after the join is it safe to clear.
    job->worker_.join();
    job->done_source_ = 0;
    MainWindow& main = job->main_;
    if (main.load.get() == job && !job->cancelled_) {
        std::unique_ptr<LoadJob> done = std::move(main.load);
        finish_load(main, std::move(done->result_));
        return G_SOURCE_REMOVE;
    }
    // A cancelled job: its worker has ended, so it can go now, and all it read with it.
    std::erase_if(main.stopping, [job](const auto& stopping) { return stopping.get() == job; });
    return G_SOURCE_REMOVE;
}

void start_load(MainWindow& main, std::string passphrase)
{
    stop_load(main);
    clear_document(main);

    LoadRequest request;
    request.decrypt.path = expand_home(main.settings.values.password_file_path);
    request.decrypt.passphrase = std::move(passphrase);
    request.templates = main.settings.values;
    main.load = std::make_unique<LoadJob>(main, std::move(request));
    // A short string keeps its bytes where it was moved from.
    scrub(passphrase);
    scrub(request.decrypt.passphrase);

    set_loading(main, true);
    show_status(main, format(_("Decrypting %s…"), shown_path(main).c_str()));
    main.status.focus_stop();
}

bool stop_load(MainWindow& main)
{
    if (!main.load)
        return false;
    main.load->cancel();
    main.stopping.push_back(std::move(main.load));
    set_loading(main, false);
    show_status(main, _("Loading stopped."));
    return true;
}

bool load_running(const MainWindow& main)
{
    return main.load != nullptr;
}

void end_all_loads(MainWindow& main)
{
    if (main.load)
        main.load->cancel();
    for (auto& job : main.stopping)
        job->cancel();
    main.load.reset();
    main.stopping.clear();
    set_loading(main, false);
}

} // namespace sealkeep
