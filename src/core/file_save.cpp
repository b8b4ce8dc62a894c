// The atomic save: check, new file, gpg, fsync, backup link, check again, rename, folder fsync. Every
// step before the rename leaves the old file as it was; a failed step removes the new file.
#include "core/file_save.h"

#include "core/child_process.h"
#include "core/file_digest.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace sealkeep {

namespace {

std::string folder_of(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A symbolic link is followed: the file it points at is the one to replace, the link stays.
std::string real_target(const std::string& path)
{
    char resolved[PATH_MAX];
    struct stat info;
    if (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode) && realpath(path.c_str(), resolved))
        return resolved;
    return path;
}

bool sync_folder(const std::string& folder)
{
    Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.open() && fsync(fd.get()) == 0;
}

constexpr char LETTERS[] = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr int UNIQUE_LETTERS = 6;
constexpr const char* OUR_TAGS[] = {"new-", "backup-"};

// A name in the folder that nothing has: ".NAME.<tag>XXXXXX". Hidden, and beside the file, so that a
// rename can replace it in one step.
std::string unused_name(const std::string& folder, const std::string& name, const char* tag)
{
    std::random_device random;
    for (;;) {
        std::string candidate = folder + "/." + name + "." + tag;
        for (int i = 0; i < UNIQUE_LETTERS; ++i)
            candidate += LETTERS[random() % (sizeof LETTERS - 1)];
        struct stat info;
        if (lstat(candidate.c_str(), &info) != 0 && errno == ENOENT)
            return candidate;
    }
}

// Whether `entry` is a name unused_name() gives for this file: ".NAME.<tag>" and six of its letters.
bool is_our_left_over(std::string_view entry, const std::string& name)
{
    for (const std::string_view tag : OUR_TAGS) {
        const std::string prefix = "." + name + "." + std::string(tag);
        if (entry.size() != prefix.size() + UNIQUE_LETTERS || !entry.starts_with(prefix))
            continue;
        const std::string_view unique = entry.substr(prefix.size());
        if (unique.find_first_not_of(std::string_view(LETTERS, sizeof LETTERS - 1)) == std::string_view::npos)
            return true;
    }
    return false;
}

// A saver killed before its rename leaves its new file (or staged backup) beside the intact one. What this
// save finds of those, older than itself and the user's own regular files, goes; nothing else in the
// folder is touched. A left-over that cannot be removed is left silently: it harms nothing but space.
void remove_left_overs(const std::string& folder, const std::string& name, const timespec& save_start)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return;
    const int dir_fd = dirfd(dir);
    while (const dirent* entry = readdir(dir)) {
        if (!is_our_left_over(entry->d_name, name))
            continue;
        struct stat info;
        if (fstatat(dir_fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode) ||
            info.st_uid != geteuid())
            continue;
        const bool older = info.st_mtim.tv_sec < save_start.tv_sec ||
                           (info.st_mtim.tv_sec == save_start.tv_sec && info.st_mtim.tv_nsec < save_start.tv_nsec);
        if (older)
            unlinkat(dir_fd, entry->d_name, 0);
    }
    closedir(dir);
}

// The old version as "FILE~", replacing an older one in one step: a second name for the old file when
// the file system has hard links, else a synced copy.
bool keep_backup(const std::string& target, const std::string& folder, const std::string& name, std::string& error)
{
    const std::string backup = target + "~";
    std::string staged = unused_name(folder, name, "backup-");
    if (link(target.c_str(), staged.c_str()) != 0) {
        const int link_error = errno;
        if (link_error != EPERM && link_error != EXDEV && link_error != ENOTSUP && link_error != EMLINK) {
            error = errno_text("backup", link_error);
            return false;
        }
        Fd in(::open(target.c_str(), O_RDONLY | O_CLOEXEC));
        Fd out(::open(staged.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!in.open() || !out.open()) {
            error = errno_text("backup", errno);
            if (out.open())
                unlink(staged.c_str());
            return false;
        }
        struct stat info;
        if (fstat(in.get(), &info) == 0)
            fchmod(out.get(), info.st_mode & 07777);
        char buffer[65536];
        for (;;) {
            ssize_t got = read(in.get(), buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            bool ok = got >= 0;
            for (ssize_t done = 0; ok && done < got;) {
                const ssize_t put = write(out.get(), buffer + done, static_cast<std::size_t>(got - done));
                if (put < 0 && errno == EINTR)
                    continue;
                ok = put > 0;
                done += put > 0 ? put : 0;
            }
            if (!ok || (got == 0 && fsync(out.get()) != 0)) {
                error = errno_text("backup", errno);
                unlink(staged.c_str());
                return false;
            }
            if (got == 0)
                break;
        }
    }
    if (rename(staged.c_str(), backup.c_str()) != 0) {
        error = errno_text("backup", errno);
        unlink(staged.c_str());
        return false;
    }
    return true;
}

SaveResult fail(SaveOutcome outcome, std::string reason)
{
    SaveResult result;
    result.outcome = outcome;
    result.reason = std::move(reason);
    return result;
}

// Whether the file on disk is still what was loaded; fills a result when it is not.
bool still_as_loaded(const SaveRequest& request, const std::string& target, SaveResult& result)
{
    if (!request.check_digest)
        return true;
    std::string error;
    const std::optional<std::string> digest = file_digest(target, &error);
    if (request.expected_digest.empty()) {
        struct stat info;
        if (lstat(target.c_str(), &info) != 0 && errno == ENOENT)
            return true;
        result = fail(SaveOutcome::ChangedOnDisk, "the file exists already");
        return false;
    }
    if (!digest) {
        const bool removed = error == strerror(ENOENT);
        result = fail(removed ? SaveOutcome::ChangedOnDisk : SaveOutcome::Failed,
                      removed ? "the file was removed" : "cannot read the file: " + error);
        return false;
    }
    if (*digest != request.expected_digest) {
        result = fail(SaveOutcome::ChangedOnDisk, "the file was changed by someone else");
        return false;
    }
    return true;
}

} // namespace

SaveResult save_encrypted(GpgEncryption& encryption, const SaveRequest& request, std::string_view plaintext)
{
    const auto stage = [&](SaveStage point) {
        if (request.on_stage)
            request.on_stage(point);
    };
    timespec start{};
    clock_gettime(CLOCK_REALTIME, &start);
    const std::string target = real_target(request.path);
    const std::string folder = folder_of(target);
    const std::string name = name_of(target);
    SaveResult result;
    if (!still_as_loaded(request, target, result))
        return result;
    stage(SaveStage::Checked);
    remove_left_overs(folder, name, start);

    // The new file gets the old one's mode (and owner, where that is allowed), or 0600.
    struct stat old_info;
    const bool old_exists = stat(target.c_str(), &old_info) == 0;
    const mode_t mode = old_exists ? (old_info.st_mode & 07777) : 0600;

    std::string temp_path = unused_name(folder, name, "new-");
    Fd temp(::open(temp_path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!temp.open())
        return fail(SaveOutcome::Failed, errno_text(("cannot create a file in " + folder).c_str(), errno));
    // Whatever goes wrong from here on, the new file goes and the old one stays.
    struct TempRemover {
        std::string& path;
        ~TempRemover()
        {
            if (!path.empty())
                unlink(path.c_str());
        }
    } temp_remover{temp_path};
    if (fchmod(temp.get(), mode) != 0)
        return fail(SaveOutcome::Failed, errno_text("chmod", errno));
    if (old_exists && (old_info.st_uid != geteuid() || old_info.st_gid != getegid()))
        (void)!fchown(temp.get(), old_info.st_uid, old_info.st_gid);
    stage(SaveStage::TempCreated);

    const EncryptVerdict verdict = encryption.run(request.encrypt, plaintext, temp.get());
    switch (verdict.outcome) {
    case EncryptOutcome::Encrypted:
        break;
    case EncryptOutcome::RecipientUnusable:
        result = fail(SaveOutcome::RecipientUnusable, verdict.reason);
        result.recipient = verdict.recipient;
        return result;
    case EncryptOutcome::Cancelled:
        return fail(SaveOutcome::Cancelled, {});
    case EncryptOutcome::Failed:
        return fail(SaveOutcome::Failed, verdict.reason);
    }
    stage(SaveStage::Encrypted);

    if (fsync(temp.get()) != 0)
        return fail(SaveOutcome::Failed, errno_text("sync", errno));
    // What was written, read back: the digest the next save checks against, and a last sight of a
    // file that came out empty.
    std::string digest_error;
    const std::optional<std::string> digest = file_digest(temp_path, &digest_error);
    struct stat temp_info;
    if (!digest || fstat(temp.get(), &temp_info) != 0 || temp_info.st_size == 0)
        return fail(SaveOutcome::Failed, digest ? std::string("gpg wrote nothing") : "cannot read back: " + digest_error);
    if (close(temp.release()) != 0)
        return fail(SaveOutcome::Failed, errno_text("close", errno));
    stage(SaveStage::Synced);

    if (old_exists) {
        std::string error;
        if (!keep_backup(target, folder, name, error))
            return fail(SaveOutcome::Failed, error);
    }
    stage(SaveStage::BackupMade);

    // gpg may have taken a while: a change made meanwhile is not written over either.
    if (!still_as_loaded(request, target, result))
        return result;
    if (encryption.cancelled())
        return fail(SaveOutcome::Cancelled, {});
    if (rename(temp_path.c_str(), target.c_str()) != 0)
        return fail(SaveOutcome::Failed, errno_text("rename", errno));
    temp_path.clear();
    stage(SaveStage::Renamed);

    result.outcome = SaveOutcome::Saved;
    result.digest = *digest;
    // The rename stands, but a crash before the folder reaches the disk could still bring the old name
    // back: say so rather than claim a safe save.
    if (!sync_folder(folder))
        result.reason = errno_text("the folder could not be synced", errno);
    stage(SaveStage::Done);
    return result;
}

} // namespace sealkeep
