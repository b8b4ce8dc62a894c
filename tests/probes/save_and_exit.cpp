// Saves the settings given on the command line and ends at once, as a program does that quits right
// after a Setup OK: whatever save_settings has not handed to dconf by then is lost.
#include "core/settings_values.h"
#include "ui/settings/settings_store.h"

#include <cstdio>

int main(int argc, char** argv)
{
    sealkeep::RefPtr<GSettings> settings = sealkeep::open_settings();
    sealkeep::SettingsValues values = sealkeep::load_settings(settings.get());
    const auto& keys = sealkeep::setting_keys();
    if (argc != static_cast<int>(keys.size()) + 1) {
        std::fprintf(stderr, "usage: %s PATH SSH CSSH FTP TELNET HTTP\n", argv[0]);
        return 2;
    }
    sealkeep::SettingFields fields;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        values.*keys[i].value = argv[i + 1];
        fields.push_back(keys[i].value);
    }
    sealkeep::save_settings(settings.get(), values, fields);
    return 0;
}
