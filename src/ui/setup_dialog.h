// The Setup dialog and the password-file chooser.
#pragma once

namespace sealkeep {

struct MainWindow;

void show_setup_dialog(MainWindow& main);
void choose_password_file(MainWindow& main);

} // namespace sealkeep
