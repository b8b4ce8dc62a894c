// Following the settings store: the "changed" signal of the window's settings object.
#include "ui/settings_follow.h"

#include "ui/lock.h"
#include "ui/main_window.h"
#include "ui/settings_store.h"
#include "ui/setup_dialog.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace sealkeep {

namespace {

void on_settings_changed(GSettings* settings, const gchar* key_name, MainWindow* main)
{
    for (const auto& key : setting_keys()) {
        if (std::strcmp(key.key, key_name) != 0)
            continue;
        GCharPtr text{g_settings_get_string(settings, key.key)};
        if (is_own_write_taken_back(settings, key.key, text.get()))
            return;
        SettingsValues stored;
        load_setting(settings, key, stored);
        const bool is_path = key.value == &SettingsValues::password_file_path;
        // A path from the command line outlives a change of the stored default made elsewhere, until the
        // user picks a file.
        if (is_path && main->file_path_given)
            return;
        main->settings.*key.value = stored.*key.value;
        show_outside_change_in_setup(*main, key.value);
        return;
    }
    for (const auto& key : int_setting_keys()) {
        if (std::strcmp(key.key, key_name) != 0)
            continue;
        const int stored = g_settings_get_int(settings, key.key);
        if (is_own_write_taken_back(settings, key.key, std::to_string(stored)))
            return;
        main->settings.*key.value = stored;
        // A password already counting down keeps its delay; the idle time counts anew from now.
        if (key.value == &SettingsValues::lock_idle_minutes)
            set_idle_lock_seconds(*main, static_cast<guint>(std::max(stored, 0)) * 60u);
        show_outside_change_in_setup(*main, key.value);
        return;
    }
}

} // namespace

void follow_settings_changes(MainWindow& main)
{
    if (!main.settings_object || main.settings_changed_handler)
        return;
    main.settings_changed_handler =
        g_signal_connect(main.settings_object.get(), "changed", G_CALLBACK(on_settings_changed), &main);
}

void stop_following_settings(MainWindow& main)
{
    if (main.settings_object && main.settings_changed_handler)
        g_signal_handler_disconnect(main.settings_object.get(), main.settings_changed_handler);
    main.settings_changed_handler = 0;
}

} // namespace sealkeep
