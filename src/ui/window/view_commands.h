// View menu commands, Refresh and About.
#pragma once

namespace sealkeep {

struct MainWindow;

void expand_a_little(MainWindow& main);
void unselect_all(MainWindow& main);
void collapse_all(MainWindow& main);
void expand_all(MainWindow& main);
// Stops a running load, shows the prompt and clears the tree.
void refresh_entries(MainWindow& main);
void show_about_dialog(MainWindow& main);

} // namespace sealkeep
