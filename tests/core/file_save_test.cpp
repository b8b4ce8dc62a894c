// Saving with real gpg and real files: the file as loaded is written back byte for byte and for the
// same readers, a save that cannot be done writes nothing, and a saver killed at any point leaves a
// file that decrypts to the old or the new plaintext.
#include "core/account_load.h"
#include "core/child_process.h"
#include "core/file_digest.h"
#include "core/file_save.h"

#include "core/gpg_home.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

namespace sealkeep {
namespace {

namespace fs = std::filesystem;
using test_support::GpgHome;

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// gpg's own decryption of a file, as a second opinion on what was saved; nullopt when it fails.
std::optional<std::string> gpg_decrypt(const std::string& path, const std::string& passphrase = {})
{
    const std::string command = "gpg --batch --quiet --pinentry-mode loopback --no-symkey-cache --passphrase '" +
                                passphrase + "' --decrypt '" + path + "' 2>/dev/null";
    FILE* out = popen(command.c_str(), "r");
    std::string text;
    char buffer[4096];
    std::size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, out)) > 0)
        text.append(buffer, got);
    return pclose(out) == 0 ? std::optional(text) : std::nullopt;
}

LoadResult load(const std::string& path, const std::string& passphrase)
{
    return test_support::load_file(path, passphrase);
}

SaveRequest save_request(const LoadedFile& file)
{
    SaveRequest request;
    request.path = file.path;
    request.expected_digest = file.digest;
    request.encrypt.symmetric = file.symmetric;
    request.encrypt.passphrase = file.passphrase;
    request.encrypt.recipients = file.recipients;
    return request;
}

SaveResult save(const LoadedFile& file, std::string_view plaintext)
{
    GpgEncryption encryption;
    return save_encrypted(encryption, save_request(file), plaintext);
}

// The save's own files in the folder besides data.gpg and data.gpg~ (the new file, a staged backup):
// what a finished or failed save must not leave behind.
std::vector<std::string> strays(const std::string& folder)
{
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename();
        if (name.starts_with(".data.gpg"))
            found.push_back(name);
    }
    return found;
}

TEST(FileSave, SavingWithoutChangeWritesTheSamePlaintextAndKeepsTheOldFile)
{
    const struct {
        const char* name;
        std::string plaintext;
    } cases[] = {
        {"records with LF", "acme;web;h1;ssh;22;root;pw1\nacme;web;h2;ssh;22;root;pw2\n"},
        {"CRLF endings", "acme;web;h1;ssh;22;root;pw1\r\nacme;;h2;http;;adm;pw2\r\n"},
        {"Latin-1 bytes", "caf\xe9;web;h\xf6st;ssh;22;r\xfc\x62\x65;p\xe4ss\n"},
        {"unmatched lines kept", "# a comment\n\nnot a record at all\nacme;web;h1;ssh;22;root;pw\n   \n"},
        {"no final line ending", "acme;web;h1;ssh;22;root;pw1\nacme;web;h2;ssh;22;root;pw2"},
        {"mixed", "x;y;z;ssh;;u;p\r\n\xff\xfe\nlast;;h;telnet;;u;p;with;semicolons"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GpgHome home;
        home.encrypt_symmetric(c.plaintext, "Pass 1");
        const std::string path = home.path("data.gpg");
        fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
        const std::string old_ciphertext = read_file(path);

        LoadResult loaded = load(path, "Pass 1");
        ASSERT_EQ(loaded.verdict.outcome, DecryptOutcome::Verified) << loaded.verdict.reason;
        ASSERT_TRUE(loaded.file);
        EXPECT_TRUE(loaded.file->symmetric);
        EXPECT_TRUE(loaded.file->recipients.empty());
        EXPECT_EQ(loaded.file->passphrase.view(), "Pass 1");
        EXPECT_EQ(loaded.file->digest, sha256_hex(old_ciphertext));
        ASSERT_EQ(loaded.document->plaintext(), c.plaintext);

        const SaveResult saved = save(*loaded.file, loaded.document->plaintext());
        ASSERT_EQ(saved.outcome, SaveOutcome::Saved) << saved.reason;
        EXPECT_EQ(saved.reason, "");
        EXPECT_EQ(gpg_decrypt(path, "Pass 1"), c.plaintext);
        EXPECT_NE(read_file(path), old_ciphertext) << "encrypted anew";
        EXPECT_EQ(saved.digest, sha256_hex(read_file(path)));
        EXPECT_EQ(read_file(path + "~"), old_ciphertext) << "the old version stays beside it";
        EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read)
            << "the old file's mode";
        EXPECT_EQ(strays(home.dir()).size(), 0u);

        // The saved file loads again, to the same plaintext, and a second save keeps the first as FILE~.
        const std::string first_save = read_file(path);
        LoadResult again = load(path, "Pass 1");
        ASSERT_EQ(again.verdict.outcome, DecryptOutcome::Verified) << again.verdict.reason;
        EXPECT_EQ(again.document->plaintext(), c.plaintext);
        ASSERT_EQ(save(*again.file, std::string(again.document->plaintext()) + "new;;h;ssh;;u;p\n").outcome,
                  SaveOutcome::Saved);
        EXPECT_EQ(gpg_decrypt(path, "Pass 1"), c.plaintext + "new;;h;ssh;;u;p\n");
        EXPECT_EQ(read_file(path + "~"), first_save);
    }
}

TEST(FileSave, ANewFileIsPrivateAndASymbolicLinkStaysALink)
{
    GpgHome home;
    home.encrypt_symmetric("a;;h;ssh;;u;p\n", "pw");
    fs::rename(home.path("data.gpg"), home.path("real.gpg"));
    fs::create_symlink(home.path("real.gpg"), home.path("link.gpg"));
    LoadResult loaded = load(home.path("link.gpg"), "pw");
    ASSERT_EQ(loaded.verdict.outcome, DecryptOutcome::Verified);
    ASSERT_EQ(save(*loaded.file, "b;;h;ssh;;u;p\n").outcome, SaveOutcome::Saved);
    EXPECT_TRUE(fs::is_symlink(home.path("link.gpg")));
    EXPECT_EQ(gpg_decrypt(home.path("real.gpg"), "pw"), "b;;h;ssh;;u;p\n");

    // Under a name that does not exist yet: mode 0600, no backup.
    LoadedFile other;
    other.path = home.path("new.gpg");
    other.symmetric = true;
    other.passphrase.assign("pw");
    ASSERT_EQ(save(other, "c;;h;ssh;;u;p\n").outcome, SaveOutcome::Saved);
    EXPECT_EQ(fs::status(other.path).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_FALSE(fs::exists(other.path + "~"));
    EXPECT_EQ(gpg_decrypt(other.path, "pw"), "c;;h;ssh;;u;p\n");
    // Saving as new again must not write over what is there now.
    EXPECT_EQ(save(other, "d\n").outcome, SaveOutcome::ChangedOnDisk);
}

// Two keys in one home, the file encrypted to both; each secret key is then moved into a home of its own
// to show that each alone still opens the saved file.
TEST(FileSave, EveryRecipientCanStillDecryptAfterASave)
{
    GpgHome home;
    home.gpg("--pinentry-mode loopback --passphrase '' --quick-gen-key 'Alice <alice@example.org>' "
             "future-default default never");
    home.gpg("--pinentry-mode loopback --passphrase '' --quick-gen-key 'Bob <bob@example.org>' "
             "future-default default never");
    home.write_file("plain", "acme;web;h1;ssh;22;root;pw\r\n");
    home.gpg("--trust-model always -r alice@example.org -r bob@example.org -o '" + home.path("data.gpg") + "' -e '" +
             home.path("plain") + "'");
    const std::string exported_bob = home.path("bob.key");
    home.gpg("--pinentry-mode loopback --passphrase '' --export-secret-keys -o '" + exported_bob + "' bob@example.org");
    const std::string exported_alice = home.path("alice.key");
    home.gpg("--pinentry-mode loopback --passphrase '' --export-secret-keys -o '" + exported_alice +
             "' alice@example.org");

    LoadResult loaded = load(home.path("data.gpg"), "");
    ASSERT_EQ(loaded.verdict.outcome, DecryptOutcome::Verified) << loaded.verdict.reason;
    EXPECT_FALSE(loaded.file->symmetric);
    EXPECT_EQ(loaded.file->recipients.size(), 2u) << "both recipients, not only the key that opened it";
    EXPECT_TRUE(loaded.file->passphrase.empty()) << "nothing kept for a public-key file";
    const std::string edited = std::string(loaded.document->plaintext()) + "beta;;h2;ssh;;u;p\n";
    const SaveResult saved = save(*loaded.file, edited);
    ASSERT_EQ(saved.outcome, SaveOutcome::Saved) << saved.reason;

    for (const std::string& key : {exported_alice, exported_bob}) {
        SCOPED_TRACE(key);
        GpgHome alone;
        alone.gpg("--import '" + key + "'");
        EXPECT_EQ(gpg_decrypt(home.path("data.gpg")), edited);
    }
}

TEST(FileSave, AnUnusableRecipientStopsTheSaveAndWritesNothing)
{
    const struct {
        const char* name;
        const char* spoil; // what is done to Bob's key after the file was encrypted to him
        const char* reason;
    } cases[] = {
        {"missing", "delete", "no public key"},
        {"expired", "expire", "key expired"},
        {"revoked", "revoke", "key revoked or not usable"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GpgHome home;
        home.gpg("--pinentry-mode loopback --passphrase '' --quick-gen-key 'Alice <alice@example.org>' "
                 "future-default default never");
        home.gpg("--pinentry-mode loopback --passphrase '' --quick-gen-key 'Bob <bob@example.org>' "
                 "future-default default never");
        home.write_file("plain", "acme;web;h1;ssh;22;root;pw\n");
        home.gpg("--trust-model always -r alice@example.org -r bob@example.org -o '" + home.path("data.gpg") +
                 "' -e '" + home.path("plain") + "'");
        fs::remove(home.path("plain"));
        LoadResult loaded = load(home.path("data.gpg"), "");
        ASSERT_EQ(loaded.verdict.outcome, DecryptOutcome::Verified) << loaded.verdict.reason;

        std::string fingerprint;
        {
            FILE* out = popen("gpg --batch --with-colons --list-keys bob@example.org 2>/dev/null", "r");
            char line[1024];
            bool after_pub = false;
            while (fgets(line, sizeof line, out)) {
                std::string text = line;
                if (text.starts_with("pub:"))
                    after_pub = true;
                else if (after_pub && text.starts_with("fpr:")) {
                    fingerprint = text.substr(12, 40);
                    break;
                }
            }
            pclose(out);
        }
        ASSERT_EQ(fingerprint.size(), 40u);
        if (std::string(c.spoil) == "delete") {
            home.gpg("--yes --delete-secret-and-public-key " + fingerprint);
        } else if (std::string(c.spoil) == "expire") {
            home.gpg("--quick-set-expire " + fingerprint + " seconds=1");
            home.gpg("--quick-set-expire " + fingerprint + " seconds=1 '*'");
            sleep(2);
        } else {
            const std::string certificate = read_file(home.path("openpgp-revocs.d/" + fingerprint + ".rev"));
            std::string unlocked = certificate;
            for (std::size_t at = 0; (at = unlocked.find(":-----", at)) != std::string::npos;)
                unlocked.erase(at, 1);
            home.write_file("revoke.asc", unlocked);
            home.gpg("--import '" + home.path("revoke.asc") + "'");
            fs::remove(home.path("revoke.asc"));
        }

        const std::string before = read_file(home.path("data.gpg"));
        const SaveResult saved = save(*loaded.file, "changed;;h;ssh;;u;p\n");
        EXPECT_EQ(saved.outcome, SaveOutcome::RecipientUnusable);
        EXPECT_EQ(saved.reason, c.reason);
        EXPECT_FALSE(saved.recipient.empty());
        EXPECT_TRUE(std::find(loaded.file->recipients.begin(), loaded.file->recipients.end(), saved.recipient) !=
                    loaded.file->recipients.end())
            << "names the recipient as the file does: " << saved.recipient;
        EXPECT_EQ(read_file(home.path("data.gpg")), before);
        EXPECT_FALSE(fs::exists(home.path("data.gpg~")));
        std::vector<std::string> left;
        for (const auto& entry : fs::directory_iterator(home.dir()))
            if (entry.path().filename().string().starts_with(".data.gpg"))
                left.push_back(entry.path().filename());
        EXPECT_EQ(left.size(), 0u) << "no new file left behind";
    }
}

TEST(FileSave, AFileChangedOnDiskSinceTheLoadIsNotWrittenOver)
{
    GpgHome home;
    home.encrypt_symmetric("a;;h;ssh;;u;p\n", "pw");
    const std::string path = home.path("data.gpg");
    LoadResult loaded = load(path, "pw");
    ASSERT_EQ(loaded.verdict.outcome, DecryptOutcome::Verified);

    // Someone else saves meanwhile (same passphrase, other content).
    home.encrypt_symmetric("someone else;;h;ssh;;u;p\n", "pw", "other.gpg");
    fs::rename(home.path("other.gpg"), path);
    const std::string theirs = read_file(path);
    SaveResult saved = save(*loaded.file, "mine;;h;ssh;;u;p\n");
    EXPECT_EQ(saved.outcome, SaveOutcome::ChangedOnDisk);
    EXPECT_EQ(saved.reason, "the file was changed by someone else");
    EXPECT_EQ(read_file(path), theirs);

    fs::remove(path);
    saved = save(*loaded.file, "mine;;h;ssh;;u;p\n");
    EXPECT_EQ(saved.outcome, SaveOutcome::ChangedOnDisk);
    EXPECT_EQ(saved.reason, "the file was removed");
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(strays(home.dir()).size(), 0u);
    EXPECT_FALSE(fs::exists(path + "~"));
}

// A file rewritten while the load reads it (here by a gpg that, once done, appends to its input, as a
// second writer could at that moment) leaves the document without a digest: a save cannot tell which
// version the document came from, and refuses.
TEST(FileSave, AFileChangedDuringTheLoadIsNotWrittenOver)
{
    GpgHome home;
    home.encrypt_symmetric("a;;h;ssh;;u;p\n", "pw");
    const std::string path = home.path("data.gpg");
    const std::string program = home.path("gpg-then-write");
    {
        std::ofstream script(program);
        script << "#!/bin/sh\ngpg \"$@\"\nstatus=$?\nfor last; do :; done\nprintf x >> \"$last\"\nexit $status\n";
    }
    fs::permissions(program, fs::perms::owner_all);

    GpgDecryption decryption;
    std::atomic<std::size_t> read{0};
    LoadRequest request;
    request.decrypt.path = path;
    request.decrypt.passphrase = "pw";
    request.decrypt.gpg_program = program;
    // The stand-in writes after each of its runs: only the decryption's may.
    request.forget_cached_keys = false;
    FILE* sink = fopen("/dev/null", "w");
    LoadResult loaded = load_accounts(decryption, std::move(request), read, sink);
    fclose(sink);
    ASSERT_EQ(loaded.verdict.outcome, DecryptOutcome::Verified) << loaded.verdict.reason;
    ASSERT_TRUE(loaded.file);
    EXPECT_EQ(loaded.file->digest, "") << "no digest of a file that changed while it was read";

    const std::string theirs = read_file(path);
    const SaveResult saved = save(*loaded.file, "mine;;h;ssh;;u;p\n");
    EXPECT_EQ(saved.outcome, SaveOutcome::ChangedOnDisk);
    EXPECT_EQ(read_file(path), theirs);
}

// The saver is a forked copy of this process that kills itself with SIGKILL at one point of the save
// (or is killed from outside while gpg writes); whatever point, the file decrypts to the old or the new
// plaintext, and from the rename on to the new one.
TEST(FileSave, ASaverKilledAtAnyPointLeavesTheOldOrTheNewFile)
{
    const std::string old_plain = "old;;h;ssh;;u;p\n";
    std::string new_plain = "new;;h;ssh;;u;p\n";
    // Large and incompressible, so that gpg is still writing when the outside kill comes.
    std::mt19937 random(7);
    for (int i = 0; i < 4000000; ++i)
        new_plain += static_cast<char>('!' + random() % 90);

    const struct {
        const char* name;
        std::optional<SaveStage> stage; // nullopt: killed from outside once gpg has begun to write
        bool expect_new;
    } cases[] = {
        {"after the check", SaveStage::Checked, false}, {"with the new file created", SaveStage::TempCreated, false},
        {"while gpg writes", std::nullopt, false},      {"after gpg", SaveStage::Encrypted, false},
        {"after the sync", SaveStage::Synced, false},   {"after the backup", SaveStage::BackupMade, false},
        {"after the rename", SaveStage::Renamed, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GpgHome home;
        home.encrypt_symmetric(old_plain, "pw");
        const std::string path = home.path("data.gpg");
        LoadResult loaded = load(path, "pw");
        ASSERT_EQ(loaded.verdict.outcome, DecryptOutcome::Verified);

        const pid_t saver = fork();
        ASSERT_GE(saver, 0);
        if (saver == 0) {
            SaveRequest request = save_request(*loaded.file);
            const std::optional<SaveStage> at = c.stage;
            request.on_stage = [at](SaveStage stage) {
                if (at && stage == *at)
                    kill(getpid(), SIGKILL);
            };
            GpgEncryption encryption;
            const SaveResult result = save_encrypted(encryption, request, new_plain);
            fprintf(stderr, "saver ended: %d %s\n", static_cast<int>(result.outcome), result.reason.c_str());
            _exit(0);
        }
        if (!c.stage) {
            bool writing = false;
            for (int i = 0; i < 20000 && !writing; ++i) {
                for (const auto& entry : fs::directory_iterator(home.dir()))
                    writing = writing || (entry.path().filename().string().starts_with(".data.gpg.new-") &&
                                          fs::file_size(entry.path()) > 0);
                if (!writing)
                    usleep(200);
            }
            EXPECT_TRUE(writing) << "gpg never began to write";
            kill(saver, SIGKILL);
        }
        int status = 0;
        waitpid(saver, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
            << "the saver did not die where meant: status " << status;
        // gpg, orphaned, may still be finishing its new file; the old name is what matters.
        const std::optional<std::string> on_disk = gpg_decrypt(path, "pw");
        ASSERT_TRUE(on_disk.has_value()) << "the file on disk does not decrypt";
        EXPECT_TRUE(*on_disk == (c.expect_new ? new_plain : old_plain))
            << "decrypts to " << on_disk->size() << " bytes";
    }
}

// What a killed saver leaves (its new file, its staged backup) goes with the next save of that file; any
// other name, kind of file, owner, a file newer than the save or one a live save still holds stays.
TEST(FileSave, LeftOversOfAKilledSaverGoWithTheNextSaveAndNothingElse)
{
    GpgHome home;
    home.encrypt_symmetric("old;;h;ssh;;u;p\n", "pw");
    const std::string path = home.path("data.gpg");
    LoadResult loaded = load(path, "pw");
    ASSERT_EQ(loaded.verdict.outcome, DecryptOutcome::Verified);
    home.write_file("outside", "not ours");

    enum Kind { File, Folder, Link, Newer, OtherOwner, Live };
    const struct {
        const char* name;
        Kind kind;
        bool removed;
    } cases[] = {
        {".data.gpg.new-abc123", File, true},
        {".data.gpg.new-0z9y8x", File, true},
        {".data.gpg.backup-q1w2e3", File, true},
        {".data.gpg.new-abc12", File, false},   // five letters: not a name we give
        {".data.gpg.new-abc1234", File, false}, // seven
        {".data.gpg.new-ABC123", File, false},  // we give lower case only
        {".data.gpg.new-abc.23", File, false},
        {".data.gpg.old-abc123", File, false},
        {"data.gpg.new-abc123", File, false},
        {".other.gpg.new-abc123", File, false},
        {".data.gp.new-abc123", File, false},
        {".data.gpg.new-dir123", Folder, false},
        {".data.gpg.new-lnk123", Link, false},       // a link stays, and what it points at too
        {".data.gpg.new-now123", Newer, false},      // a save running now may be writing it
        {".data.gpg.new-own123", OtherOwner, false}, // someone else's
        // Another window's save still writing: old, but its writer holds it.
        {".data.gpg.new-liv123", Live, false},
        {".data.gpg.backup-liv123", Live, false},
    };
    std::vector<Fd> writers;
    const timespec past[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
    const timespec future[2] = {{time(nullptr) + 3600, 0}, {time(nullptr) + 3600, 0}};
    bool can_chown = true;
    for (const auto& c : cases) {
        const std::string at = home.path(c.name);
        switch (c.kind) {
        case Folder:
            fs::create_directory(at);
            break;
        case Link:
            fs::create_symlink(home.path("outside"), at);
            break;
        default:
            home.write_file(c.name, "ciphertext in the making");
            break;
        }
        if (c.kind == OtherOwner)
            can_chown = chown(at.c_str(), 4242, 4242) == 0;
        if (c.kind == Live) {
            writers.emplace_back(::open(at.c_str(), O_RDWR | O_CLOEXEC));
            ASSERT_EQ(flock(writers.back().get(), LOCK_SH), 0);
        }
        ASSERT_EQ(utimensat(AT_FDCWD, at.c_str(), c.kind == Newer ? future : past, AT_SYMLINK_NOFOLLOW), 0);
    }

    ASSERT_EQ(save(*loaded.file, "new;;h;ssh;;u;p\n").outcome, SaveOutcome::Saved);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.kind == OtherOwner && !can_chown)
            continue; // not root: no file of another owner could be made
        EXPECT_EQ(!fs::exists(fs::symlink_status(home.path(c.name))), c.removed);
    }
    EXPECT_EQ(read_file(home.path("outside")), "not ours");
    EXPECT_EQ(gpg_decrypt(path, "pw"), "new;;h;ssh;;u;p\n");
    EXPECT_EQ(gpg_decrypt(path + "~", "pw"), "old;;h;ssh;;u;p\n");
}

// Another writer replaces the file while this save's gpg runs (at each point up to the last check): the
// save is refused, and both the file and its backup are what the other writer left, the backup still the
// complete version from before.
TEST(FileSave, ASaveRefusedAtItsLastCheckLeavesTheFileAndItsBackupAlone)
{
    const SaveStage points[] = {SaveStage::TempCreated, SaveStage::Encrypted, SaveStage::Synced};
    for (const SaveStage point : points) {
        SCOPED_TRACE(static_cast<int>(point));
        GpgHome home;
        home.encrypt_symmetric("first;;h;ssh;;u;p\n", "pw");
        const std::string path = home.path("data.gpg");
        LoadResult first = load(path, "pw");
        ASSERT_EQ(save(*first.file, "second;;h;ssh;;u;p\n").outcome, SaveOutcome::Saved);
        LoadResult loaded = load(path, "pw");
        ASSERT_EQ(loaded.verdict.outcome, DecryptOutcome::Verified);
        const std::string backup_before = read_file(path + "~");

        home.encrypt_symmetric("theirs;;h;ssh;;u;p\n", "pw", "theirs.gpg");
        SaveRequest request = save_request(*loaded.file);
        request.on_stage = [&](SaveStage stage) {
            if (stage == point)
                fs::rename(home.path("theirs.gpg"), path);
        };
        GpgEncryption encryption;
        const SaveResult saved = save_encrypted(encryption, request, "mine;;h;ssh;;u;p\n");
        EXPECT_EQ(saved.outcome, SaveOutcome::ChangedOnDisk) << saved.reason;
        EXPECT_EQ(gpg_decrypt(path, "pw"), "theirs;;h;ssh;;u;p\n");
        EXPECT_EQ(read_file(path + "~"), backup_before);
        EXPECT_EQ(gpg_decrypt(path + "~", "pw"), "first;;h;ssh;;u;p\n");
        EXPECT_EQ(strays(home.dir()).size(), 0u);
    }
}

// A file with a second name (a hard link) is written in place: both names see the saved version, and the
// backup is a copy of the old bytes, not a third name of the same file.
TEST(FileSave, AHardLinkedFileStaysOneFile)
{
    GpgHome home;
    home.encrypt_symmetric("old;;h;ssh;;u;p\n", "pw");
    const std::string path = home.path("data.gpg");
    const std::string other = home.path("shared.gpg");
    ASSERT_EQ(link(path.c_str(), other.c_str()), 0);
    const std::string old_ciphertext = read_file(path);
    LoadResult loaded = load(path, "pw");
    ASSERT_EQ(loaded.verdict.outcome, DecryptOutcome::Verified);

    const SaveResult saved = save(*loaded.file, "new;;h;ssh;;u;p\n");
    ASSERT_EQ(saved.outcome, SaveOutcome::Saved) << saved.reason;
    EXPECT_EQ(gpg_decrypt(path, "pw"), "new;;h;ssh;;u;p\n");
    EXPECT_EQ(gpg_decrypt(other, "pw"), "new;;h;ssh;;u;p\n");
    EXPECT_TRUE(fs::equivalent(path, other)) << "still one file";
    EXPECT_EQ(fs::hard_link_count(path), 2u);
    EXPECT_EQ(read_file(path + "~"), old_ciphertext);
    EXPECT_FALSE(fs::equivalent(path, path + "~"));
    EXPECT_EQ(saved.digest, sha256_hex(read_file(path)));
    EXPECT_EQ(strays(home.dir()).size(), 0u);

    // Changed through the other name since the load: refused like any other change.
    LoadResult again = load(path, "pw");
    home.encrypt_symmetric("theirs;;h;ssh;;u;p\n", "pw", "theirs.gpg");
    {
        std::ofstream(other, std::ios::binary | std::ios::trunc) << read_file(home.path("theirs.gpg"));
    }
    EXPECT_EQ(save(*again.file, "mine;;h;ssh;;u;p\n").outcome, SaveOutcome::ChangedOnDisk);
    EXPECT_EQ(gpg_decrypt(path, "pw"), "theirs;;h;ssh;;u;p\n");
    EXPECT_EQ(read_file(path + "~"), old_ciphertext);
}

// A small tmpfs of our own, for a full disk and a read-only folder; skipped where mounting is not allowed.
class Tmpfs {
public:
    explicit Tmpfs(const std::string& options) : dir_(test_support::make_temp_dir("/tmp/sktmpfs."))
    {
        mounted_ = mount("tmpfs", dir_.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~Tmpfs()
    {
        if (mounted_)
            umount2(dir_.c_str(), MNT_DETACH);
        rmdir(dir_.c_str());
    }
    bool mounted() const { return mounted_; }
    const std::string& dir() const { return dir_; }
    bool remount_read_only() { return mount("tmpfs", dir_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0; }

private:
    std::string dir_;
    bool mounted_ = false;
};

TEST(FileSave, AFullDiskOrAReadOnlyFolderKeepsTheOldFile)
{
    GpgHome home;
    const std::string old_plain = "old;;h;ssh;;u;p\n";
    home.encrypt_symmetric(old_plain, "pw");

    // Random bytes do not compress: their ciphertext cannot fit where the old file's did.
    std::string big;
    std::mt19937 random(11);
    for (int i = 0; i < 200000; ++i)
        big += static_cast<char>('!' + random() % 90);

    for (const bool full : {true, false}) {
        SCOPED_TRACE(full ? "full disk" : "read-only folder");
        Tmpfs tmpfs("size=128k,mode=0700");
        if (!tmpfs.mounted()) {
            GTEST_SKIP() << "cannot mount a tmpfs here (not root, or no mount permission): " << strerror(errno);
        }
        const std::string path = tmpfs.dir() + "/data.gpg";
        fs::copy_file(home.path("data.gpg"), path);
        const std::string before = read_file(path);
        LoadResult loaded = load(path, "pw");
        ASSERT_EQ(loaded.verdict.outcome, DecryptOutcome::Verified);
        if (!full) {
            ASSERT_TRUE(tmpfs.remount_read_only());
        }

        const SaveResult saved = save(*loaded.file, full ? big : "new;;h;ssh;;u;p\n");
        EXPECT_EQ(saved.outcome, SaveOutcome::Failed);
        EXPECT_NE(saved.reason.find(full ? "No space left on device" : "Read-only file system"), std::string::npos)
            << saved.reason;
        EXPECT_EQ(read_file(path), before);
        EXPECT_EQ(gpg_decrypt(path, "pw"), old_plain);
        EXPECT_EQ(strays(tmpfs.dir()).size(), 0u) << "the new file is removed";
    }
}

} // namespace
} // namespace sealkeep
