// The main window: the stack of children in their fixed order, the status bar with its clear and stop
// buttons, the status icon with its menu and the window's behaviour when iconified or closed.
#include "ui/window/main_window.h"

#include "ui/actions/clipboard.h"
#include "ui/window/settings_follow.h"

#include "ui/actions/login_service.h"
#include "ui/file/load_job.h"
#include "ui/file/save_job.h"
#include "ui/file/unsaved_edits.h"
#include "ui/lock/lock.h"
#include "ui/prompt/passphrase_prompt.h"
#include "ui/search/search_bar.h"
#include "ui/tray/tray_icon.h"
#include "ui/tree/entry_store.h"
#include "ui/window/document_events.h"
#include "ui/window/view_commands.h"
#include "ui/window/menus.h"

#include <gdk/gdkkeysyms.h>

#include <algorithm>

namespace sealkeep {

namespace {

bool only_iconified(GdkWindowState state)
{
    // The whole set compared with the iconified flag alone: an iconified window that is also
    // maximized (or sticky, ...) does not count.
    return state == GDK_WINDOW_STATE_ICONIFIED;
}

void on_window_destroy(GtkWidget*, MainWindow* main)
{
    // Closing the window ends the program: the load is cancelled now, its worker joined at exit.
    if (main->file.load_job)
        main->file.load_job->cancel();
    release_clipboard(main->clipboard);
    stop_login_service(main->login);
    // The widgets go with the window; each part lets go of its own, so that nothing reaches them through
    // the state from here on (the status row and an open Setup dialog let go as their widgets go).
    main->window = nullptr;
    let_go_of_tree(main->tree);
    gtk_main_quit();
}

// While a load runs, keys go to no text field: Escape stops the load, accelerators and mnemonics
// still work (Quit among them), and every other key is dropped.
gboolean on_window_key_press(GtkWidget* window, GdkEventKey* event, MainWindow* main)
{
    if (!load_running(main->file))
        return FALSE;
    if (event->keyval == GDK_KEY_Escape) {
        stop_load(main->file);
        return TRUE;
    }
    gtk_window_activate_key(GTK_WINDOW(window), event);
    return TRUE;
}

GtkWidget* create_status_row(MainWindow& main)
{
    MainWindow* window = &main;
    return main.status.build({
        .stop = [window] { stop_load(window->file); },
        .clear_now = [window] { clear_copied_password(window->clipboard); },
        .reload = [window] { reload_file(window->file); },
    });
}

} // namespace

MainWindow::MainWindow()
    : editing{
          .tree = tree,
          .status = status,
          .settings = settings,
          .parent = [this] { return parent(); },
          .load_running = [this] { return load_running(file); },
          .show_edited = [this](EditResult result, bool select_written) {
              show_edited_document(*this, std::move(result), select_written);
          },
      }
{
    file.parent = [this] { return parent(); };
    file.show_document = [this](std::unique_ptr<Document> document) { show_loaded_rows(*this, std::move(document)); };
    file.loaded = [this](LoadResult result) { show_loaded_document(*this, std::move(result)); };
    file.load = [this](std::string passphrase) { start_load(*this, std::move(passphrase)); };
    file.refresh = [this] { refresh_entries(*this); };
    setup.parent = [this] { return parent(); };
    setup.applied = [this] { use_settings_from_setup(*this); };
    setup.refresh = [this] { refresh_entries(*this); };
    prompt.entered = [this](std::string passphrase) { start_load(*this, std::move(passphrase)); };
    lock.lock_now = [this] { lock_window(*this); };
    lock.has_document = [this] { return tree.database_loaded; };
}

MainWindow::~MainWindow()
{
    // The open file stops its own save and loads as it goes, after this.
    stop_lock_triggers(lock);
    release_clipboard(clipboard);
    stop_login_service(login);
    stop_following_settings(*this);
    // The window itself, if still there (Quit), goes with the process.
    if (window)
        g_signal_handlers_disconnect_by_data(window, this);
    if (settings.not_stored_dialog) {
        g_signal_handlers_disconnect_by_data(settings.not_stored_dialog, this);
        gtk_widget_destroy(settings.not_stored_dialog);
    }
    clear_search_matches(search);
    stop_tree_slices(tree);
}

void show_status(MainWindow& main, const std::string& text)
{
    main.status.say(text);
}

gboolean on_window_state_event(GtkWidget* window, GdkEventWindowState* event, MainWindow* main)
{
    // Leaving the taskbar is safe only while the status icon sits in a tray: without one, an
    // iconified window that left the taskbar could never be brought back.
    const bool embedded = tray_icon_embedded(main->tray);
    gtk_window_set_skip_taskbar_hint(GTK_WINDOW(window), only_iconified(event->new_window_state) && embedded);
    return FALSE;
}

void on_status_icon_activate(MainWindow* main)
{
    if (!main->window)
        return;
    GdkWindow* gdk_window = gtk_widget_get_window(main->window);
    if (gdk_window && only_iconified(gdk_window_get_state(gdk_window)))
        gtk_window_deiconify(GTK_WINDOW(main->window));
    else
        gtk_window_iconify(GTK_WINDOW(main->window));
}

void quit_program(MainWindow& main)
{
    release_clipboard(main.clipboard);
    stop_login_service(main.login);
    // The passphrase goes now, not when the process ends.
    forget_loaded_file(main.file);
    gtk_main_quit();
}

std::unique_ptr<MainWindow> create_main_window(SettingsValues settings, RefPtr<GSettings> settings_object)
{
    auto main = std::make_unique<MainWindow>();
    main->settings.values = std::move(settings);
    main->settings.object = std::move(settings_object);
    follow_settings_changes(*main);

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    main->window = window;
    gtk_window_set_title(GTK_WINDOW(window), "Sealkeep");
    gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
    gtk_window_set_default_size(GTK_WINDOW(window), -1, 350);

    // The dialogs carry the same icon as the main window.
    RefPtr<GdkPixbuf> icon = take_ref(gtk_widget_render_icon(window, WINDOW_ICON, GTK_ICON_SIZE_BUTTON, nullptr));
    gtk_window_set_default_icon(icon.get());

    GtkAccelGroup* accel_group = gtk_accel_group_new();
    gtk_window_add_accel_group(GTK_WINDOW(window), accel_group);
    g_object_unref(accel_group);

    g_signal_connect(window, "destroy", G_CALLBACK(on_window_destroy), main.get());
    g_signal_connect(window, "delete-event", G_CALLBACK(on_main_window_delete), &main->file);
    g_signal_connect(window, "window-state-event", G_CALLBACK(on_window_state_event), main.get());
    g_signal_connect(window, "key-press-event", G_CALLBACK(on_window_key_press), main.get());

    GtkWidget* vbox = gtk_vbox_new(FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window), vbox);

    GtkWidget* trees = create_entry_tree_view(main->tree);

    GtkWidget* menu_bar = create_menu_bar(accel_group, *main);
    gtk_box_pack_start(GTK_BOX(vbox), menu_bar, FALSE, FALSE, 0);

    GtkWidget* prompt = create_passphrase_prompt(main->prompt);
    gtk_box_pack_start(GTK_BOX(vbox), prompt, FALSE, FALSE, 0);

    GtkWidget* toolbar = create_toolbar(*main);
    gtk_box_pack_start(GTK_BOX(vbox), toolbar, FALSE, FALSE, 0);

    gtk_box_pack_start(GTK_BOX(vbox), trees, TRUE, TRUE, 0);

    GtkWidget* search_bar = create_search_bar(main->search);
    gtk_box_pack_start(GTK_BOX(vbox), search_bar, FALSE, FALSE, 0);

    gtk_box_pack_start(GTK_BOX(vbox), create_status_row(*main), FALSE, FALSE, 0);

    // The prompt's "show" handler gives its entry the focus here.
    gtk_widget_show_all(window);

    main->tray.activated = [window = main.get()] { on_status_icon_activate(window); };
    show_tray_icon(main->tray, WINDOW_ICON, "Sealkeep", create_status_icon_menu(*main));

    start_lock_triggers(main->lock, idle_lock_seconds(main->settings.values.lock_idle_minutes));
    return main;
}

} // namespace sealkeep
