// The passphrase prompt panel: confirming the passphrase starts every load. The panel keeps nothing: its
// entry is emptied on every way out, and the show toggle starts off every time it is shown.
#include "ui/prompt/passphrase_prompt.h"

#include "core/text_encoding.h"
#include "ui/file/load_job.h"
#include "ui/i18n.h"
#include "ui/window/document_events.h"
#include "ui/window/main_window.h"

#include <string>

namespace sealkeep {

namespace {

void on_entry_activate(GtkEntry*, MainWindow* main)
{
    on_passphrase_entered(*main);
}

void on_ok_clicked(GtkButton*, MainWindow* main)
{
    on_passphrase_entered(*main);
}

void on_cancel_clicked(GtkButton*, MainWindow* main)
{
    gtk_widget_hide(main->prompt);
}

void on_prompt_hide(GtkWidget*, MainWindow* main)
{
    forget_passphrase(*main);
}

void on_prompt_show(GtkWidget*, MainWindow* main)
{
    forget_passphrase(*main);
    // The entry is empty, so taking the focus selects nothing and claims no PRIMARY selection.
    gtk_widget_grab_focus(GTK_WIDGET(main->prompt_entry));
}

void on_show_passphrase_toggled(GtkToggleButton* toggle, MainWindow* main)
{
    gtk_entry_set_visibility(main->prompt_entry, gtk_toggle_button_get_active(toggle));
}

} // namespace

void forget_passphrase(MainWindow& main)
{
    // The entry's buffer overwrites the text it drops.
    if (main.prompt_entry)
        gtk_entry_set_text(main.prompt_entry, "");
    if (main.prompt_toggle)
        gtk_toggle_button_set_active(main.prompt_toggle, FALSE);
}

void on_passphrase_entered(MainWindow& main)
{
    std::string passphrase = gtk_entry_get_text(main.prompt_entry);
    // Hiding empties the entry: the passphrase now lives only in the load's request.
    gtk_widget_hide(main.prompt);
    start_load(main, std::move(passphrase));
    scrub(passphrase);
}

void ask_passphrase_again(MainWindow& main)
{
    if (!main.prompt)
        return;
    // Shown anew, the prompt's "show" handler empties its entry and gives it the focus.
    gtk_widget_hide(main.prompt);
    gtk_widget_show(main.prompt);
}

void let_go_of_prompt(MainWindow& main)
{
    main.prompt = nullptr;
    main.prompt_entry = nullptr;
    main.prompt_toggle = nullptr;
}

GtkWidget* create_passphrase_prompt(MainWindow& main)
{
    GtkWidget* panel = gtk_vbox_new(FALSE, 2);
    gtk_container_set_border_width(GTK_CONTAINER(panel), 2);
    main.prompt = panel;

    GtkWidget* label = gtk_label_new(_("Please enter your PGP Passphrase:"));
    gtk_box_pack_start(GTK_BOX(panel), label, FALSE, FALSE, 2);

    GtkWidget* passphrase_row = gtk_hbox_new(FALSE, 2);
    gtk_box_pack_start(GTK_BOX(panel), passphrase_row, FALSE, FALSE, 0);
    GtkWidget* entry = gtk_entry_new();
    main.prompt_entry = GTK_ENTRY(entry);
    gtk_entry_set_visibility(GTK_ENTRY(entry), FALSE);
    gtk_box_pack_start(GTK_BOX(passphrase_row), entry, TRUE, TRUE, 0);
    GtkWidget* toggle = gtk_toggle_button_new();
    main.prompt_toggle = GTK_TOGGLE_BUTTON(toggle);
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

    g_signal_connect(entry, "activate", G_CALLBACK(on_entry_activate), &main);
    g_signal_connect(toggle, "toggled", G_CALLBACK(on_show_passphrase_toggled), &main);
    g_signal_connect(ok, "clicked", G_CALLBACK(on_ok_clicked), &main);
    g_signal_connect(cancel, "clicked", G_CALLBACK(on_cancel_clicked), &main);
    g_signal_connect(panel, "show", G_CALLBACK(on_prompt_show), &main);
    g_signal_connect(panel, "hide", G_CALLBACK(on_prompt_hide), &main);
    return panel;
}

} // namespace sealkeep
