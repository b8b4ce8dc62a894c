// The order of the settings keys and the values they hold.
#include "core/settings_values.h"

namespace sealkeep {

const std::array<SettingKey, 6>& setting_keys()
{
    static const std::array<SettingKey, 6> keys{{
        {"sealkeep-file-path", &SettingsValues::password_file_path},
        {"ssh-cmd", &SettingsValues::ssh_cmd},
        {"cssh-cmd", &SettingsValues::cssh_cmd},
        {"ftp-cmd", &SettingsValues::ftp_cmd},
        {"telnet-cmd", &SettingsValues::telnet_cmd},
        {"http-cmd", &SettingsValues::http_cmd},
    }};
    return keys;
}

const std::array<IntSettingKey, 2>& int_setting_keys()
{
    static const std::array<IntSettingKey, 2> keys{{
        {"clipboard-clear-seconds", &SettingsValues::clipboard_clear_seconds},
        {"lock-idle-minutes", &SettingsValues::lock_idle_minutes},
    }};
    return keys;
}

} // namespace sealkeep
