// The main window: its stack of children, the hidden clipboard entry and the status icon.
#pragma once

#include <gtk/gtk.h>

namespace sealkeep {

inline constexpr const char* KEY_SEARCH_ENTRY = "sealkeep_search_entry";
inline constexpr const char* KEY_CLIPBOARD = "sealkeep_clipboard";
inline constexpr const char* KEY_PROMPT_PASSWD = "sealkeep_prompt_passwd";
inline constexpr const char* KEY_TREE_VIEW = "sealkeep_tree_view";

inline constexpr const char* WINDOW_ICON = "gtk-dialog-authentication";

// Builds and shows the main window; call once, before any other toplevel exists.
GtkWidget* create_main_window();

// The first toplevel the process made, which is the main window (null before it exists).
GtkWidget* main_window();

// A shared widget registered on the main window under one of the keys above.
GtkWidget* main_window_widget(const char* key);

gboolean on_window_state_event(GtkWidget* window, GdkEventWindowState* event, gpointer data);
void on_status_icon_activate(GtkWidget* window);

// The status icon made by create_main_window (for its tray behaviour and tests).
GtkStatusIcon* main_status_icon();

} // namespace sealkeep
