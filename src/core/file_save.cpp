// The atomic save: check, new file, gpg, fsync, staged backup, check again, backup in place, rename,
// folder fsync. Every step before the rename leaves the old file and its backup as they were; a failed
// step removes the new file. Files of a save in progress are held under a shared flock, so that another
// saver's clean-up can tell them from what a killed saver left.
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
#include <sys/file.h>
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

// Whether a live save holds this file: its writer keeps a shared flock on it until the file is renamed
// or removed. A killed writer's lock went with its descriptors.
bool held_by_a_live_save(int dir_fd, const char* entry)
{
    Fd fd(openat(dir_fd, entry, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.open())
        return true; // cannot tell: leave it
    return flock(fd.get(), LOCK_EX | LOCK_NB) != 0;
}

// A saver killed before its rename leaves its new file (or staged backup) beside the intact one. What this
// save finds of those, older than itself, the user's own regular files, and held by no live save, goes;
// nothing else in the folder is touched. A left-over that cannot be removed is left silently: it harms
// nothing but space.
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
        if (older && !held_by_a_live_save(dir_fd, entry->d_name))
            unlinkat(dir_fd, entry->d_name, 0);
    }
    closedir(dir);
}

// A new file under an unused name, created and locked as a live save's own. A clean-up that found it
// between its creation and the lock may have removed it: then the name no longer leads to it, and
// another name is tried.
Fd create_held_file(const std::string& folder, const std::string& name, const char* tag, std::string& path)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = unused_name(folder, name, tag);
        Fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!fd.open()) {
            if (errno == EEXIST)
                continue;
            path.clear();
            return fd;
        }
        struct stat opened;
        struct stat named;
        if (flock(fd.get(), LOCK_SH) == 0 && fstat(fd.get(), &opened) == 0 && lstat(path.c_str(), &named) == 0 &&
            opened.st_dev == named.st_dev && opened.st_ino == named.st_ino)
            return fd;
    }
    path.clear();
    errno = EAGAIN;
    return Fd();
}

bool same_file(int fd, const std::string& path)
{
    struct stat opened;
    struct stat named;
    return fstat(fd, &opened) == 0 && stat(path.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
           opened.st_ino == named.st_ino;
}

bool copy_bytes(int in, int out)
{
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got == 0;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = write(out, buffer + done, static_cast<std::size_t>(got - done));
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                return false;
            done += put;
        }
    }
}

// The old version staged for "FILE~" under a name of its own, held as a live save's: a second name for
// the old file when the file system has hard links and the file is to be replaced, else a synced copy
// (a file that is written in place must keep its old bytes elsewhere). The staged backup replaces
// "FILE~" only once the save is sure to be written.
struct StagedBackup {
    std::string path;
    Fd fd;
    ~StagedBackup()
    {
        if (!path.empty())
            unlink(path.c_str());
    }
};

bool stage_backup(const std::string& target, const std::string& folder, const std::string& name, bool copy,
                  StagedBackup& staged, std::string& error)
{
    if (!copy) {
        staged.path = unused_name(folder, name, "backup-");
        if (link(target.c_str(), staged.path.c_str()) == 0) {
            staged.fd.reset(::open(staged.path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
            if (staged.fd.open() && flock(staged.fd.get(), LOCK_SH) == 0)
                return true;
            error = errno_text("backup", errno);
            return false;
        }
        const int link_error = errno;
        staged.path.clear();
        if (link_error != EPERM && link_error != EXDEV && link_error != ENOTSUP && link_error != EMLINK) {
            error = errno_text("backup", link_error);
            return false;
        }
    }
    Fd in(::open(target.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.open()) {
        error = errno_text("backup", errno);
        return false;
    }
    staged.fd = create_held_file(folder, name, "backup-", staged.path);
    if (!staged.fd.open()) {
        error = errno_text("backup", errno);
        return false;
    }
    struct stat info;
    if (fstat(in.get(), &info) == 0)
        fchmod(staged.fd.get(), info.st_mode & 07777);
    if (!copy_bytes(in.get(), staged.fd.get()) || fsync(staged.fd.get()) != 0) {
        error = errno_text("backup", errno);
        return false;
    }
    return true;
}

// Writes the new file's bytes into the old file itself, for a file with more names than this one (hard
// links): every name sees the new version. Space is reserved first, so that a full disk stops the write
// before the first byte; should the write fail all the same, the old bytes are put back from the backup.
bool write_in_place(const std::string& target, int new_fd, int backup_fd, std::string& error)
{
    Fd out(::open(target.c_str(), O_WRONLY | O_CLOEXEC));
    struct stat info;
    if (!out.open() || fstat(new_fd, &info) != 0) {
        error = errno_text("write in place", errno);
        return false;
    }
    const int reserved = posix_fallocate(out.get(), 0, info.st_size);
    if (reserved != 0 && reserved != EOPNOTSUPP && reserved != EINVAL) {
        error = errno_text("write in place", reserved);
        return false;
    }
    if (lseek(new_fd, 0, SEEK_SET) == 0 && copy_bytes(new_fd, out.get()) && ftruncate(out.get(), info.st_size) == 0 &&
        fsync(out.get()) == 0)
        return true;
    error = errno_text("write in place", errno);
    if (lseek(backup_fd, 0, SEEK_SET) == 0 && lseek(out.get(), 0, SEEK_SET) == 0 && fstat(backup_fd, &info) == 0 &&
        copy_bytes(backup_fd, out.get()) && ftruncate(out.get(), info.st_size) == 0 && fsync(out.get()) == 0)
        return false;
    error += "; the version before is in " + name_of(target) + "~";
    return false;
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

    // The new file gets the old one's mode (and owner, where that is allowed), or 0600. A file with other
    // names besides this one (hard links) is written in place, so that every name keeps seeing it.
    struct stat old_info;
    const bool old_exists = stat(target.c_str(), &old_info) == 0;
    const mode_t mode = old_exists ? (old_info.st_mode & 07777) : 0600;
    const bool in_place = old_exists && S_ISREG(old_info.st_mode) && old_info.st_nlink > 1;

    std::string temp_path;
    Fd temp = create_held_file(folder, name, "new-", temp_path);
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
        return fail(SaveOutcome::Failed,
                    digest ? std::string("gpg wrote nothing") : "cannot read back: " + digest_error);
    // A network file system reports a failed write back at the close; the lock stays on the second
    // descriptor of the same open file until the new file is renamed.
    Fd held(dup(temp.get()));
    if (!held.open() || close(temp.release()) != 0)
        return fail(SaveOutcome::Failed, errno_text("close", errno));
    stage(SaveStage::Synced);

    // The backup is staged, then the file is checked once more (gpg may have taken a while, and a change
    // made meanwhile is not written over): only a save sure to be written replaces "FILE~". A linked
    // backup must be the very file checked, so that "FILE~" is the version loaded.
    StagedBackup backup;
    if (old_exists) {
        std::string error;
        if (!stage_backup(target, folder, name, in_place, backup, error))
            return fail(SaveOutcome::Failed, error);
    }
    if (!still_as_loaded(request, target, result))
        return result;
    if (old_exists && request.check_digest &&
        (in_place ? !request.expected_digest.empty() && file_digest(backup.path) != request.expected_digest
                  : !same_file(backup.fd.get(), target)))
        return fail(SaveOutcome::ChangedOnDisk, "the file was changed by someone else");
    if (encryption.cancelled())
        return fail(SaveOutcome::Cancelled, {});
    if (old_exists) {
        if (rename(backup.path.c_str(), (target + "~").c_str()) != 0)
            return fail(SaveOutcome::Failed, errno_text("backup", errno));
        backup.path.clear();
    }
    stage(SaveStage::BackupMade);

    if (in_place) {
        std::string error;
        if (!write_in_place(target, held.get(), backup.fd.get(), error))
            return fail(SaveOutcome::Failed, error);
    } else {
        if (rename(temp_path.c_str(), target.c_str()) != 0)
            return fail(SaveOutcome::Failed, errno_text("rename", errno));
        temp_path.clear();
    }
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
