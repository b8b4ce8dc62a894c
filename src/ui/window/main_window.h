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
#include "ui/glib_ptr.h"
#include "ui/lock/lock.h"
#include "ui/search/search_bar.h"
#include "ui/settings/window_settings.h"
#include "ui/status/status_row.h"
#include "ui/tree/account_tree.h"

#include <gio/gio.h>
#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <vector>

namespace sealkeep {

inline constexpr const char* WINDOW_ICON = "gtk-dialog-authentication";

class LoadJob;
class SaveJob;

struct MainWindow {
    MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;
    // Stops a running load (gpg ended, the worker joined) and releases every record.
    ~MainWindow();

    GtkWidget* window = nullptr;
    AccountTree tree; // the account views and the model shown
    GtkWidget* prompt = nullptr;
    GtkEntry* prompt_entry = nullptr;
    GtkToggleButton* prompt_toggle = nullptr;
    GtkEntry* search_entry = nullptr;
    StatusRow status; // the status line with its Clear now, Reload and Stop buttons
    RefPtr<GtkStatusIcon> status_icon;
    GtkWidget* status_icon_menu = nullptr; // the icon's right-click menu, destroyed with the state
    GtkWidget* setup_file_entry = nullptr; // the open Setup dialog's file entry, null while none is open
    // The open Setup dialog's entries, each with the text it was last given and the value behind that
    // text; empty while none is open. An entry whose text still equals it has not been edited: a change
    // from outside may replace it, and OK leaves its key alone.
    struct SetupField {
        GtkWidget* entry;
        std::string SettingsValues::*value;
        std::string shown;
        std::string behind;
    };
    std::vector<SetupField> setup_fields;
    // Its spin buttons for the integer settings, each with the value it was last given: the same rule.
    struct SetupLimit {
        GtkWidget* spin;
        int SettingsValues::*value;
        int shown;
    };
    std::vector<SetupLimit> setup_limits;

    WindowSettings settings; // the values in use and their store

    SearchState search;

    std::unique_ptr<LoadJob> load;               // the running load, if any
    std::vector<std::unique_ptr<LoadJob>> stopping; // cancelled loads whose workers have not ended yet
    guint progress_source = 0;                      // the load's progress in the status bar

    // Edits of the document not yet in the file (the title shows a mark), and a count of edits, by which
    // a save that ends knows whether the document is still what it wrote.
    bool unsaved_edits = false;
    unsigned edit_generation = 0;
    // Which document the window shows: changes whenever the tree is emptied (a lock, Refresh, a load),
    // not at an edit. A save that ends knows by it whether it wrote the document shown.
    unsigned document_serial = 0;
    // The running save whose text the shown document's edits stand on (kept at a lock beyond that save
    // and shown again before it ended); 0: none.
    unsigned edits_after_save = 0;
    bool keyring_listing = false; // the keyring is being listed for the recipients dialog
    std::unique_ptr<LoadedFile> loaded_file; // what a save needs of the file the document came from
    std::unique_ptr<SaveJob> save;           // the running save, if any
    std::unique_ptr<HeldEdits> held_edits;   // edits a lock took whose save failed, until the unlock
    RefPtr<GFileMonitor> file_monitor;       // the loaded file, for changes made by others

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
