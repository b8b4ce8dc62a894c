// The save job and what surrounds it: the File menu's Save and Change passphrase…, the answers to a
// save that could not be done, and the watch on the loaded file for changes made by others.
#include "ui/file/save_job.h"

#include "core/file_digest.h"
#include "core/text_encoding.h"
#include "ui/dialogs/chooser_end.h"
#include "ui/dialogs/recipients_dialog.h"
#include "ui/file/load_job.h"
#include "ui/file/open_file.h"
#include "ui/file/unsaved_edits.h"
#include "ui/glib_ptr.h"
#include "ui/i18n.h"
#include "ui/lock/lock.h"
#include "ui/settings/window_settings.h"
#include "ui/status/status_row.h"
#include "ui/tree/tree_shape.h"
#include "ui/tree/account_model.h"
#include "ui/tree/entry_store.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace sealkeep {

namespace {

constexpr std::chrono::seconds KEYRING_LISTING_TIMEOUT{5};

std::string format(const char* format_text, auto... values)
{
    GCharPtr text{g_strdup_printf(format_text, values...)};
    return text.get();
}

std::string shown_name(const std::string& path)
{
    GCharPtr base{g_path_get_basename(path.c_str())};
    GCharPtr shown{g_filename_display_name(base.get())};
    return shown.get();
}

std::string valid_text(const std::string& text)
{
    GCharPtr valid{g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()))};
    return valid.get();
}

void show_error(OpenFile& file, const std::string& primary, const std::string& secondary)
{
    GtkWidget* dialog = gtk_message_dialog_new(file.parent(), GTK_DIALOG_MODAL,
                                               GTK_MESSAGE_ERROR, GTK_BUTTONS_CLOSE, "%s", primary.c_str());
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", secondary.c_str());
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
}

// A save under another name: the chooser asks before it replaces a file. What the refused save was to
// change (a new passphrase, other recipients) goes with it: the new file must not be readable by a key
// the user just took away.
void save_under_another_name(OpenFile& file, SaveChoice choice)
{
    GtkWidget* chooser =
        gtk_file_chooser_dialog_new(_("Save the accounts as"), file.parent(), GTK_FILE_CHOOSER_ACTION_SAVE,
                                    GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL, GTK_STOCK_SAVE, GTK_RESPONSE_OK, nullptr);
    gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(chooser), TRUE);
    if (file.loaded_file) {
        GCharPtr folder{g_path_get_dirname(file.loaded_file->path.c_str())};
        gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), folder.get());
    }
    GCharPtr filename;
    if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_OK)
        filename.reset(gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser)));
    end_file_chooser(chooser);
    if (!filename)
        return;
    choice.path = filename.get();
    choice.overwrite = true;
    start_save(file, std::move(choice));
}

// The file on disk is not what was loaded: save elsewhere, or drop the edits and load it again.
void answer_changed_on_disk(OpenFile& file, const std::string& reason, SaveChoice choice)
{
    GtkWidget* dialog =
        gtk_message_dialog_new(file.parent(), GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING,
                               GTK_BUTTONS_NONE, "%s", _("The password file was changed since it was loaded."));
    gtk_message_dialog_format_secondary_text(
        GTK_MESSAGE_DIALOG(dialog), _("Not saved: %s. Save your changes under another name, or reload the file?"),
        reason.c_str());
    gtk_dialog_add_buttons(GTK_DIALOG(dialog), _("_Reload"), GTK_RESPONSE_REJECT, GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL,
                           GTK_STOCK_SAVE_AS, GTK_RESPONSE_ACCEPT, nullptr);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    const gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    if (response == GTK_RESPONSE_ACCEPT) {
        save_under_another_name(file, std::move(choice));
    } else if (response == GTK_RESPONSE_REJECT) {
        GtkWidget* confirm = gtk_message_dialog_new(file.parent(), GTK_DIALOG_MODAL,
                                                    GTK_MESSAGE_QUESTION, GTK_BUTTONS_NONE, "%s",
                                                    _("Discard your changes and load the file as it is now?"));
        gtk_dialog_add_buttons(GTK_DIALOG(confirm), GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL, GTK_STOCK_DISCARD,
                               GTK_RESPONSE_ACCEPT, nullptr);
        const gint sure = gtk_dialog_run(GTK_DIALOG(confirm));
        gtk_widget_destroy(confirm);
        if (sure == GTK_RESPONSE_ACCEPT) {
            note_document_saved(file);
            reload_file(file);
        }
    }
}

void watch_loaded_file(OpenFile& file);

// A document of this text, with the templates of `like`.
std::unique_ptr<Document> document_of_text(const Document& like, std::string_view text)
{
    auto document = std::make_unique<Document>(like.templates());
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t newline = text.find('\n', start);
        const std::size_t end = newline == std::string_view::npos ? text.size() : newline + 1;
        document->add_line(text.substr(start, end - start));
        start = end;
    }
    document->finish();
    return document;
}

// The document shown is a document built from this text, in place of the one shown; its tree keeps its
// shape.
void show_saved_text(OpenFile& file, std::string_view text)
{
    std::unique_ptr<Document> document = document_of_text(*shown_document(file.tree), text);
    remember_tree_shape(file.tree);
    file.show_document(std::move(document));
    restore_tree_shape(file.tree);
}

// A save that ended after its document went (a lock, and an unlock quicker than the save): what it
// wrote is the file now, and the document shown describes it only in the ways checked here. Whatever
// else is shown keeps the digest it was loaded with, so that its next save is refused rather than write
// over the edits of this one.
void finish_save_of_another_document(OpenFile& file, const SaveRequest& request, const SaveResult& result,
                                     SaveJob& job)
{
    LoadedFile* loaded = file.loaded_file.get();
    const bool same_file = loaded && shown_document(file.tree) && loaded->path == request.path;
    if (same_file && file.edits_after_save == job.id()) {
        // Edits kept beyond this save, shown again: they stand on what it wrote.
        loaded->digest = result.digest;
        file.edits_after_save = 0;
    } else if (same_file && loaded->digest == request.expected_digest && !file.unsaved_edits) {
        // The unlock loaded the version this save replaced, and nothing was edited since: the window
        // shows what was saved, as it would after a load of the file now.
        show_saved_text(file, job.plaintext());
        loaded->digest = result.digest;
    } else if (same_file && loaded->digest == request.expected_digest) {
        file.status.say(format(_("Saved %s. The window shows the file as it was before that save; your "
                                   "changes since are not saved yet."),
                                 shown_name(request.path).c_str()));
        return;
    }
    std::string text = format(_("Saved %s."), shown_name(request.path).c_str());
    if (!result.reason.empty())
        text.append(" ").append(valid_text(result.reason));
    file.status.say(text);
}

void finish_save(OpenFile& file, const SaveRequest& request, SaveResult result, unsigned generation,
                 SaveChoice choice, SaveThen then, SaveJob& job)
{
    const std::string name = shown_name(request.path);
    switch (result.outcome) {
    case SaveOutcome::Saved: {
        // Edits a lock kept beyond this save now stand on the file it wrote.
        if (HeldEdits* held = file.held_edits.get();
            held && held->path == request.path &&
            (held->after_save == job.id() || held->digest == request.expected_digest)) {
            held->digest = result.digest;
            held->after_save = 0;
        }
        if (!job.of_shown_document()) {
            finish_save_of_another_document(file, request, result, job);
            if (then)
                then();
            return;
        }
        if (file.loaded_file) {
            LoadedFile& loaded = *file.loaded_file;
            loaded.digest = result.digest;
            if (!choice.path.empty()) {
                // The window works on the file just written from now on: Refresh, the unlock and the watch
                // go to it, for this run, as to a path given on the command line (the stored default stays).
                loaded.path = choice.path;
                file.settings.values.password_file_path = choice.path;
                file.settings.file_path_given = true;
                watch_loaded_file(file);
            }
            if (choice.new_passphrase)
                loaded.passphrase = choice.passphrase;
            if (choice.new_recipients)
                loaded.recipients = choice.recipients;
        }
        // Edits made while the save ran are not in the file yet.
        if (generation == file.edit_generation)
            note_document_saved(file);
        std::string text = format(_("Saved %s."), name.c_str());
        if (!result.reason.empty())
            text.append(" ").append(valid_text(result.reason));
        file.status.say(text);
        if (then)
            then();
        return;
    }
    case SaveOutcome::Cancelled:
        file.status.say(_("Saving stopped: nothing was written."));
        return;
    case SaveOutcome::ChangedOnDisk:
        file.status.say(format(_("Not saved: %s."), valid_text(result.reason).c_str()));
        answer_changed_on_disk(file, valid_text(result.reason), std::move(choice));
        return;
    case SaveOutcome::RecipientUnusable: {
        const std::string why = format(_("The key of recipient %s cannot be used: %s."),
                                       valid_text(result.recipient).c_str(), valid_text(result.reason).c_str());
        file.status.say(format(_("Not saved: %s"), why.c_str()));
        show_error(file, format(_("%s was not saved."), name.c_str()),
                   why + " " + _("Nothing was written; your changes are kept."));
        return;
    }
    case SaveOutcome::Failed: {
        const std::string why = valid_text(result.reason.empty() ? std::string("gpg failed") : result.reason);
        file.status.say(format(_("Not saved: %s"), why.c_str()));
        show_error(file, format(_("%s was not saved."), name.c_str()),
                   why + ". " + _("The file on disk is unchanged; your changes are kept."));
        return;
    }
    }
}

// The edits of a save whose document a lock took: nothing else holds them now.
bool hold_edits(OpenFile& file, const SaveRequest& request, const std::string& plaintext, unsigned generation)
{
    // Edits newer than this save's hold its edits too: kept at the lock, or shown already by an unlock
    // that was quicker than the save.
    if (file.held_edits && file.held_edits->path == request.path) {
        if (!show_held_edits(file))
            note_document_edited(file);
        return true;
    }
    if (shown_document(file.tree) && file.edit_generation != generation)
        return true;
    auto held = std::make_unique<HeldEdits>();
    held->path = request.path;
    held->digest = request.expected_digest;
    if (!held->plaintext.assign(plaintext) && !plaintext.empty())
        return false;
    file.held_edits = std::move(held);
    // The unlock may have been quicker than the save: the file it loaded gets them now.
    if (!show_held_edits(file))
        note_document_edited(file); // the title's mark: a way out asks before they go
    return true;
}

// What the user learns of a failed save whose edits are held: nothing was written, and they come back.
void finish_held_save(OpenFile& file, const SaveRequest& request, const SaveResult& result)
{
    const std::string name = shown_name(request.path);
    std::string why;
    if (result.outcome == SaveOutcome::RecipientUnusable)
        why = format(_("The key of recipient %s cannot be used: %s."), valid_text(result.recipient).c_str(),
                     valid_text(result.reason).c_str());
    else
        why = valid_text(result.reason.empty() ? std::string("gpg failed") : result.reason) + ".";
    file.status.say(format(_("Not saved: %s"), why.c_str()));
    show_error(file, format(_("%s was not saved."), name.c_str()),
               why + " " + _("Nothing was written; your changes are kept and come back when you unlock."));
}

// ---- watching the loaded file ----

void on_file_changed(GFileMonitor*, GFile*, GFile*, GFileMonitorEvent event, OpenFile* file)
{
    if (event != G_FILE_MONITOR_EVENT_CHANGES_DONE_HINT && event != G_FILE_MONITOR_EVENT_CREATED &&
        event != G_FILE_MONITOR_EVENT_DELETED && event != G_FILE_MONITOR_EVENT_ATTRIBUTE_CHANGED)
        return;
    // With edits, the save's own check speaks; while a save runs, the change may be that save.
    if (!file->loaded_file || file->unsaved_edits || file->save)
        return;
    const std::optional<std::string> digest = file_digest(file->loaded_file->path);
    if (digest && *digest == file->loaded_file->digest)
        return;
    file->status.say(_("The password file was changed on disk."));
    file->status.show_reload(true);
}

void watch_loaded_file(OpenFile& file)
{
    file.file_monitor.reset();
    if (!file.loaded_file)
        return;
    RefPtr<GFile> watched = take_ref(g_file_new_for_path(file.loaded_file->path.c_str()));
    file.file_monitor = take_ref(g_file_monitor_file(watched.get(), G_FILE_MONITOR_NONE, nullptr, nullptr));
    if (file.file_monitor)
        g_signal_connect(file.file_monitor.get(), "changed", G_CALLBACK(on_file_changed), &file);
}

// ---- Change passphrase… ----

GtkWidget* masked_entry()
{
    GtkWidget* entry = gtk_entry_new();
    gtk_entry_set_visibility(GTK_ENTRY(entry), FALSE);
    gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
    return entry;
}

void change_symmetric_passphrase(OpenFile& file)
{
    GtkWidget* dialog =
        gtk_dialog_new_with_buttons(_("Change passphrase"), file.parent(), GTK_DIALOG_MODAL, GTK_STOCK_CANCEL,
                                    GTK_RESPONSE_CANCEL, GTK_STOCK_OK, GTK_RESPONSE_OK, nullptr);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    close_on_lock(dialog);
    GtkWidget* table = gtk_table_new(3, 2, FALSE);
    gtk_container_set_border_width(GTK_CONTAINER(table), 6);
    gtk_table_set_row_spacings(GTK_TABLE(table), 4);
    gtk_table_set_col_spacings(GTK_TABLE(table), 6);
    GtkWidget* first = masked_entry();
    GtkWidget* second = masked_entry();
    GtkWidget* first_label = gtk_label_new_with_mnemonic(_("_New passphrase:"));
    GtkWidget* second_label = gtk_label_new_with_mnemonic(_("_Repeat it:"));
    gtk_label_set_mnemonic_widget(GTK_LABEL(first_label), first);
    gtk_label_set_mnemonic_widget(GTK_LABEL(second_label), second);
    gtk_misc_set_alignment(GTK_MISC(first_label), 0, 0.5);
    gtk_misc_set_alignment(GTK_MISC(second_label), 0, 0.5);
    GtkWidget* message = gtk_label_new("");
    gtk_table_attach_defaults(GTK_TABLE(table), first_label, 0, 1, 0, 1);
    gtk_table_attach_defaults(GTK_TABLE(table), first, 1, 2, 0, 1);
    gtk_table_attach_defaults(GTK_TABLE(table), second_label, 0, 1, 1, 2);
    gtk_table_attach_defaults(GTK_TABLE(table), second, 1, 2, 1, 2);
    gtk_table_attach_defaults(GTK_TABLE(table), message, 0, 2, 2, 3);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), table, TRUE, TRUE, 0);
    gtk_widget_show_all(dialog);

    SaveChoice choice;
    bool chosen = false;
    while (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK) {
        const std::string_view typed = gtk_entry_get_text(GTK_ENTRY(first));
        const std::string_view again = gtk_entry_get_text(GTK_ENTRY(second));
        if (typed.empty()) {
            gtk_label_set_text(GTK_LABEL(message), _("The passphrase must not be empty."));
        } else if (typed != again) {
            gtk_label_set_text(GTK_LABEL(message), _("The two passphrases differ."));
        } else {
            choice.new_passphrase = true;
            choice.passphrase.assign(typed);
            chosen = true;
            break;
        }
        gtk_entry_set_text(GTK_ENTRY(second), "");
        gtk_widget_grab_focus(second);
    }
    // The entries' buffers are the toolkit's; emptying them is what can be done.
    gtk_entry_set_text(GTK_ENTRY(first), "");
    gtk_entry_set_text(GTK_ENTRY(second), "");
    gtk_widget_destroy(dialog);
    if (chosen)
        start_save(file, std::move(choice));
}

unsigned next_save_id()
{
    static unsigned last = 0;
    return ++last;
}

} // namespace

SaveJob::SaveJob(OpenFile& file, SaveRequest request, std::string plaintext, unsigned generation, SaveChoice choice)
    : file_(file), request_(std::move(request)), plaintext_(std::move(plaintext)), generation_(generation),
      document_serial_(file.document_serial), id_(next_save_id()), choice_(std::move(choice))
{
    worker_ = std::thread([this] {
        result_ = save_encrypted(encryption_, request_, plaintext_);
        // A failed save may have to hand its copy over (see hold_edits_on_failure), a good one may be
        // shown in place of an older document (see finish_save_of_another_document); the job's end
        // overwrites it.
        request_.encrypt.passphrase.clear();
        done_source_ = g_idle_add(on_worker_done, this);
    });
}

SaveJob::~SaveJob()
{
    cancel();
    if (worker_.joinable())
        worker_.join();
    if (done_source_)
        g_source_remove(done_source_);
    scrub(plaintext_);
}

gboolean SaveJob::on_worker_done(gpointer data)
{
    auto* job = static_cast<SaveJob*>(data);
    job->worker_.join();
    job->done_source_ = 0;
    OpenFile& file = job->file_;
    std::unique_ptr<SaveJob> done = std::move(file.save);
    const bool failed = done->result_.outcome != SaveOutcome::Saved && done->result_.outcome != SaveOutcome::Cancelled;
    if (done->hold_on_failure_ && failed && hold_edits(file, done->request_, done->plaintext_, done->generation_)) {
        finish_held_save(file, done->request_, done->result_);
        return G_SOURCE_REMOVE;
    }
    finish_save(file, done->request_, std::move(done->result_), done->generation_, std::move(done->choice_),
                done->then_, *done);
    return G_SOURCE_REMOVE;
}

bool SaveJob::of_shown_document() const
{
    return document_serial_ == file_.document_serial;
}

bool save_running(const OpenFile& file)
{
    return file.save != nullptr;
}

bool start_save(OpenFile& file, SaveChoice choice, SaveThen then)
{
    const Document* document = shown_document(file.tree);
    if (save_running(file))
        return false;
    if (!document || !file.loaded_file) {
        // Nothing loaded, nothing to write: an empty file is never written over the real one.
        file.status.say(file.held_edits ? _("Unlock first to save the changes kept from before the lock.")
                                          : _("Nothing to save: no password file is loaded."));
        return false;
    }
    const LoadedFile& loaded = *file.loaded_file;
    SaveRequest request;
    request.path = choice.path.empty() ? loaded.path : choice.path;
    request.expected_digest = loaded.digest;
    request.check_digest = !choice.overwrite;
    if (request.check_digest && loaded.digest.empty()) {
        // The file changed while it was being loaded: what is on disk is not known to be what is shown.
        answer_changed_on_disk(file, _("the file changed while it was loaded"), std::move(choice));
        return false;
    }
    request.encrypt.symmetric = loaded.symmetric;
    request.encrypt.passphrase = choice.new_passphrase ? choice.passphrase : loaded.passphrase;
    request.encrypt.recipients = choice.new_recipients ? choice.recipients : loaded.recipients;
    const std::string name = shown_name(request.path);
    std::string plaintext;
    append_secret(plaintext, document->plaintext());
    file.save = std::make_unique<SaveJob>(file, std::move(request), std::move(plaintext), file.edit_generation,
                                          std::move(choice));
    file.save->then(then);
    file.status.show_reload(false);
    file.status.say(format(_("Saving %s…"), name.c_str()));
    return true;
}

void hold_edits_beyond_save(OpenFile& file)
{
    const Document* document = shown_document(file.tree);
    if (!file.save || !document || file.save->generation() == file.edit_generation)
        return;
    auto held = std::make_unique<HeldEdits>();
    held->path = file.save->request().path;
    held->digest = file.save->request().expected_digest;
    held->after_save = file.save->id();
    if (!held->plaintext.assign(document->plaintext()) && !document->plaintext().empty())
        return;
    file.held_edits = std::move(held);
}

bool show_held_edits(OpenFile& file)
{
    const Document* loaded = shown_document(file.tree);
    if (!file.held_edits || !loaded || !file.loaded_file || file.loaded_file->path != file.held_edits->path)
        return false;
    std::unique_ptr<Document> document = document_of_text(*loaded, file.held_edits->plaintext.view());
    // Edits of the file as it was: a save checks that it still is, and refuses to write over another's change.
    file.loaded_file->digest = file.held_edits->digest;
    const unsigned after_save = file.held_edits->after_save;
    file.held_edits.reset();
    file.show_document(std::move(document));
    file.edits_after_save = after_save;
    note_document_edited(file);
    file.status.say(_("Your changes from before the lock are back; they are not saved yet."));
    return true;
}

void save_document(OpenFile& file)
{
    start_save(file, SaveChoice{});
}

namespace {

// Which window asked for the keyring, and for which loaded file.
struct KeyringRequest {
    OpenFile* file_of_window;
    const LoadedFile* file;
};

void list_keyring_in_thread(GTask* task, gpointer, gpointer, GCancellable*)
{
    g_task_return_pointer(task, new KeyringListing(list_public_keys("gpg", KEYRING_LISTING_TIMEOUT)),
                          [](gpointer listing) { delete static_cast<KeyringListing*>(listing); });
}

void on_keyring_listed(GObject*, GAsyncResult* result, gpointer data)
{
    const std::unique_ptr<KeyringRequest> request(static_cast<KeyringRequest*>(data));
    OpenFile& file = *request->file_of_window;
    file.keyring_listing = false;
    const std::unique_ptr<KeyringListing> keyring(
        static_cast<KeyringListing*>(g_task_propagate_pointer(G_TASK(result), nullptr)));
    file.status.say("");
    // The lock or a reload meanwhile: the recipients would be chosen for a file gone.
    const LoadedFile* loaded = file.loaded_file.get();
    if (!keyring || loaded != request->file || !shown_document(file.tree))
        return;
    SaveChoice choice;
    if (!choose_recipients(file.parent(), loaded->recipients, *keyring,
                           choice.recipients))
        return;
    // The lock or a reload while the dialog was open: these recipients were chosen for a file gone.
    if (file.loaded_file.get() != loaded)
        return;
    choice.new_recipients = true;
    start_save(file, std::move(choice));
}

} // namespace

void change_passphrase(OpenFile& file)
{
    if (!file.loaded_file || !shown_document(file.tree)) {
        file.status.say(_("Nothing to save: no password file is loaded."));
        return;
    }
    if (file.loaded_file->symmetric) {
        change_symmetric_passphrase(file);
        return;
    }
    // A public-key file is opened by keys, not a passphrase: its recipients are what can change. The
    // keyring is listed beside the main loop (the timeout bounds a gpg that hangs: a keyring on a dead
    // network share, a locked keybox); the dialog opens when the listing is back.
    if (file.keyring_listing)
        return;
    file.keyring_listing = true;
    file.status.say(_("Listing the keys of your keyring…"));
    GTask* task = g_task_new(nullptr, nullptr, on_keyring_listed, new KeyringRequest{&file, file.loaded_file.get()});
    g_task_run_in_thread(task, list_keyring_in_thread);
    g_object_unref(task);
}

void remember_loaded_file(OpenFile& file, std::unique_ptr<LoadedFile> loaded)
{
    file.loaded_file = std::move(loaded);
    file.status.show_reload(false);
    watch_loaded_file(file);
}

void forget_loaded_file(OpenFile& file)
{
    file.file_monitor.reset();
    file.loaded_file.reset(); // its passphrase is overwritten as it goes
    file.status.show_reload(false);
    note_document_saved(file);
}

void reload_file(OpenFile& file)
{
    file.status.show_reload(false);
    if (file.loaded_file && file.loaded_file->symmetric && !file.loaded_file->passphrase.empty()) {
        std::string passphrase(file.loaded_file->passphrase.view());
        file.load(std::move(passphrase));
        return;
    }
    file.refresh();
}

} // namespace sealkeep
