// The persistent settings values (six texts and two numbers), as one value that its holder owns: the window keeps the ones in
// use, and a load or a command gets a copy.
#pragma once

#include "core/password_generator.h"

#include <array>
#include <string>

namespace sealkeep {

struct SettingsValues {
    std::string password_file_path;
    std::string ssh_cmd;
    std::string cssh_cmd;
    std::string ftp_cmd;
    std::string telnet_cmd;
    std::string http_cmd;
    int clipboard_clear_seconds = 45; // a copied password leaves the selections after this; 0: never
    int lock_idle_minutes = 10;       // the window locks after this long without input; 0: never
    bool search_filter = false; // the search bar filters the tree instead of stepping through it
    PasswordRecipe password_recipe; // what Generate makes, as last chosen

    bool operator==(const SettingsValues&) const = default;
};

struct SettingKey {
    const char* key;
    std::string SettingsValues::*value;
};

// Keys in the order in which they are read and written.
const std::array<SettingKey, 6>& setting_keys();

struct IntSettingKey {
    const char* key;
    int SettingsValues::*value;
};

// The integer keys, read and written after the text keys.
const std::array<IntSettingKey, 2>& int_setting_keys();

} // namespace sealkeep
