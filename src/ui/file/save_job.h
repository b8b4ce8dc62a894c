// Saving the document as a job beside the main loop: the plaintext is copied for the worker, which
// encrypts and writes it (see core/file_save.h); the result comes back once, on the main thread, and
// says what happened in the status bar (and in a dialog when the save failed).
#pragma once

#include "core/file_save.h"
#include "core/loaded_file.h"

#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace sealkeep {

struct OpenFile;

// How a save differs from writing the loaded file back as it was encrypted.
struct SaveChoice {
    std::string path;       // empty: the loaded file's
    bool overwrite = false; // under another name the user chose, even over a file there
    bool new_passphrase = false;
    LockedSecret passphrase; // with new_passphrase
    bool new_recipients = false;
    std::vector<std::string> recipients; // with new_recipients
};

// What runs after a successful save, on the main thread (a way out that waited for it).
using SaveThen = std::function<void()>;

class SaveJob {
public:
    SaveJob(OpenFile& file, SaveRequest request, std::string plaintext, unsigned generation, SaveChoice choice);
    // Whether the document the save was made from is still the one shown.
    bool of_shown_document() const;
    // The plaintext written; overwritten when the job goes.
    std::string_view plaintext() const { return plaintext_; }
    SaveJob(const SaveJob&) = delete;
    SaveJob& operator=(const SaveJob&) = delete;
    // Cancels (nothing is written unless the rename was done already) and waits for the worker.
    ~SaveJob();

    void cancel() { encryption_.cancel(); }
    // Runs after a successful save, on the main thread (a way out that waited for it).
    void then(SaveThen action) { then_ = std::move(action); }
    // The document went while the job ran (a lock took it): should the save fail, its copy of the edits
    // is all that is left of them, and it is kept for the unlock instead of being overwritten.
    void hold_edits_on_failure() { hold_on_failure_ = true; }
    const SaveRequest& request() const { return request_; }
    unsigned generation() const { return generation_; }
    // Tells this save from every other of the run.
    unsigned id() const { return id_; }

private:
    static gboolean on_worker_done(gpointer job);

    OpenFile& file_;
    GpgEncryption encryption_;
    SaveRequest request_;
    std::string plaintext_;    // overwritten once written, or when the job goes
    unsigned generation_;      // of the edits saved
    unsigned document_serial_; // of the document saved
    unsigned id_;
    SaveChoice choice_;
    SaveResult result_;
    SaveThen then_;
    bool hold_on_failure_ = false;
    guint done_source_ = 0;
    std::thread worker_;
};

// File > Save: writes the document as it stands to the file it came from, encrypted as that was.
void save_document(OpenFile& file);
// Starts a save; false when there is nothing to save (no loaded document) or a save runs already.
bool start_save(OpenFile& file, SaveChoice choice, SaveThen then = {});
bool save_running(const OpenFile& file);

// A lock while a save runs: edits made since that save began are in the document only, which the lock
// is about to take. They are kept now, as edits of the file that save is writing, for the unlock.
void hold_edits_beyond_save(OpenFile& file);

// Puts edits a lock kept (their save failed) in place of the document just loaded from their file, as
// its unsaved edits; false when there are none for the file shown.
bool show_held_edits(OpenFile& file);

// File > Change passphrase…: a new passphrase for a symmetric file, the recipients for a public-key one;
// then a save.
void change_passphrase(OpenFile& file);

// Takes what a verified load noted of its file; the file on disk is watched from then on.
void remember_loaded_file(OpenFile& file, std::unique_ptr<LoadedFile> loaded);
// Forgets it (the passphrase is overwritten) and stops watching: Refresh, lock, another load, quit.
void forget_loaded_file(OpenFile& file);

// Loads the file again: with the passphrase it was opened with when there is one, else through the prompt.
void reload_file(OpenFile& file);

} // namespace sealkeep
