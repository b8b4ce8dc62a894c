// The six persistent settings values, held in memory for the whole run.
#pragma once

#include <array>
#include <string>

namespace sealkeep {

// Process-wide; owned here. Part of the program replaces them (command line, Setup, chooser),
// the settings store loads and saves them.
extern std::string password_file_path;
extern std::string ssh_cmd;
extern std::string cssh_cmd;
extern std::string ftp_cmd;
extern std::string telnet_cmd;
extern std::string http_cmd;

struct SettingKey {
    const char* key;
    std::string* value;
};

// Keys in the order in which they are read and written.
const std::array<SettingKey, 6>& setting_keys();

} // namespace sealkeep
