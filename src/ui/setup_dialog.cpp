// The Setup dialog, which edits the settings values, and the chooser that picks another password file
// and starts over with it.
#include "ui/setup_dialog.h"

#include "core/settings_values.h"
#include "ui/glib_ptr.h"
#include "ui/i18n.h"
#include "ui/load_job.h"
#include "ui/lock.h"
#include "ui/main_window.h"
#include "ui/settings_store.h"
#include "ui/view_commands.h"

#include <array>
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

// A file chosen through the dialog's open button shows up in the dialog's entry for as long as the
// dialog is open; the entry's "destroy" forgets it, so the chooser never writes into a dialog that is gone.
void forget_file_entry(GtkWidget* entry, MainWindow* main)
{
    if (main->setup_file_entry == entry)
        main->setup_file_entry = nullptr;
}

void on_open_button_clicked(GtkButton*, MainWindow* main)
{
    choose_password_file(*main);
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

GtkWidget* build_file_row(MainWindow& main, GtkWidget** file_entry)
{
    GtkWidget* row = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row), gtk_label_new(_("Default file")), FALSE, FALSE, 2);

    *file_entry = gtk_entry_new();
    gtk_entry_set_text(GTK_ENTRY(*file_entry), main.settings.password_file_path.c_str());
    gtk_box_pack_start(GTK_BOX(row), *file_entry, TRUE, TRUE, 4);

    // The image is the button's child rather than its "image" property: the toolkit hides button images
    // when the desktop asks it to, and this button has nothing else to show.
    GtkWidget* open_button = gtk_button_new();
    gtk_container_add(GTK_CONTAINER(open_button), gtk_image_new_from_stock("gtk-open", GTK_ICON_SIZE_BUTTON));
    g_signal_connect(open_button, "clicked", G_CALLBACK(on_open_button_clicked), &main);
    gtk_box_pack_start(GTK_BOX(row), open_button, FALSE, FALSE, 2);
    return row;
}

GtkWidget* build_template_table(const SettingsValues& values, std::array<GtkWidget*, 5>& entries)
{
    GtkWidget* table = gtk_table_new(5, 2, FALSE);
    gtk_table_set_col_spacings(GTK_TABLE(table), 6);
    const auto& rows = template_rows();
    for (guint r = 0; r < rows.size(); ++r) {
        GtkWidget* alignment = gtk_alignment_new(1.0, 0.5, 0, 0);
        gtk_container_add(GTK_CONTAINER(alignment), gtk_label_new(_(rows[r].label)));
        gtk_table_attach(GTK_TABLE(table), alignment, 0, 1, r, r + 1, GTK_FILL, GTK_FILL, 0, 0);

        entries[r] = gtk_entry_new();
        gtk_entry_set_text(GTK_ENTRY(entries[r]), (values.*rows[r].value).c_str());
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

GtkWidget* build_limit_table(const SettingsValues& values, std::array<GtkWidget*, 2>& spins)
{
    GtkWidget* table = gtk_table_new(2, 2, FALSE);
    gtk_table_set_col_spacings(GTK_TABLE(table), 6);
    const auto& rows = limit_rows();
    for (guint r = 0; r < rows.size(); ++r) {
        GtkWidget* alignment = gtk_alignment_new(1.0, 0.5, 0, 0);
        gtk_container_add(GTK_CONTAINER(alignment), gtk_label_new(_(rows[r].label)));
        gtk_table_attach(GTK_TABLE(table), alignment, 0, 1, r, r + 1, GTK_FILL, GTK_FILL, 0, 0);

        spins[r] = gtk_spin_button_new_with_range(0, rows[r].max, 1);
        gtk_spin_button_set_numeric(GTK_SPIN_BUTTON(spins[r]), TRUE);
        gtk_spin_button_set_value(GTK_SPIN_BUTTON(spins[r]), values.*rows[r].value);
        gtk_table_attach(GTK_TABLE(table), spins[r], 1, 2, r, r + 1, GTK_FILL, GTK_FILL, 0, 0);
    }
    return table;
}

} // namespace

void show_setup_dialog(MainWindow& main)
{
    GtkWidget* dialog =
        gtk_dialog_new_with_buttons(_("Setup"), GTK_WINDOW(main.window), GTK_DIALOG_MODAL, "gtk-cancel",
                                    GTK_RESPONSE_CANCEL, "gtk-ok", GTK_RESPONSE_OK, nullptr);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    gtk_window_set_default_size(GTK_WINDOW(dialog), 320, -1);
    GtkBox* content = GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog)));

    GtkWidget* file_entry = nullptr;
    GtkWidget* file_row = build_file_row(main, &file_entry);
    gtk_box_pack_start(content, framed(_("Password file database encrypted whith GnuPG:"), 4, 4, 4, 4, file_row), FALSE,
                       FALSE, 2);
    main.setup_file_entry = file_entry;
    g_signal_connect(file_entry, "destroy", G_CALLBACK(forget_file_entry), &main);

    std::array<GtkWidget*, 5> template_entries{};
    GtkWidget* table = build_template_table(main.settings, template_entries);
    gtk_box_pack_start(content, framed(_("External commands to launch:"), 8, 8, 4, 4, table), FALSE, FALSE, 2);

    std::array<GtkWidget*, 2> limit_spins{};
    GtkWidget* limits = build_limit_table(main.settings, limit_spins);
    gtk_box_pack_start(content, framed(_("Secrets kept short-lived:"), 8, 8, 4, 4, limits), FALSE, FALSE, 2);

    gtk_widget_show_all(dialog);
    if (gtk_dialog_run(GTK_DIALOG(dialog)) != GTK_RESPONSE_OK) {
        // Cancel and closing the window discard the edits; a file already chosen through the open
        // button has been stored by the chooser and stays.
        gtk_widget_destroy(dialog);
        return;
    }

    // Taken as typed: the templates are free text, and an empty one is a valid choice.
    main.settings.password_file_path = gtk_entry_get_text(GTK_ENTRY(file_entry));
    const auto& rows = template_rows();
    for (std::size_t r = 0; r < rows.size(); ++r)
        main.settings.*rows[r].value = gtk_entry_get_text(GTK_ENTRY(template_entries[r]));
    const auto& limits_rows = limit_rows();
    for (std::size_t r = 0; r < limits_rows.size(); ++r) {
        // A value typed but not yet confirmed with Enter counts too.
        gtk_spin_button_update(GTK_SPIN_BUTTON(limit_spins[r]));
        main.settings.*limits_rows[r].value = gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(limit_spins[r]));
    }
    gtk_widget_destroy(dialog);
    // A password already counting down keeps its delay; the idle time counts anew from now.
    set_idle_lock_seconds(main, static_cast<guint>(main.settings.lock_idle_minutes) * 60u);
    // A load that runs was started with the old path and templates: it stops, and the prompt offers
    // to start over with the new ones.
    if (stop_load(main) && main.prompt)
        gtk_widget_show(main.prompt);
    save_settings(main.settings_object.get(), main.settings);
}

void choose_password_file(MainWindow& main)
{
    GtkWidget* chooser = gtk_file_chooser_dialog_new(_("Select a new password file"), GTK_WINDOW(main.window),
                                                     GTK_FILE_CHOOSER_ACTION_OPEN, "gtk-cancel", GTK_RESPONSE_CANCEL,
                                                     "gtk-open", GTK_RESPONSE_OK, nullptr);
    if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_OK) {
        // A file without a local path (a remote location, or no file selected at all) gives no
        // filename; gpg could not open it anyway, so such an answer changes nothing.
        GCharPtr filename{gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser))};
        if (filename) {
            main.settings.password_file_path = filename.get();
            if (main.setup_file_entry)
                gtk_entry_set_text(GTK_ENTRY(main.setup_file_entry), main.settings.password_file_path.c_str());
            save_settings(main.settings_object.get(), main.settings);
            refresh_entries(main);
        }
    }
    gtk_widget_destroy(chooser);
}

} // namespace sealkeep
