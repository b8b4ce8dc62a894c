// Saves the settings given on the command line and ends at once, as a program does that quits right
// after a Setup OK: whatever save_settings has not handed to dconf by then is lost.
#include "ui/settings_store.h"
#include "core/settings_values.h"

#include <cstdio>

int main(int argc, char** argv)
{
    sealkeep::load_settings();
    const auto& keys = sealkeep::setting_keys();
    if (argc != static_cast<int>(keys.size()) + 1) {
        std::fprintf(stderr, "usage: %s PATH SSH CSSH FTP TELNET HTTP\n", argv[0]);
        return 2;
    }
    for (std::size_t i = 0; i < keys.size(); ++i)
        *keys[i].value = argv[i + 1];
    sealkeep::save_settings();
    return 0;
}
