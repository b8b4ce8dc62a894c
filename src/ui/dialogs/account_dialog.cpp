// The account dialog: seven labelled fields in a table, a message beside each refused value, the service
// field offering the four services that have templates, and the password row with Generate.
#include "ui/dialogs/account_dialog.h"

#include "core/text_encoding.h"
#include "ui/dialogs/password_field.h"
#include "ui/dialogs/value_entry.h"
#include "ui/i18n.h"
#include "ui/lock/lock.h"
#include "ui/settings/window_settings.h"

#include <array>

namespace sealkeep {

namespace {

struct AccountDialog {
    GtkWidget* dialog = nullptr;
    GtkWidget* ok = nullptr;
    std::array<GtkEntry*, FIELD_COUNT> entries{};
    std::array<GtkLabel*, FIELD_COUNT> problems{};
    PasswordField* password = nullptr;
};

// Mnemonics are unique in the whole dialog, its buttons (_Cancel, _OK, S_how, Ge_nerate) included.
constexpr std::array<const char*, FIELD_COUNT> LABELS{
    N_("Custo_mer"), N_("_Group"), N_("_Server"), N_("Ser_vice"), N_("Service _detail"), N_("_User"), N_("_Password"),
};

AccountText typed_values(const AccountDialog& dialog)
{
    AccountText typed;
    for (std::size_t i = 0; i < FIELD_COUNT; ++i)
        typed.value[i] = gtk_entry_get_text(dialog.entries[i]);
    return typed;
}

// OK waits for values that pass, and for at least one: an account of nothing is a slip of the Enter key.
bool may_answer_ok(const AccountText& typed)
{
    return account_text_ok(typed) && !account_text_blank(typed);
}

void check_fields(AccountDialog& dialog)
{
    for (std::size_t i = 0; i < FIELD_COUNT; ++i) {
        const ValueProblem problem =
            check_account_value(static_cast<AccountField>(i), gtk_entry_get_text(dialog.entries[i]));
        gtk_label_set_text(dialog.problems[i], value_problem_text(problem));
    }
    gtk_widget_set_sensitive(dialog.ok, may_answer_ok(typed_values(dialog)));
}

void on_field_changed(GtkEditable*, AccountDialog* dialog)
{
    check_fields(*dialog);
}

GtkLabel* problem_label()
{
    GtkWidget* label = gtk_label_new("");
    gtk_misc_set_alignment(GTK_MISC(label), 0, 0.5);
    // Red, as every refusal beside a field: the text says what is wrong, the colour draws the eye.
    GdkColor red;
    gdk_color_parse("#c00000", &red);
    gtk_widget_modify_fg(label, GTK_STATE_NORMAL, &red);
    return GTK_LABEL(label);
}

} // namespace

const char* value_problem_text(ValueProblem problem)
{
    switch (problem) {
    case ValueProblem::None:
        return "";
    case ValueProblem::Semicolon:
        return _("No semicolon here: it separates the values in the file.");
    case ValueProblem::LineBreak:
        return _("No line break: each account is one line of the file.");
    case ValueProblem::Nul:
        return _("No NUL character.");
    case ValueProblem::BlankBeforeSemicolon:
        return _("No blank before a semicolon: the file would lose it.");
    case ValueProblem::NotUtf8:
        return _("Not valid text.");
    }
    return "";
}

bool run_account_dialog(GtkWindow* parent, WindowSettings& settings, const char* title, AccountText& values)
{
    AccountDialog dialog;
    dialog.dialog = gtk_dialog_new_with_buttons(title, parent,
                                                GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                                GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL, nullptr);
    dialog.ok = gtk_dialog_add_button(GTK_DIALOG(dialog.dialog), GTK_STOCK_OK, GTK_RESPONSE_OK);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog.dialog), GTK_RESPONSE_OK);
    close_on_lock(dialog.dialog);

    GtkWidget* table = gtk_table_new(FIELD_COUNT + 1, 3, FALSE);
    gtk_container_set_border_width(GTK_CONTAINER(table), 8);
    gtk_table_set_row_spacings(GTK_TABLE(table), 4);
    gtk_table_set_col_spacings(GTK_TABLE(table), 8);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog.dialog))), table, TRUE, TRUE, 0);

    guint row = 0;
    for (std::size_t i = 0; i < FIELD_COUNT; ++i, ++row) {
        GtkWidget* label = gtk_label_new_with_mnemonic(_(LABELS[i]));
        gtk_misc_set_alignment(GTK_MISC(label), 0, 0.5);
        gtk_table_attach(GTK_TABLE(table), label, 0, 1, row, row + 1, GTK_FILL, GTK_FILL, 0, 0);
        GtkWidget* field;
        if (i == FIELD_SERVICE) {
            // Any word is a service; these four are the ones with a template.
            field = gtk_combo_box_entry_new_text();
            for (const char* service : {"ssh", "ftp", "http", "telnet"})
                gtk_combo_box_append_text(GTK_COMBO_BOX(field), service);
            dialog.entries[i] = GTK_ENTRY(gtk_bin_get_child(GTK_BIN(field)));
            use_value_buffer(dialog.entries[i]);
        } else if (i == FIELD_PASSWORD) {
            dialog.password = create_password_field(settings, GTK_WINDOW(dialog.dialog));
            field = dialog.password->row;
            dialog.entries[i] = dialog.password->entry;
        } else {
            field = value_entry_new();
            dialog.entries[i] = GTK_ENTRY(field);
        }
        gtk_entry_set_activates_default(dialog.entries[i], TRUE);
        gtk_entry_set_width_chars(dialog.entries[i], 28);
        gtk_label_set_mnemonic_widget(GTK_LABEL(label), GTK_WIDGET(dialog.entries[i]));
        gtk_table_attach(GTK_TABLE(table), field, 1, 2, row, row + 1, GtkAttachOptions(GTK_EXPAND | GTK_FILL), GTK_FILL,
                         0, 0);
        dialog.problems[i] = problem_label();
        gtk_table_attach(GTK_TABLE(table), GTK_WIDGET(dialog.problems[i]), 2, 3, row, row + 1, GTK_FILL, GTK_FILL, 0,
                         0);
        gtk_entry_set_text(dialog.entries[i], values.value[i].c_str());
        g_signal_connect(dialog.entries[i], "changed", G_CALLBACK(on_field_changed), &dialog);
    }
    gtk_table_attach(GTK_TABLE(table), GTK_WIDGET(dialog.password->strength), 1, 2, row, row + 1, GTK_FILL, GTK_FILL, 0,
                     0);
    // The hint for a password filled in from the record.
    g_signal_emit_by_name(dialog.password->entry, "changed");
    check_fields(dialog);
    gtk_widget_show_all(dialog.dialog);
    // The main window may go while the dialog runs (its owner closes it), and the dialog with it.
    g_object_add_weak_pointer(G_OBJECT(dialog.dialog), reinterpret_cast<gpointer*>(&dialog.dialog));
    gtk_widget_grab_focus(GTK_WIDGET(dialog.entries[FIELD_CUSTOMER]));

    bool ok = false;
    for (;;) {
        const gint response = gtk_dialog_run(GTK_DIALOG(dialog.dialog));
        if (response != GTK_RESPONSE_OK || !dialog.dialog)
            break;
        AccountText typed = typed_values(dialog);
        // Enter reaches OK even while it is insensitive: a refused value keeps the dialog open.
        if (may_answer_ok(typed)) {
            for (std::size_t i = 0; i < FIELD_COUNT; ++i) {
                scrub(values.value[i]);
                values.value[i] = typed.value[i];
            }
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
