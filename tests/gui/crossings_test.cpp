// Where edit, save, lock, unlock, Refresh, another program's write and another window's save cross, in
// the real window with real gpg behind a stand-in that holds each encryption at a gate until the row
// opens it. After every row, and again after a last Save, one invariant: every edit the user made is in
// the file on disk or shown as unsaved, the window never takes for the file a document that is not,
// "FILE~" is a complete earlier version, and no save failed because its new file was taken away.
#include "gui_support.h"

#include "core/account_load.h"
#include "core/gpg_home.h"
#include "core/file_digest.h"
#include "core/file_save.h"
#include "core/text_encoding.h"
#include "ui/window/document_events.h"
#include "ui/file/load_job.h"
#include "ui/file/save_job.h"
#include "ui/file/unsaved_edits.h"
#include "ui/glib_ptr.h"
#include "ui/lock/lock.h"
#include "ui/window/view_commands.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

namespace sealkeep {
namespace {

namespace fs = std::filesystem;
using test::drain_events;

const std::string PASSPHRASE = "Crossings 3";
const std::string ORIGINAL = test::record_line("Acme;web;srv1;ssh;22;alice;pw-a") + "\n";

std::string account(const std::string& tag)
{
    return test::record_line(tag + ";;srv-" + tag + ";ssh;;u-" + tag + ";pw-" + tag) + "\n";
}

bool contains(std::string_view text, const std::string& line)
{
    return text.find(line) != std::string_view::npos;
}

// The steps a row is made of.
enum class Step {
    Edit,          // an account added in the window (the row's tag names it)
    Hold,          // the window's next encryption waits at its gate
    Save,          // File > Save
    WaitForGpg,    // until the window's held gpg has started
    Release,       // the window's gate opens; until its save has ended
    Lock,          // Ctrl+L
    Unlock,        // the right passphrase at the prompt
    UnlockWrong,   // a wrong one
    Refresh,       // View > Refresh
    OtherWrites,   // another program replaces the file with its own version (the tag's account added)
    OtherSave,     // another window, loaded now, saves the tag's account and ends
    OtherSaveHeld, // the same, its encryption held at its own gate
    ReleaseOther,  // that gate opens; until the other save has ended
};

struct Action {
    Step step;
    const char* tag = "";
};

// A gpg first on PATH that, for an encryption, says it is waiting and waits while its gate file exists,
// then runs the real gpg.
std::string write_stand_in(const std::string& dir, const std::string& gate)
{
    fs::create_directories(dir);
    gchar* real_gpg = g_find_program_in_path("gpg");
    const std::string real = real_gpg ? real_gpg : "/usr/bin/gpg";
    g_free(real_gpg);
    const std::string program = dir + "/gpg";
    std::ofstream(program) << "#!/bin/sh\n"
                              "case \" $* \" in *\" --symmetric \"*|*\" --encrypt \"*)\n"
                              "  touch '"
                           << gate << ".waiting'\n  while [ -e '" << gate << "' ]; do sleep 0.05; done;;\nesac\nexec "
                           << real << " \"$@\"\n";
    fs::permissions(program, fs::perms::owner_all);
    return program;
}

class CrossingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gnupg_ = std::make_unique<test::GnupgHome>();
        path_ = gnupg_->encrypt_symmetric(ORIGINAL, PASSPHRASE);
        const std::string folder = fs::path(path_).parent_path();
        gate_ = folder + "/window.gate";
        other_gate_ = folder + "/other.gate";
        const std::string window_gpg = write_stand_in(folder + "/window-gpg", gate_);
        other_gpg_ = write_stand_in(folder + "/other-gpg", other_gate_);
        saved_path_ = std::getenv("PATH");
        setenv("PATH", (fs::path(window_gpg).parent_path().string() + ":" + saved_path_).c_str(), 1);
        // Every dialog a row brings up (a refused save's question, a failed save's error) is answered
        // Cancel, and its text kept.
        answering_ = g_timeout_add(20, answer_dialogs, &dialog_texts_);
        MainWindow& main = test::main_window();
        main.settings.values.password_file_path = path_;
        unlock(PASSPHRASE);
        ASSERT_TRUE(test::document());
    }

    void TearDown() override
    {
        fs::remove(gate_);
        fs::remove(other_gate_);
        test::wait_until([] { return !save_running(test::main_window().file); });
        if (other_.joinable())
            other_.join();
        g_source_remove(answering_);
        setenv("PATH", saved_path_.c_str(), 1);
        MainWindow& main = test::main_window();
        main.file.held_edits.reset();
        test::load_fixture({});
        note_document_saved(main.file);
        drain_events();
    }

    static gboolean answer_dialogs(gpointer data)
    {
        auto* texts = static_cast<std::vector<std::string>*>(data);
        GListPtr toplevels{gtk_window_list_toplevels()};
        for (GList* window = toplevels.get(); window; window = window->next) {
            if (!GTK_IS_DIALOG(window->data) || !gtk_widget_get_mapped(GTK_WIDGET(window->data)))
                continue;
            gchar* primary = nullptr;
            gchar* secondary = nullptr;
            if (GTK_IS_MESSAGE_DIALOG(window->data))
                g_object_get(window->data, "text", &primary, "secondary-text", &secondary, nullptr);
            texts->push_back(std::string(primary ? primary : "") + " " + (secondary ? secondary : ""));
            g_free(primary);
            g_free(secondary);
            gtk_dialog_response(GTK_DIALOG(window->data), GTK_RESPONSE_CANCEL);
            break;
        }
        return G_SOURCE_CONTINUE;
    }

    void unlock(const std::string& passphrase)
    {
        MainWindow& main = test::main_window();
        start_load(main, passphrase);
        ASSERT_TRUE(test::wait_for_load());
        if (main.tree.database_loaded)
            gtk_widget_hide(main.prompt.panel);
    }

    std::optional<std::string> decrypt(const std::string& path)
    {
        return test::run_beside_loop({"gpg", "--batch", "--quiet", "--pinentry-mode", "loopback",
                                      "--no-symkey-cache", "--passphrase", PASSPHRASE.c_str(), "--decrypt",
                                      path.c_str()});
    }

    static void hold(const std::string& gate)
    {
        fs::remove(gate + ".waiting");
        std::ofstream{gate};
    }

    static bool wait_for_gpg(const std::string& gate)
    {
        return test::wait_until([&] { return fs::exists(gate + ".waiting"); });
    }

    // What an edit does: the document with one more line, shown in its place and marked unsaved.
    void edit(const std::string& tag)
    {
        MainWindow& main = test::main_window();
        ASSERT_TRUE(test::document());
        const std::string text = std::string(test::document()->plaintext()) + account(tag);
        auto document = std::make_unique<Document>(main.settings.values);
        for (std::size_t start = 0; start < text.size();) {
            const std::size_t end = std::min(text.find('\n', start), text.size() - 1) + 1;
            document->add_line(std::string_view(text).substr(start, end - start));
            start = end;
        }
        document->finish();
        show_loaded_rows(main, std::move(document));
        note_document_edited(main.file);
        edits_.push_back(tag);
        drain_events();
    }

    void other_writes(const std::string& tag)
    {
        const std::string now = decrypt(path_).value_or("");
        const std::string written = gnupg_->encrypt_symmetric(now + account(tag), PASSPHRASE, "theirs.gpg");
        fs::rename(written, path_);
        others_.push_back(tag);
    }

    // Another window on the same file: loaded now, saved with one more account through its own gpg.
    void other_save(const std::string& tag, bool held)
    {
        if (held)
            hold(other_gate_);
        other_done_ = false;
        other_ = std::thread([this, tag] {
            LoadResult loaded = test_support::load_file(path_, PASSPHRASE);
            if (loaded.file) {
                SaveRequest save;
                save.path = path_;
                save.expected_digest = loaded.file->digest;
                save.encrypt.symmetric = true;
                save.encrypt.passphrase = loaded.file->passphrase;
                save.encrypt.gpg_program = other_gpg_;
                GpgEncryption encryption;
                std::string text(loaded.document->plaintext());
                other_result_ = save_encrypted(encryption, save, text + account(tag));
            }
            other_done_ = true;
        });
        others_.push_back(tag);
        if (held)
            ASSERT_TRUE(wait_for_gpg(other_gate_));
        else
            finish_other();
    }

    void finish_other()
    {
        fs::remove(other_gate_);
        ASSERT_TRUE(test::wait_until([&] { return other_done_.load(); }));
        other_.join();
        EXPECT_NE(other_result_.outcome, SaveOutcome::Failed) << other_result_.reason;
    }

    void run(const Action& action)
    {
        MainWindow& main = test::main_window();
        switch (action.step) {
        case Step::Edit:
            edit(action.tag);
            break;
        case Step::Hold:
            hold(gate_);
            break;
        case Step::Save:
            save_document(main.file);
            break;
        case Step::WaitForGpg:
            ASSERT_TRUE(wait_for_gpg(gate_));
            break;
        case Step::Release:
            fs::remove(gate_);
            ASSERT_TRUE(test::wait_until([&] { return !save_running(main.file); }));
            drain_events();
            break;
        case Step::Lock:
            lock_window(main);
            break;
        case Step::Unlock:
            unlock(PASSPHRASE);
            break;
        case Step::UnlockWrong:
            unlock("not " + PASSPHRASE);
            break;
        case Step::Refresh:
            refresh_entries(main);
            break;
        case Step::OtherWrites:
            other_writes(action.tag);
            break;
        case Step::OtherSave:
            other_save(action.tag, false);
            break;
        case Step::OtherSaveHeld:
            other_save(action.tag, true);
            break;
        case Step::ReleaseOther:
            finish_other();
            break;
        }
    }

    void expect_invariant(const char* when)
    {
        SCOPED_TRACE(when);
        MainWindow& main = test::main_window();
        const std::string on_disk = decrypt(path_).value_or("<does not decrypt>");
        const Document* shown = test::document();
        const std::string_view shown_text = shown ? shown->plaintext() : std::string_view();
        const std::string_view held = main.file.held_edits ? main.file.held_edits->plaintext.view() : std::string_view();
        for (const std::string& tag : edits_) {
            const bool kept = contains(on_disk, account(tag)) ||
                              (main.file.unsaved_edits && (contains(shown_text, account(tag)) || contains(held, account(tag))));
            EXPECT_TRUE(kept) << "edit " << tag << " is neither in the file nor shown unsaved";
        }
        EXPECT_EQ(gtk_window_get_title(GTK_WINDOW(main.window)), std::string(main.file.unsaved_edits ? "*Sealkeep" : "Sealkeep"));
        // A document the window holds for the file as it is now must be that file.
        const std::optional<std::string> digest = file_digest(path_);
        if (shown && !main.file.unsaved_edits && main.file.loaded_file && digest && main.file.loaded_file->digest == *digest) {
            EXPECT_EQ(shown_text, on_disk) << "the window takes an older document for the file";
        }
        if (fs::exists(path_ + "~")) {
            EXPECT_TRUE(decrypt(path_ + "~").has_value()) << "FILE~ is no complete version";
            EXPECT_NE(test::read_file(path_ + "~"), test::read_file(path_)) << "FILE~ is the file itself";
        }
        for (const std::string& text : dialog_texts_) {
            EXPECT_EQ(text.find("cannot read back"), std::string::npos) << text;
        }
    }

    std::unique_ptr<test::GnupgHome> gnupg_;
    std::string path_;
    std::string gate_;
    std::string other_gate_;
    std::string other_gpg_;
    std::string saved_path_;
    guint answering_ = 0;
    std::vector<std::string> dialog_texts_;
    std::vector<std::string> edits_;  // the window's
    std::vector<std::string> others_; // another program's or window's
    std::thread other_;
    std::atomic<bool> other_done_{false};
    SaveResult other_result_;
};

TEST_F(CrossingsTest, EveryEditIsKeptWhereverSaveLockUnlockAndOthersCross)
{
    using S = Step;
    struct Row {
        const char* name;
        std::vector<Action> actions;
        std::optional<std::string> backup; // what FILE~ must decrypt to in the end; nullopt: not checked
    };
    const std::string original_backup = ORIGINAL;
    const Row rows[] = {
        {"a lock during a save, an unlock before it ends",
         {{S::Edit, "A"}, {S::Hold}, {S::Save}, {S::WaitForGpg}, {S::Lock}, {S::Unlock}, {S::Release}},
         original_backup},
        {"the same with a wrong passphrase first",
         {{S::Edit, "A"}, {S::Hold}, {S::Save}, {S::WaitForGpg}, {S::Lock}, {S::UnlockWrong}, {S::Release}, {S::Unlock}},
         original_backup},
        {"edits beyond the save, then a lock and a quick unlock",
         {{S::Edit, "A"}, {S::Hold}, {S::Save}, {S::WaitForGpg}, {S::Edit, "B"}, {S::Lock}, {S::Unlock}, {S::Release}},
         std::nullopt},
        {"an edit after the quick unlock, before the save ends",
         {{S::Edit, "A"}, {S::Hold}, {S::Save}, {S::WaitForGpg}, {S::Lock}, {S::Unlock}, {S::Edit, "B"}, {S::Release}},
         original_backup},
        {"a lock during a save, the unlock after it",
         {{S::Edit, "A"}, {S::Hold}, {S::Save}, {S::WaitForGpg}, {S::Lock}, {S::Release}, {S::Unlock}},
         original_backup},
        {"the lock starts the save, the unlock comes first",
         {{S::Edit, "A"}, {S::Hold}, {S::Lock}, {S::WaitForGpg}, {S::Unlock}, {S::Release}},
         original_backup},
        {"the lock starts the save, a wrong passphrase before it ends",
         {{S::Edit, "A"}, {S::Hold}, {S::Lock}, {S::WaitForGpg}, {S::UnlockWrong}, {S::Release}, {S::Unlock}},
         original_backup},
        {"Refresh during a save",
         {{S::Edit, "A"}, {S::Hold}, {S::Save}, {S::WaitForGpg}, {S::Refresh}, {S::Release}, {S::Unlock}},
         original_backup},
        {"another program writes the file during a save",
         {{S::Edit, "A"}, {S::Hold}, {S::Save}, {S::WaitForGpg}, {S::OtherWrites, "X"}, {S::Release}},
         std::nullopt},
        {"another window's save ends while ours writes",
         {{S::Edit, "A"}, {S::Hold}, {S::Save}, {S::WaitForGpg}, {S::OtherSave, "B"}, {S::Release}},
         original_backup},
        {"both saves slow, the other's ends first",
         {{S::Edit, "A"}, {S::Hold}, {S::Save}, {S::WaitForGpg}, {S::OtherSaveHeld, "B"}, {S::ReleaseOther}, {S::Release}},
         original_backup},
        {"both saves slow, ours ends first",
         {{S::Edit, "A"}, {S::Hold}, {S::Save}, {S::WaitForGpg}, {S::OtherSaveHeld, "B"}, {S::Release}, {S::ReleaseOther}},
         original_backup},
        {"another program writes while the window is locked with a save held",
         {{S::Edit, "A"}, {S::Hold}, {S::Save}, {S::WaitForGpg}, {S::Lock}, {S::OtherWrites, "X"}, {S::Release}, {S::Unlock}},
         std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.name != rows[0].name) {
            TearDown();
            edits_.clear();
            others_.clear();
            dialog_texts_.clear();
            gnupg_.reset();
            SetUp();
        }
        for (const Action& action : row.actions) {
            run(action);
            if (HasFatalFailure())
                return;
        }
        fs::remove(gate_);
        ASSERT_TRUE(test::wait_until([] { return !save_running(test::main_window().file); }));
        expect_invariant("after the row");
        if (row.backup) {
            EXPECT_EQ(decrypt(path_ + "~"), row.backup) << "FILE~ is not the version from before the row";
        }
        // A last Save of what the window shows: refused or written, nothing of the row may go.
        save_document(test::main_window().file);
        ASSERT_TRUE(test::wait_until([] { return !save_running(test::main_window().file); }));
        drain_events();
        expect_invariant("after a last Save");
    }
}

} // namespace
} // namespace sealkeep
