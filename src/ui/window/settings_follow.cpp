// Following the settings store: the "changed" signal of the window's settings object.
#include "ui/window/settings_follow.h"

#include "ui/dialogs/setup_dialog.h"
#include "ui/i18n.h"
#include "ui/lock/lock.h"
#include "ui/search/search_bar.h"
#include "ui/settings/settings_store.h"
#include "ui/tree/account_model.h"
#include "ui/file/load_job.h"
#include "ui/window/main_window.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace sealkeep {

namespace {

// dconf gives back the value a write of ours replaced when it could not store the write (no session
// bus, say). The value in use stays ours for this run; the user is told it will not outlive it, since
// Setup closed as if all was well. dconf gives each key back, maybe more than once: one warning at a
// time, and it does not hold up the window.
void on_not_stored_dialog_destroyed(GtkWidget*, MainWindow* main)
{
    main->settings.not_stored_dialog = nullptr;
}

void tell_not_stored(MainWindow& main)
{
    if (main.settings.not_stored_dialog || !main.window)
        return;
    GtkWidget* dialog = gtk_message_dialog_new(GTK_WINDOW(main.window), GTK_DIALOG_DESTROY_WITH_PARENT,
                                               GTK_MESSAGE_WARNING, GTK_BUTTONS_CLOSE, "%s",
                                               _("The settings could not be stored."));
    gtk_message_dialog_format_secondary_text(
        GTK_MESSAGE_DIALOG(dialog), "%s",
        _("The settings store (dconf, over the session bus) cannot be reached. The new values hold until "
          "Sealkeep ends; set them again once the store can be reached."));
    gtk_window_set_title(GTK_WINDOW(dialog), _("Settings not stored"));
    g_signal_connect_swapped(dialog, "response", G_CALLBACK(gtk_widget_destroy), dialog);
    g_signal_connect(dialog, "destroy", G_CALLBACK(on_not_stored_dialog_destroyed), &main);
    main.settings.not_stored_dialog = dialog;
    gtk_widget_show(dialog);
}

void on_settings_changed(GSettings* settings, const gchar* key_name, MainWindow* main)
{
    for (const auto& key : setting_keys()) {
        if (std::strcmp(key.key, key_name) != 0)
            continue;
        GCharPtr text{g_settings_get_string(settings, key.key)};
        if (is_own_write_taken_back(settings, key.key, text.get())) {
            const std::string& in_use = main->settings.values.*key.value;
            const bool is_path = key.value == &SettingsValues::password_file_path;
            if ((is_path ? stored_form_of_path(in_use) : in_use) != text.get())
                tell_not_stored(*main);
            return;
        }
        SettingsValues stored;
        load_setting(settings, key, stored);
        const bool is_path = key.value == &SettingsValues::password_file_path;
        // A path from the command line outlives a change of the stored default made elsewhere, until the
        // user picks a file.
        if (is_path && main->settings.file_path_given)
            return;
        main->settings.values.*key.value = stored.*key.value;
        use_current_templates(*main);
        show_outside_change_in_setup(main->setup, key.value);
        return;
    }
    if (std::strcmp(key_name, SEARCH_FILTER_KEY) == 0) {
        follow_search_filter(main->search, g_settings_get_boolean(settings, SEARCH_FILTER_KEY));
        return;
    }
    for (const auto& key : int_setting_keys()) {
        if (std::strcmp(key.key, key_name) != 0)
            continue;
        const int stored = g_settings_get_int(settings, key.key);
        if (is_own_write_taken_back(settings, key.key, std::to_string(stored))) {
            if (main->settings.values.*key.value != stored)
                tell_not_stored(*main);
            return;
        }
        main->settings.values.*key.value = stored;
        // A password already counting down keeps its delay; the idle time counts anew from now.
        if (key.value == &SettingsValues::lock_idle_minutes)
            set_idle_lock_seconds(main->lock, idle_lock_seconds(stored));
        show_outside_change_in_setup(main->setup, key.value);
        return;
    }
}

} // namespace

void use_current_templates(MainWindow& main)
{
    // The document's records build their command lines from the document's templates at each action.
    if (main.tree.model)
        account_model_use_templates(account_model_base(main.tree.model), main.settings.values);
}

void use_settings_from_setup(MainWindow& main)
{
    use_current_templates(main);
    set_idle_lock_seconds(main.lock, idle_lock_seconds(main.settings.values.lock_idle_minutes));
    if (stop_load(main.file) && main.prompt.panel)
        gtk_widget_show(main.prompt.panel);
}

void follow_settings_changes(MainWindow& main)
{
    if (!main.settings.object || main.settings.changed_handler)
        return;
    main.settings.changed_handler =
        g_signal_connect(main.settings.object.get(), "changed", G_CALLBACK(on_settings_changed), &main);
}

void stop_following_settings(MainWindow& main)
{
    if (main.settings.object && main.settings.changed_handler)
        g_signal_handler_disconnect(main.settings.object.get(), main.settings.changed_handler);
    main.settings.changed_handler = 0;
}

} // namespace sealkeep
