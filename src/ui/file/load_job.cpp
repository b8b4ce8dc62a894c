// The load job: the worker runs gpg and the tree rules, this thread shows progress, a way to stop, and
// the one result. A cancelled job is kept until its worker has ended, so nothing waits for gpg here.
#include "ui/file/load_job.h"

#include "core/record_reader.h"
#include "core/text_encoding.h"
#include "ui/file/agent_cache.h"
#include "ui/file/open_file.h"
#include "ui/i18n.h"
#include "ui/settings/window_settings.h"
#include "ui/status/status_row.h"

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

std::string shown_path(const OpenFile& file)
{
    GCharPtr base{g_path_get_basename(file.settings.values.password_file_path.c_str())};
    GCharPtr shown{g_filename_display_name(base.get())};
    return shown.get();
}

gboolean on_progress(gpointer data)
{
    auto& file = *static_cast<OpenFile*>(data);
    if (!file.load_job)
        return G_SOURCE_CONTINUE;
    const std::size_t read = file.load_job->accounts_read();
    file.status.say(format(P_("Decrypting %s: %zu account read…", "Decrypting %s: %zu accounts read…", read),
                           shown_path(file).c_str(), read));
    return G_SOURCE_CONTINUE;
}

void set_loading(OpenFile& file, bool loading)
{
    file.status.show_stop(loading);
    guint& source = file.progress_source;
    if (loading && !source)
        source = g_timeout_add(PROGRESS_INTERVAL_MS, on_progress, &file);
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

void finish_load(OpenFile& file, LoadResult result)
{
    set_loading(file, false);
    file.status.say(verdict_text(result, expand_home(file.settings.values.password_file_path)));
    if (result.verdict.outcome == DecryptOutcome::Verified) {
        // The agent cached the key's passphrase on the way: without it the next load, an unlock among
        // them, would open the file whatever was typed. Other keys of the user stay cached.
        file.decryption_key = result.verdict.decryption_key;
        if (!file.decryption_key.empty())
            forget_key_passphrase(file.decryption_key);
    }
    file.loaded(std::move(result));
}

} // namespace

LoadJob::LoadJob(OpenFile& file, LoadRequest request) : file_(file)
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
    OpenFile& file = job->file_;
    if (file.load_job.get() == job && !job->cancelled_) {
        std::unique_ptr<LoadJob> done = std::move(file.load_job);
        finish_load(file, std::move(done->result_));
        return G_SOURCE_REMOVE;
    }
    // A cancelled job: its worker has ended, so it can go now, and all it read with it.
    std::erase_if(file.stopping, [job](const auto& stopping) { return stopping.get() == job; });
    return G_SOURCE_REMOVE;
}

void start_load_job(OpenFile& file, LoadRequest request)
{
    stop_load(file);
    file.load_job = std::make_unique<LoadJob>(file, std::move(request));
    // A short string keeps its bytes where it was moved from.
    scrub(request.decrypt.passphrase);
    set_loading(file, true);
    file.status.say(format(_("Decrypting %s…"), shown_path(file).c_str()));
    file.status.focus_stop();
}

bool stop_load(OpenFile& file)
{
    if (!file.load_job)
        return false;
    file.load_job->cancel();
    file.stopping.push_back(std::move(file.load_job));
    set_loading(file, false);
    file.status.say(_("Loading stopped."));
    return true;
}

bool load_running(const OpenFile& file)
{
    return file.load_job != nullptr;
}

void end_all_loads(OpenFile& file)
{
    if (file.load_job)
        file.load_job->cancel();
    for (auto& job : file.stopping)
        job->cancel();
    file.load_job.reset();
    file.stopping.clear();
    set_loading(file, false);
}

} // namespace sealkeep
