// The agent's cache entry of one key, cleared in two asynchronous steps: gpg names the keygrip of the
// decryption key, gpg-connect-agent sends CLEAR_PASSPHRASE for it. Nothing here waits.
#include "ui/file/agent_cache.h"

#include "core/gpg_agent.h"
#include "ui/glib_ptr.h"

#include <gio/gio.h>

#include <memory>
#include <vector>

namespace sealkeep {

namespace {

struct ForgetJob {
    std::string fingerprint;
    std::function<void()> done;
};

void finish(std::unique_ptr<ForgetJob> job)
{
    if (job->done)
        job->done();
}

GSubprocess* spawn(const std::vector<std::string>& arguments, GSubprocessFlags flags)
{
    std::vector<const gchar*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(argument.c_str());
    argv.push_back(nullptr);
    return g_subprocess_newv(argv.data(), flags, nullptr);
}

void on_cleared(GObject* source, GAsyncResult* result, gpointer data)
{
    std::unique_ptr<ForgetJob> job{static_cast<ForgetJob*>(data)};
    RefPtr<GSubprocess> process = take_ref(G_SUBPROCESS(source));
    g_subprocess_wait_finish(process.get(), result, nullptr);
    finish(std::move(job));
}

void on_listed(GObject* source, GAsyncResult* result, gpointer data)
{
    std::unique_ptr<ForgetJob> job{static_cast<ForgetJob*>(data)};
    RefPtr<GSubprocess> lister = take_ref(G_SUBPROCESS(source));
    gchar* raw = nullptr;
    g_subprocess_communicate_utf8_finish(lister.get(), result, &raw, nullptr, nullptr);
    GCharPtr listing{raw};
    const std::string keygrip = listing ? keygrip_of(listing.get(), job->fingerprint) : std::string();
    if (keygrip.empty())
        return finish(std::move(job));
    const auto silent = static_cast<GSubprocessFlags>(G_SUBPROCESS_FLAGS_STDOUT_SILENCE |
                                                      G_SUBPROCESS_FLAGS_STDERR_SILENCE);
    GSubprocess* clearer = spawn(clear_passphrase_arguments(keygrip), silent);
    if (!clearer)
        return finish(std::move(job));
    // The process reference goes with the callback, which takes it back.
    g_subprocess_wait_async(clearer, nullptr, on_cleared, job.release());
}

} // namespace

void forget_key_passphrase(const std::string& fingerprint, std::function<void()> done)
{
    auto job = std::make_unique<ForgetJob>(ForgetJob{fingerprint, std::move(done)});
    const auto flags = static_cast<GSubprocessFlags>(G_SUBPROCESS_FLAGS_STDOUT_PIPE | G_SUBPROCESS_FLAGS_STDERR_SILENCE);
    GSubprocess* lister = spawn(keygrip_query_arguments("gpg", fingerprint), flags);
    if (!lister)
        return finish(std::move(job));
    g_subprocess_communicate_utf8_async(lister, nullptr, nullptr, on_listed, job.release());
}

} // namespace sealkeep
