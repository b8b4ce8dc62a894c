// The main window and the one object that owns its state: the widgets its builders made, the settings
// values in use, the records of the current load, the search state and the running load. Builders and
// handlers are handed this object; nothing of it lives in module-level variables.
#pragma once

#include "core/loaded_file.h"
#include "core/settings_values.h"
#include "ui/actions/account_edits.h"
#include "ui/actions/clipboard.h"
#include "ui/actions/entry_actions.h"
#include "ui/actions/login_service.h"
#include "ui/dialogs/setup_dialog.h"
#include "ui/file/open_file.h"
#include "ui/glib_ptr.h"
#include "ui/lock/lock.h"
#include "ui/prompt/passphrase_prompt.h"
#include "ui/search/search_bar.h"
#include "ui/settings/window_settings.h"
#include "ui/status/status_row.h"
#include "ui/tray/tray_icon.h"
#include "ui/tree/account_tree.h"

#include <gio/gio.h>
#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <vector>

namespace sealkeep {

inline constexpr const char* WINDOW_ICON = "gtk-dialog-authentication";

struct MainWindow {
    MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;
    // Stops a running load (gpg ended, the worker joined) and releases every record.
    ~MainWindow();

    // The parent of the parts' dialogs; null once the window went.
    GtkWindow* parent() const { return window ? GTK_WINDOW(window) : nullptr; }

    GtkWidget* window = nullptr;
    AccountTree tree; // the account views and the model shown
    PassphrasePrompt prompt; // the passphrase that starts every load
    StatusRow status; // the status line with its Clear now, Reload and Stop buttons
    TrayIcon tray; // the icon in the notification area and its menu

    WindowSettings settings; // the values in use and their store

    SearchState search{tree, settings}; // the search bar

    OpenFile file{status, tree, settings}; // the loads, the file loaded, the save and the unsaved edits
    SetupDialog setup{settings, file};     // the Setup dialog and the password-file chooser

    ClipboardState clipboard{status}; // what Sealkeep offers on the selections
    LockState lock;           // what brings the lock, and what is put back after it

    Login login{status}; // Log in's helper, socket and tokens
    AccountActions actions{tree, settings.values, clipboard, login, status};
    AccountEditing editing; // the Edit menu's commands
};

// Builds and shows the main window around its state.
std::unique_ptr<MainWindow> create_main_window(SettingsValues settings, RefPtr<GSettings> settings_object);

gboolean on_window_state_event(GtkWidget* window, GdkEventWindowState* event, MainWindow* main);
void on_status_icon_activate(MainWindow* main);

// Ends the main loop; what Sealkeep still owns of the selections is given up first.
void quit_program(MainWindow& main);

// One line in the status bar, replacing the last one.
void show_status(MainWindow& main, const std::string& text);

} // namespace sealkeep
