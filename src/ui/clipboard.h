// Copying through the main window's hidden entry, so that CLIPBOARD and PRIMARY both hold the value.
#pragma once

#include <string_view>

namespace sealkeep {

struct MainWindow;

// An empty value copies nothing (an empty entry has no selection): the clipboard keeps what it held.
void copy_to_clipboard(MainWindow& main, std::string_view value);

} // namespace sealkeep
