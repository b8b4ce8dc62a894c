// The load as a job beside the main loop: gpg and the parsing run on a worker thread, the window keeps
// drawing and answering, and the result comes back once, on the main thread.
#pragma once

#include "core/account_load.h"

#include <glib.h>

#include <atomic>
#include <cstddef>
#include <string>
#include <thread>

namespace sealkeep {

struct OpenFile;

class LoadJob {
public:
    // Starts the worker at once. When it ends, the file's `loaded` runs on the main thread with the
    // result (unless the job was cancelled or destroyed first).
    LoadJob(OpenFile& file, LoadRequest request);
    LoadJob(const LoadJob&) = delete;
    LoadJob& operator=(const LoadJob&) = delete;
    // Cancels and waits for the worker, which ends within about half a second whatever gpg does.
    ~LoadJob();

    void cancel();
    bool cancelled() const { return cancelled_; }
    std::size_t accounts_read() const { return accounts_read_.load(std::memory_order_relaxed); }
    LoadResult& result() { return result_; }

private:
    static gboolean on_worker_done(gpointer job);

    OpenFile& file_;
    GpgDecryption decryption_;
    std::atomic<std::size_t> accounts_read_{0};
    LoadResult result_;
    bool cancelled_ = false;
    guint done_source_ = 0; // written by the worker before it ends, read on the main thread after
    std::thread worker_;
};

// Cancels a running load and starts this one; its progress shows in the status row until it ends. The
// passphrase is overwritten once gpg has it.
void start_load_job(OpenFile& file, LoadRequest request);

// Cancels the running load, if any: gpg is ended and nothing of the load stays. Returns whether one ran.
bool stop_load(OpenFile& file);

bool load_running(const OpenFile& file);

// Cancels every load and waits for their workers (at exit).
void end_all_loads(OpenFile& file);

} // namespace sealkeep
