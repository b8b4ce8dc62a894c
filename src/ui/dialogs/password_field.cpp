// The password row shared by the account dialogs: masking, generating and the strength hint.
#include "ui/dialogs/password_field.h"

#include "core/password_generator.h"
#include "core/text_encoding.h"
#include "ui/dialogs/value_entry.h"
#include "ui/i18n.h"
#include "ui/lock/lock.h"
#include "ui/settings/settings_store.h"
#include "ui/settings/window_settings.h"

#include <array>
#include <string>

namespace sealkeep {

namespace {

const char* strength_text(Strength strength)
{
    switch (strength) {
    case Strength::Empty:
        return "";
    case Strength::Weak:
        return _("Strength: weak");
    case Strength::Fair:
        return _("Strength: fair");
    case Strength::Strong:
        return _("Strength: strong");
    }
    return "";
}

void on_password_changed(GtkEntry* entry, PasswordField* field)
{
    gtk_label_set_text(field->strength, strength_text(password_strength(gtk_entry_get_text(entry))));
}

void on_show_toggled(GtkToggleButton* toggle, PasswordField* field)
{
    gtk_entry_set_visibility(field->entry, gtk_toggle_button_get_active(toggle));
}

struct ClassChecks {
    std::array<GtkWidget*, 3> classes;
    GtkWidget* generate;
};

bool any_class_ticked(const ClassChecks& checks)
{
    for (GtkWidget* check : checks.classes)
        if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(check)))
            return true;
    return false;
}

void on_class_toggled(GtkToggleButton*, ClassChecks* checks)
{
    gtk_widget_set_sensitive(checks->generate, any_class_ticked(*checks));
}

void on_generate_clicked(GtkButton*, PasswordField* field)
{
    generate_into_field(*field);
}

void on_row_destroyed(GtkWidget*, PasswordField* field)
{
    delete field;
}

} // namespace

PasswordField* create_password_field(WindowSettings& settings, GtkWindow* dialog)
{
    auto* field = new PasswordField;
    field->settings = &settings;
    field->dialog = dialog;
    field->row = gtk_hbox_new(FALSE, 4);
    GtkWidget* entry = value_entry_new();
    field->entry = GTK_ENTRY(entry);
    gtk_entry_set_visibility(field->entry, FALSE);
    gtk_entry_set_activates_default(field->entry, TRUE);
    gtk_box_pack_start(GTK_BOX(field->row), entry, TRUE, TRUE, 0);

    // A new toggle each time a dialog is made: the password is masked at every opening.
    GtkWidget* show = gtk_toggle_button_new_with_mnemonic(_("S_how"));
    field->show = GTK_TOGGLE_BUTTON(show);
    gtk_box_pack_start(GTK_BOX(field->row), show, FALSE, FALSE, 0);

    field->generate = gtk_button_new_with_mnemonic(_("Ge_nerate"));
    gtk_widget_set_tooltip_text(field->generate, _("Make a new random password; choose its length and characters."));
    gtk_box_pack_start(GTK_BOX(field->row), field->generate, FALSE, FALSE, 0);

    field->strength = GTK_LABEL(gtk_label_new(""));
    gtk_misc_set_alignment(GTK_MISC(field->strength), 0, 0.5);

    g_signal_connect(entry, "changed", G_CALLBACK(on_password_changed), field);
    g_signal_connect(show, "toggled", G_CALLBACK(on_show_toggled), field);
    g_signal_connect(field->generate, "clicked", G_CALLBACK(on_generate_clicked), field);
    g_signal_connect(field->row, "destroy", G_CALLBACK(on_row_destroyed), field);
    return field;
}

bool generate_into_field(PasswordField& field)
{
    WindowSettings& settings = *field.settings;
    PasswordRecipe recipe = settings.values.password_recipe;

    GtkWidget* popup = gtk_dialog_new_with_buttons(_("Generate password"), field.dialog,
                                                   GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                                   GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL, nullptr);
    GtkWidget* generate = gtk_dialog_add_button(GTK_DIALOG(popup), _("Ge_nerate"), GTK_RESPONSE_OK);
    gtk_dialog_set_default_response(GTK_DIALOG(popup), GTK_RESPONSE_OK);
    close_on_lock(popup);
    gtk_window_set_resizable(GTK_WINDOW(popup), FALSE);
    GtkWidget* box = gtk_vbox_new(FALSE, 4);
    gtk_container_set_border_width(GTK_CONTAINER(box), 8);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(popup))), box, TRUE, TRUE, 0);

    GtkWidget* length_row = gtk_hbox_new(FALSE, 6);
    GtkWidget* length_label = gtk_label_new_with_mnemonic(_("_Length"));
    GtkWidget* length = gtk_spin_button_new_with_range(MIN_PASSWORD_LENGTH, MAX_PASSWORD_LENGTH, 1);
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(length), recipe.length);
    gtk_entry_set_activates_default(GTK_ENTRY(length), TRUE);
    gtk_label_set_mnemonic_widget(GTK_LABEL(length_label), length);
    gtk_box_pack_start(GTK_BOX(length_row), length_label, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(length_row), length, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), length_row, FALSE, FALSE, 0);

    GtkWidget* letters = gtk_check_button_new_with_mnemonic(_("L_etters (A-Z, a-z)"));
    GtkWidget* digits = gtk_check_button_new_with_mnemonic(_("_Digits (0-9)"));
    GtkWidget* punctuation = gtk_check_button_new_with_mnemonic(_("_Punctuation (no semicolon)"));
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(letters), recipe.letters);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(digits), recipe.digits);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(punctuation), recipe.punctuation);
    // A password of no class at all is no choice: Generate waits for one to be ticked.
    ClassChecks checks{{letters, digits, punctuation}, generate};
    for (GtkWidget* check : checks.classes) {
        gtk_box_pack_start(GTK_BOX(box), check, FALSE, FALSE, 0);
        g_signal_connect(check, "toggled", G_CALLBACK(on_class_toggled), &checks);
    }
    on_class_toggled(nullptr, &checks);
    gtk_widget_show_all(popup);
    // The popup goes with its parent, which may go while it runs.
    g_object_add_weak_pointer(G_OBJECT(popup), reinterpret_cast<gpointer*>(&popup));

    bool ok = false;
    while (!ok) {
        if (gtk_dialog_run(GTK_DIALOG(popup)) != GTK_RESPONSE_OK || !popup)
            break;
        ok = any_class_ticked(checks);
    }
    if (!popup)
        return false;
    g_object_remove_weak_pointer(G_OBJECT(popup), reinterpret_cast<gpointer*>(&popup));
    if (ok) {
        gtk_spin_button_update(GTK_SPIN_BUTTON(length));
        recipe.length = gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(length));
        recipe.letters = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(letters));
        recipe.digits = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(digits));
        recipe.punctuation = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(punctuation));
    }
    gtk_widget_destroy(popup);
    if (!ok)
        return false;
    if (!(recipe == settings.values.password_recipe)) {
        settings.values.password_recipe = recipe;
        save_password_recipe(settings.object.get(), recipe);
    }
    std::string password = generate_password(recipe);
    if (password.empty())
        return false; // the random source failed: better no password than a weak one
    gtk_entry_set_text(field.entry, password.c_str());
    scrub(password);
    gtk_widget_grab_focus(GTK_WIDGET(field.entry));
    return true;
}

} // namespace sealkeep
