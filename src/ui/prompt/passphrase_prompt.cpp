// The passphrase prompt panel: confirming the passphrase starts every load. The panel keeps nothing: its
// entry is emptied on every way out, and the show toggle starts off every time it is shown.
#include "ui/prompt/passphrase_prompt.h"

#include "core/text_encoding.h"
#include "ui/i18n.h"

#include <string>

namespace sealkeep {

namespace {

void on_entry_activate(GtkEntry*, PassphrasePrompt* prompt)
{
    on_passphrase_entered(*prompt);
}

void on_ok_clicked(GtkButton*, PassphrasePrompt* prompt)
{
    on_passphrase_entered(*prompt);
}

void on_cancel_clicked(GtkButton*, PassphrasePrompt* prompt)
{
    gtk_widget_hide(prompt->panel);
}

void on_prompt_hide(GtkWidget*, PassphrasePrompt* prompt)
{
    forget_passphrase(*prompt);
}

void on_prompt_show(GtkWidget*, PassphrasePrompt* prompt)
{
    forget_passphrase(*prompt);
    // The entry is empty, so taking the focus selects nothing and claims no PRIMARY selection.
    gtk_widget_grab_focus(GTK_WIDGET(prompt->entry));
}

// The window goes, and the panel with it: the prompt forgets its widgets.
void on_panel_destroy(GtkWidget*, PassphrasePrompt* prompt)
{
    prompt->panel = nullptr;
    prompt->entry = nullptr;
    prompt->toggle = nullptr;
}

void on_show_passphrase_toggled(GtkToggleButton* toggle, PassphrasePrompt* prompt)
{
    gtk_entry_set_visibility(prompt->entry, gtk_toggle_button_get_active(toggle));
}

} // namespace

void forget_passphrase(PassphrasePrompt& prompt)
{
    // The entry's buffer overwrites the text it drops.
    if (prompt.entry)
        gtk_entry_set_text(prompt.entry, "");
    if (prompt.toggle)
        gtk_toggle_button_set_active(prompt.toggle, FALSE);
}

void on_passphrase_entered(PassphrasePrompt& prompt)
{
    std::string passphrase = gtk_entry_get_text(prompt.entry);
    // Hiding empties the entry: the passphrase now lives only in the load's request.
    gtk_widget_hide(prompt.panel);
    prompt.entered(std::move(passphrase));
    scrub(passphrase);
}

void ask_passphrase_again(PassphrasePrompt& prompt)
{
    if (!prompt.panel)
        return;
    // Shown anew, the prompt's "show" handler empties its entry and gives it the focus.
    gtk_widget_hide(prompt.panel);
    gtk_widget_show(prompt.panel);
}

GtkWidget* create_passphrase_prompt(PassphrasePrompt& prompt)
{
    GtkWidget* panel = gtk_vbox_new(FALSE, 2);
    gtk_container_set_border_width(GTK_CONTAINER(panel), 2);
    prompt.panel = panel;

    GtkWidget* label = gtk_label_new(_("Please enter your PGP Passphrase:"));
    gtk_box_pack_start(GTK_BOX(panel), label, FALSE, FALSE, 2);

    GtkWidget* passphrase_row = gtk_hbox_new(FALSE, 2);
    gtk_box_pack_start(GTK_BOX(panel), passphrase_row, FALSE, FALSE, 0);
    GtkWidget* entry = gtk_entry_new();
    prompt.entry = GTK_ENTRY(entry);
    gtk_entry_set_visibility(GTK_ENTRY(entry), FALSE);
    gtk_box_pack_start(GTK_BOX(passphrase_row), entry, TRUE, TRUE, 0);
    GtkWidget* toggle = gtk_toggle_button_new();
    prompt.toggle = GTK_TOGGLE_BUTTON(toggle);
    gtk_button_set_image(GTK_BUTTON(toggle), gtk_image_new_from_stock(GTK_STOCK_FIND, GTK_ICON_SIZE_MENU));
    // A click to look at what was typed leaves the focus in the entry: the rest of the passphrase goes
    // there, and a blank in it does not flip the toggle back.
    gtk_button_set_focus_on_click(GTK_BUTTON(toggle), FALSE);
    gtk_box_pack_start(GTK_BOX(passphrase_row), toggle, FALSE, FALSE, 0);

    GtkWidget* button_row = gtk_hbox_new(FALSE, 2);
    gtk_box_pack_start(GTK_BOX(panel), button_row, FALSE, FALSE, 0);
    GtkWidget* spacer = gtk_alignment_new(0, 0, 0, 0);
    gtk_box_pack_start(GTK_BOX(button_row), spacer, TRUE, TRUE, 0);
    GtkWidget* ok = gtk_button_new_from_stock(GTK_STOCK_OK);
    gtk_box_pack_start(GTK_BOX(button_row), ok, FALSE, FALSE, 0);
    GtkWidget* cancel = gtk_button_new_from_stock(GTK_STOCK_CANCEL);
    gtk_box_pack_start(GTK_BOX(button_row), cancel, FALSE, FALSE, 0);

    g_signal_connect(entry, "activate", G_CALLBACK(on_entry_activate), &prompt);
    g_signal_connect(toggle, "toggled", G_CALLBACK(on_show_passphrase_toggled), &prompt);
    g_signal_connect(ok, "clicked", G_CALLBACK(on_ok_clicked), &prompt);
    g_signal_connect(cancel, "clicked", G_CALLBACK(on_cancel_clicked), &prompt);
    g_signal_connect(panel, "show", G_CALLBACK(on_prompt_show), &prompt);
    g_signal_connect(panel, "hide", G_CALLBACK(on_prompt_hide), &prompt);
    g_signal_connect(panel, "destroy", G_CALLBACK(on_panel_destroy), &prompt);
    return panel;
}

} // namespace sealkeep
