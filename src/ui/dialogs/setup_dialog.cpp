// The Setup dialog, which edits the settings values, and the chooser that picks another password file
// and starts over with it. Each stores only what the user changed.
#include "ui/dialogs/setup_dialog.h"

#include "core/record_reader.h"
#include "core/settings_values.h"
#include "ui/dialogs/chooser_end.h"
#include "ui/file/open_file.h"
#include "ui/file/save_job.h"
#include "ui/file/unsaved_edits.h"
#include "ui/glib_ptr.h"
#include "ui/i18n.h"
#include "ui/settings/settings_store.h"
#include "ui/settings/window_settings.h"

#include <array>
#include <cstring>
#include <string>

namespace sealkeep {

namespace {

struct TemplateRow {
    const char* label;
    std::string SettingsValues::*value;
};

// The rows of the command table, top to bottom.
const std::array<TemplateRow, 5>& template_rows()
{
    static const std::array<TemplateRow, 5> rows{{
        {N_("SSH command"), &SettingsValues::ssh_cmd},
        {N_("CSSH command"), &SettingsValues::cssh_cmd},
        {N_("FTP command"), &SettingsValues::ftp_cmd},
        {N_("TELNET command"), &SettingsValues::telnet_cmd},
        {N_("HTTP command"), &SettingsValues::http_cmd},
    }};
    return rows;
}

bool is_path(std::string SettingsValues::*field)
{
    return field == &SettingsValues::password_file_path;
}

// An entry shows a path in GLib's display form, which stands in for bytes that are no text in the
// file-name encoding; the bytes themselves are kept beside it.
std::string shown_text(std::string SettingsValues::*field, const std::string& value)
{
    if (!is_path(field))
        return value;
    GCharPtr shown{g_filename_display_name(value.c_str())};
    return shown.get();
}

// What the user typed is text; a path made of it is in the file-name encoding.
std::string typed_value(std::string SettingsValues::*field, const char* text)
{
    if (!is_path(field))
        return text;
    GCharPtr path{g_filename_from_utf8(text, -1, nullptr, nullptr, nullptr)};
    return path ? path.get() : text;
}

void show_value(SetupField& field, const std::string& value)
{
    field.behind = value;
    field.shown = shown_text(field.value, value);
    gtk_entry_set_text(GTK_ENTRY(field.entry), field.shown.c_str());
}

bool edited(const SetupField& field)
{
    return field.shown != gtk_entry_get_text(GTK_ENTRY(field.entry));
}

SetupField* setup_field(SetupDialog& setup, std::string SettingsValues::*value)
{
    for (auto& field : setup.fields)
        if (field.value == value)
            return &field;
    return nullptr;
}

void add_setup_field(SetupDialog& setup, GtkWidget* entry, std::string SettingsValues::*value)
{
    setup.fields.push_back({entry, value, {}, {}});
    show_value(setup.fields.back(), setup.settings.values.*value);
}

void forget_setup_fields(GtkWidget*, SetupDialog* setup)
{
    setup->fields.clear();
    setup->limits.clear();
}

// A file chosen through the dialog's open button shows up in the dialog's entry for as long as the
// dialog is open; the entry's "destroy" forgets it, so the chooser never writes into a dialog that is gone.
void forget_file_entry(GtkWidget* entry, SetupDialog* setup)
{
    if (setup->file_entry == entry)
        setup->file_entry = nullptr;
}

void on_open_button_clicked(GtkButton*, SetupDialog* setup)
{
    choose_password_file(*setup);
}

GtkWidget* framed(const char* title, guint top, guint bottom, guint left, guint right, GtkWidget* content)
{
    GtkWidget* frame = gtk_frame_new(title);
    GtkWidget* alignment = gtk_alignment_new(0, 0, 1, 1);
    gtk_alignment_set_padding(GTK_ALIGNMENT(alignment), top, bottom, left, right);
    gtk_container_add(GTK_CONTAINER(alignment), content);
    gtk_container_add(GTK_CONTAINER(frame), alignment);
    return frame;
}

GtkWidget* build_file_row(SetupDialog& setup, GtkWidget** file_entry)
{
    GtkWidget* row = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row), gtk_label_new(_("Default file")), FALSE, FALSE, 2);

    *file_entry = gtk_entry_new();
    add_setup_field(setup, *file_entry, &SettingsValues::password_file_path);
    gtk_box_pack_start(GTK_BOX(row), *file_entry, TRUE, TRUE, 4);

    // The image is the button's child rather than its "image" property: the toolkit hides button images
    // when the desktop asks it to, and this button has nothing else to show.
    GtkWidget* open_button = gtk_button_new();
    gtk_container_add(GTK_CONTAINER(open_button), gtk_image_new_from_stock("gtk-open", GTK_ICON_SIZE_BUTTON));
    g_signal_connect(open_button, "clicked", G_CALLBACK(on_open_button_clicked), &setup);
    gtk_box_pack_start(GTK_BOX(row), open_button, FALSE, FALSE, 2);
    return row;
}

GtkWidget* build_template_table(SetupDialog& setup, std::array<GtkWidget*, 5>& entries)
{
    GtkWidget* table = gtk_table_new(5, 2, FALSE);
    gtk_table_set_col_spacings(GTK_TABLE(table), 6);
    const auto& rows = template_rows();
    for (guint r = 0; r < rows.size(); ++r) {
        GtkWidget* alignment = gtk_alignment_new(1.0, 0.5, 0, 0);
        gtk_container_add(GTK_CONTAINER(alignment), gtk_label_new(_(rows[r].label)));
        gtk_table_attach(GTK_TABLE(table), alignment, 0, 1, r, r + 1, GTK_FILL, GTK_FILL, 0, 0);

        entries[r] = gtk_entry_new();
        add_setup_field(setup, entries[r], rows[r].value);
        const auto grow = static_cast<GtkAttachOptions>(GTK_EXPAND | GTK_FILL);
        gtk_table_attach(GTK_TABLE(table), entries[r], 1, 2, r, r + 1, grow, grow, 0, 0);
    }
    return table;
}

struct LimitRow {
    const char* label;
    int SettingsValues::*value;
    int max; // as the schema's range allows
};

// The rows of the third frame: how long secrets are kept.
const std::array<LimitRow, 2>& limit_rows()
{
    static const std::array<LimitRow, 2> rows{{
        {N_("Clear a copied password after (seconds, 0: never)"), &SettingsValues::clipboard_clear_seconds, 86400},
        {N_("Lock after no input for (minutes, 0: never)"), &SettingsValues::lock_idle_minutes, 1440},
    }};
    return rows;
}

void show_limit(SetupLimit& limit, int value)
{
    limit.shown = value;
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(limit.spin), value);
}

GtkWidget* build_limit_table(SetupDialog& setup)
{
    GtkWidget* table = gtk_table_new(2, 2, FALSE);
    gtk_table_set_col_spacings(GTK_TABLE(table), 6);
    const auto& rows = limit_rows();
    for (guint r = 0; r < rows.size(); ++r) {
        GtkWidget* alignment = gtk_alignment_new(1.0, 0.5, 0, 0);
        gtk_container_add(GTK_CONTAINER(alignment), gtk_label_new(_(rows[r].label)));
        gtk_table_attach(GTK_TABLE(table), alignment, 0, 1, r, r + 1, GTK_FILL, GTK_FILL, 0, 0);

        GtkWidget* spin = gtk_spin_button_new_with_range(0, rows[r].max, 1);
        gtk_spin_button_set_numeric(GTK_SPIN_BUTTON(spin), TRUE);
        setup.limits.push_back({spin, rows[r].value, 0});
        show_limit(setup.limits.back(), setup.settings.values.*rows[r].value);
        gtk_table_attach(GTK_TABLE(table), spin, 1, 2, r, r + 1, GTK_FILL, GTK_FILL, 0, 0);
    }
    return table;
}

void wait_for_save(SetupDialog& setup)
{
    while (save_running(setup.file))
        gtk_main_iteration();
}

enum class EditsSettled { Kept, Saved, Discarded, Stay };

// OK with another file path leaves the loaded file behind: its unsaved edits are saved to it first or
// dropped, as the user says. Stay: Cancel, or a save that failed (its own message said why); the Setup
// dialog then stays open with nothing applied.
EditsSettled settle_edits_for_new_path(SetupDialog& setup)
{
    const SetupField* field = setup_field(setup, &SettingsValues::password_file_path);
    if (!field || !edited(*field) ||
        typed_value(field->value, gtk_entry_get_text(GTK_ENTRY(field->entry))) == setup.settings.values.password_file_path)
        return EditsSettled::Kept;
    // A save that runs already ends first: the question is about what it did not write.
    wait_for_save(setup);
    if (!setup.file.unsaved_edits)
        return EditsSettled::Kept;
    if (may_drop_edits(setup.file, {}))
        return EditsSettled::Discarded;
    wait_for_save(setup);
    return setup.file.unsaved_edits ? EditsSettled::Stay : EditsSettled::Saved;
}

} // namespace

void show_setup_dialog(SetupDialog& setup)
{
    GtkWidget* dialog =
        gtk_dialog_new_with_buttons(_("Setup"), setup.parent(), GTK_DIALOG_MODAL, "gtk-cancel",
                                    GTK_RESPONSE_CANCEL, "gtk-ok", GTK_RESPONSE_OK, nullptr);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    gtk_window_set_default_size(GTK_WINDOW(dialog), 320, -1);
    GtkBox* content = GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog)));
    setup.fields.clear();
    setup.limits.clear();
    g_signal_connect(dialog, "destroy", G_CALLBACK(forget_setup_fields), &setup);

    GtkWidget* file_entry = nullptr;
    GtkWidget* file_row = build_file_row(setup, &file_entry);
    gtk_box_pack_start(content, framed(_("Password file database encrypted whith GnuPG:"), 4, 4, 4, 4, file_row), FALSE,
                       FALSE, 2);
    setup.file_entry = file_entry;
    g_signal_connect(file_entry, "destroy", G_CALLBACK(forget_file_entry), &setup);

    std::array<GtkWidget*, 5> template_entries{};
    GtkWidget* table = build_template_table(setup, template_entries);
    gtk_box_pack_start(content, framed(_("External commands to launch:"), 8, 8, 4, 4, table), FALSE, FALSE, 2);

    GtkWidget* limits = build_limit_table(setup);
    gtk_box_pack_start(content, framed(_("Secrets kept short-lived:"), 8, 8, 4, 4, limits), FALSE, FALSE, 2);

    // Enter in any field is OK, as in every dialog of the desktop.
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    for (const auto& field : setup.fields)
        gtk_entry_set_activates_default(GTK_ENTRY(field.entry), TRUE);
    for (const auto& limit : setup.limits)
        gtk_entry_set_activates_default(GTK_ENTRY(limit.spin), TRUE);

    gtk_widget_show_all(dialog);
    EditsSettled settled = EditsSettled::Stay;
    while (settled == EditsSettled::Stay) {
        if (gtk_dialog_run(GTK_DIALOG(dialog)) != GTK_RESPONSE_OK) {
            // Cancel and closing the window discard the edits; a file already chosen through the open
            // button has been stored by the chooser and stays.
            gtk_widget_destroy(dialog);
            return;
        }
        settled = settle_edits_for_new_path(setup);
    }

    // Only the entries the user edited are taken, as typed: the templates are free text, and an empty one
    // is a valid choice. The others keep the value in use, which may have changed outside meanwhile.
    SettingFields changed;
    for (const auto& field : setup.fields) {
        if (!edited(field))
            continue;
        setup.settings.values.*field.value = typed_value(field.value, gtk_entry_get_text(GTK_ENTRY(field.entry)));
        changed.push_back(field.value);
        if (is_path(field.value))
            setup.settings.file_path_given = false;
    }
    for (const auto& limit : setup.limits) {
        // A value typed but not yet confirmed with Enter counts too; one the user left as shown is not
        // written, so a change made elsewhere meanwhile stays.
        gtk_spin_button_update(GTK_SPIN_BUTTON(limit.spin));
        const int value = gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(limit.spin));
        if (value == limit.shown)
            continue;
        setup.settings.values.*limit.value = value;
        for (const auto& key : int_setting_keys())
            if (key.value == limit.value)
                save_int_setting(setup.settings.object.get(), key.key, value);
    }
    gtk_widget_destroy(dialog);
    setup.applied();
    save_settings(setup.settings.object.get(), setup.settings.values, changed);
    // The discarded edits are still shown: the document goes, and the prompt offers the new file.
    if (settled == EditsSettled::Discarded)
        setup.refresh();
}

void show_outside_change_in_setup(SetupDialog& setup, int SettingsValues::*value)
{
    for (auto& limit : setup.limits) {
        if (limit.value != value)
            continue;
        gtk_spin_button_update(GTK_SPIN_BUTTON(limit.spin));
        if (gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(limit.spin)) == limit.shown)
            show_limit(limit, setup.settings.values.*value);
    }
}

void show_outside_change_in_setup(SetupDialog& setup, std::string SettingsValues::*value)
{
    SetupField* field = setup_field(setup, value);
    if (field && !edited(*field))
        show_value(*field, setup.settings.values.*value);
}

namespace {

const char* const ENCRYPTED_ENDINGS[] = {".gpg", ".asc", ".pgp"};

// Compared as bytes, without regard to ASCII case: a name that is no UTF-8 has no display name the
// toolkit's patterns could match (GIO adds a note to it), yet it is a file like any other.
bool looks_encrypted(const std::string& path)
{
    for (const char* ending : ENCRYPTED_ENDINGS) {
        const std::size_t length = std::strlen(ending);
        if (path.size() > length && g_ascii_strcasecmp(path.c_str() + path.size() - length, ending) == 0)
            return true;
    }
    return false;
}

gboolean has_encrypted_ending(const GtkFileFilterInfo* info, gpointer)
{
    const char* name = info->filename ? info->filename : info->display_name;
    return name && looks_encrypted(name);
}

// The chooser starts where the current password file is, with that file selected, rather than on the
// toolkit's list of recent files. A file that is gone leaves its folder; a folder that is gone, the home.
void start_at_current_file(GtkFileChooser* chooser, const std::string& stored_path)
{
    std::string current = expand_home(stored_path);
    if (!current.empty() && !g_path_is_absolute(current.c_str())) {
        GCharPtr here{g_get_current_dir()};
        GCharPtr joined{g_build_filename(here.get(), current.c_str(), nullptr)};
        current = joined.get();
    }
    if (!current.empty() && g_file_test(current.c_str(), G_FILE_TEST_IS_REGULAR)) {
        gtk_file_chooser_set_filename(chooser, current.c_str());
        return;
    }
    GCharPtr folder{g_path_get_dirname(current.c_str())};
    if (!current.empty() && g_file_test(folder.get(), G_FILE_TEST_IS_DIR))
        gtk_file_chooser_set_current_folder(chooser, folder.get());
    else
        gtk_file_chooser_set_current_folder(chooser, g_get_home_dir());
}

// Encrypted files by their usual endings, and all files for any other name. The current file stays
// visible: a name of another kind starts with all files shown.
void add_filters(GtkFileChooser* chooser, const std::string& current)
{
    GtkFileFilter* encrypted = gtk_file_filter_new();
    gtk_file_filter_set_name(encrypted, _("Encrypted files (*.gpg, *.asc, *.pgp)"));
    gtk_file_filter_add_custom(encrypted,
                               static_cast<GtkFileFilterFlags>(GTK_FILE_FILTER_FILENAME | GTK_FILE_FILTER_DISPLAY_NAME),
                               has_encrypted_ending, nullptr, nullptr);
    GtkFileFilter* all = gtk_file_filter_new();
    gtk_file_filter_set_name(all, _("All files"));
    gtk_file_filter_add_pattern(all, "*");
    gtk_file_chooser_add_filter(chooser, encrypted);
    gtk_file_chooser_add_filter(chooser, all);
    gtk_file_chooser_set_filter(chooser, current.empty() || looks_encrypted(current) ? encrypted : all);
}

} // namespace

void choose_password_file(SetupDialog& setup)
{
    // Another file replaces the document: its edits are saved or dropped first, as the user says.
    const bool edited = setup.file.unsaved_edits;
    if (!may_drop_edits(setup.file, [dialog = &setup] { choose_password_file(*dialog); }))
        return;
    bool opened = false;
    GtkWidget* chooser = gtk_file_chooser_dialog_new(_("Select a new password file"), setup.parent(),
                                                     GTK_FILE_CHOOSER_ACTION_OPEN, "gtk-cancel", GTK_RESPONSE_CANCEL,
                                                     "gtk-open", GTK_RESPONSE_OK, nullptr);
    // The filter is set once the file is selected: selecting a file the toolkit has not read yet drops the
    // filter set before.
    start_at_current_file(GTK_FILE_CHOOSER(chooser), setup.settings.values.password_file_path);
    add_filters(GTK_FILE_CHOOSER(chooser), setup.settings.values.password_file_path);
    if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_OK) {
        // A file without a local path (a remote location, or no file selected at all) gives no
        // filename; gpg could not open it anyway, so such an answer changes nothing. The filename is
        // the file's own bytes, whatever their encoding.
        GCharPtr filename{gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser))};
        if (filename) {
            setup.settings.values.password_file_path = filename.get();
            setup.settings.file_path_given = false;
            // The open Setup dialog shows the choice, which is stored already: its OK need not store it again.
            if (SetupField* field = setup_field(setup, &SettingsValues::password_file_path))
                show_value(*field, setup.settings.values.password_file_path);
            save_settings(setup.settings.object.get(), setup.settings.values, {&SettingsValues::password_file_path});
            setup.refresh();
            opened = true;
        }
    }
    end_file_chooser(chooser);
    // The edits were discarded for another file; with none chosen they are still shown, and still unsaved.
    if (edited && !opened && !setup.file.unsaved_edits)
        note_document_edited(setup.file);
}

} // namespace sealkeep
