// The six persistent settings values and the order of their keys.
#include "core/settings_values.h"

namespace sealkeep {

std::string password_file_path;
std::string ssh_cmd;
std::string cssh_cmd;
std::string ftp_cmd;
std::string telnet_cmd;
std::string http_cmd;

const std::array<SettingKey, 6>& setting_keys()
{
    static const std::array<SettingKey, 6> keys{{
        {"sealkeep-file-path", &password_file_path},
        {"ssh-cmd", &ssh_cmd},
        {"cssh-cmd", &cssh_cmd},
        {"ftp-cmd", &ftp_cmd},
        {"telnet-cmd", &telnet_cmd},
        {"http-cmd", &http_cmd},
    }};
    return keys;
}

} // namespace sealkeep
