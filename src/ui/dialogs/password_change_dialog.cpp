// Change password…: a user name, a new password (typed or generated) and, before OK, how many accounts
// of the selection it will change.
#include "ui/dialogs/password_change_dialog.h"

#include "core/document_edit.h"
#include "core/text_encoding.h"
#include "ui/dialogs/account_dialog.h"
#include "ui/dialogs/password_field.h"
#include "ui/dialogs/value_entry.h"
#include "ui/i18n.h"
#include "ui/lock/lock.h"
#include "ui/settings/window_settings.h"

namespace sealkeep {

namespace {

struct ChangeDialog {
    GtkWidget* dialog = nullptr;
    GtkWidget* ok = nullptr;
    GtkEntry* user = nullptr;
    PasswordField* password = nullptr;
    GtkLabel* problem = nullptr;
    GtkLabel* count = nullptr;
    const std::function<std::size_t(std::string_view)>* count_for = nullptr;
};

bool update(ChangeDialog& dialog)
{
    const std::size_t count = (*dialog.count_for)(gtk_entry_get_text(dialog.user));
    gchar* text = g_strdup_printf(P_("%zu account will change.", "%zu accounts will change.", count), count);
    gtk_label_set_text(dialog.count, text);
    g_free(text);
    const char* password = gtk_entry_get_text(dialog.password->entry);
    const ValueProblem problem = check_account_value(FIELD_PASSWORD, password);
    gtk_label_set_text(dialog.problem, value_problem_text(problem));
    const bool fine = count > 0 && problem == ValueProblem::None && !trim_value(password).empty();
    gtk_widget_set_sensitive(dialog.ok, fine);
    return fine;
}

void on_changed(GtkEditable*, ChangeDialog* dialog)
{
    update(*dialog);
}

} // namespace

bool run_password_change_dialog(GtkWindow* parent, WindowSettings& settings, std::string& user, std::string& password,
                                const std::function<std::size_t(std::string_view)>& count_for)
{
    ChangeDialog dialog;
    dialog.count_for = &count_for;
    dialog.dialog = gtk_dialog_new_with_buttons(_("Change password"), parent,
                                                GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                                GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL, nullptr);
    dialog.ok = gtk_dialog_add_button(GTK_DIALOG(dialog.dialog), GTK_STOCK_OK, GTK_RESPONSE_OK);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog.dialog), GTK_RESPONSE_OK);
    close_on_lock(dialog.dialog);

    GtkWidget* table = gtk_table_new(4, 3, FALSE);
    gtk_container_set_border_width(GTK_CONTAINER(table), 8);
    gtk_table_set_row_spacings(GTK_TABLE(table), 4);
    gtk_table_set_col_spacings(GTK_TABLE(table), 8);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog.dialog))), table, TRUE, TRUE, 0);

    GtkWidget* user_label = gtk_label_new_with_mnemonic(_("_User"));
    gtk_misc_set_alignment(GTK_MISC(user_label), 0, 0.5);
    dialog.user = GTK_ENTRY(value_entry_new());
    gtk_entry_set_text(dialog.user, user.c_str());
    gtk_entry_set_activates_default(dialog.user, TRUE);
    gtk_label_set_mnemonic_widget(GTK_LABEL(user_label), GTK_WIDGET(dialog.user));
    gtk_table_attach(GTK_TABLE(table), user_label, 0, 1, 0, 1, GTK_FILL, GTK_FILL, 0, 0);
    gtk_table_attach(GTK_TABLE(table), GTK_WIDGET(dialog.user), 1, 2, 0, 1, GtkAttachOptions(GTK_EXPAND | GTK_FILL),
                     GTK_FILL, 0, 0);

    GtkWidget* password_label = gtk_label_new_with_mnemonic(_("_Password"));
    gtk_misc_set_alignment(GTK_MISC(password_label), 0, 0.5);
    dialog.password = create_password_field(settings, GTK_WINDOW(dialog.dialog));
    gtk_label_set_mnemonic_widget(GTK_LABEL(password_label), GTK_WIDGET(dialog.password->entry));
    gtk_table_attach(GTK_TABLE(table), password_label, 0, 1, 1, 2, GTK_FILL, GTK_FILL, 0, 0);
    gtk_table_attach(GTK_TABLE(table), dialog.password->row, 1, 2, 1, 2, GtkAttachOptions(GTK_EXPAND | GTK_FILL),
                     GTK_FILL, 0, 0);
    GtkWidget* problem = gtk_label_new("");
    dialog.problem = GTK_LABEL(problem);
    GdkColor red;
    gdk_color_parse("#c00000", &red);
    gtk_widget_modify_fg(problem, GTK_STATE_NORMAL, &red);
    gtk_table_attach(GTK_TABLE(table), problem, 2, 3, 1, 2, GTK_FILL, GTK_FILL, 0, 0);
    gtk_table_attach(GTK_TABLE(table), GTK_WIDGET(dialog.password->strength), 1, 2, 2, 3, GTK_FILL, GTK_FILL, 0, 0);

    GtkWidget* count = gtk_label_new("");
    dialog.count = GTK_LABEL(count);
    gtk_misc_set_alignment(GTK_MISC(count), 0, 0.5);
    gtk_table_attach(GTK_TABLE(table), count, 0, 3, 3, 4, GTK_FILL, GTK_FILL, 0, 0);

    g_signal_connect(dialog.user, "changed", G_CALLBACK(on_changed), &dialog);
    g_signal_connect(dialog.password->entry, "changed", G_CALLBACK(on_changed), &dialog);
    update(dialog);
    gtk_widget_show_all(dialog.dialog);
    g_object_add_weak_pointer(G_OBJECT(dialog.dialog), reinterpret_cast<gpointer*>(&dialog.dialog));
    gtk_widget_grab_focus(GTK_WIDGET(dialog.password->entry));

    bool ok = false;
    for (;;) {
        const gint response = gtk_dialog_run(GTK_DIALOG(dialog.dialog));
        if (response != GTK_RESPONSE_OK || !dialog.dialog)
            break;
        if (update(dialog)) {
            user = gtk_entry_get_text(dialog.user);
            scrub(password);
            password = gtk_entry_get_text(dialog.password->entry);
            ok = true;
            break;
        }
    }
    if (dialog.dialog) {
        g_object_remove_weak_pointer(G_OBJECT(dialog.dialog), reinterpret_cast<gpointer*>(&dialog.dialog));
        gtk_widget_destroy(dialog.dialog);
    }
    return ok;
}

} // namespace sealkeep
