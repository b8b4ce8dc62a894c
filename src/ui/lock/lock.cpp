// Locking the window and what triggers it. Input of every kind in Sealkeep's windows passes through
// one event handler that notes the time; the idle check runs only when the allowed time may be up.
// The buses are reached asynchronously, and each signal handler only ever calls lock_window.
#include "ui/lock/lock.h"

#include "core/text_encoding.h"
#include "ui/actions/clipboard.h"
#include "ui/file/agent_cache.h"
#include "ui/file/load_job.h"
#include "ui/file/save_job.h"
#include "ui/glib_ptr.h"
#include "ui/i18n.h"
#include "ui/search/search_bar.h"
#include "ui/prompt/passphrase_prompt.h"
#include "ui/tree/entry_store.h"
#include "ui/window/document_events.h"
#include "ui/window/main_window.h"

#include <gio/gunixfdlist.h>

#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace sealkeep {

namespace {

constexpr const char* LOGIN1_NAME = "org.freedesktop.login1";
constexpr const char* LOGIN1_PATH = "/org/freedesktop/login1";
constexpr const char* LOGIN1_MANAGER = "org.freedesktop.login1.Manager";
constexpr const char* LOGIN1_SESSION = "org.freedesktop.login1.Session";

void scrub_paths(std::vector<TextPath>& paths)
{
    for (TextPath& path : paths)
        for (std::string& text : path)
            scrub(text);
    paths.clear();
}

// A row is remembered across a lock by a keyed digest of its text, not by the text: a lock keeps no
// account name. The key is drawn once per run; the digest can only be matched against a row that has
// the same text again.
std::string text_of(GtkTreeModel* model, GtkTreeIter* iter)
{
    static const std::array<guint32, 8> key = [] {
        std::array<guint32, 8> random{};
        for (guint32& word : random)
            word = g_random_int();
        return random;
    }();
    GValue value = G_VALUE_INIT;
    gtk_tree_model_get_value(model, iter, COL_TEXT, &value);
    // A copy of the row's text; freeing it overwrites it, as every freed block is (M_PERTURB).
    const gchar* row_text = g_value_get_string(&value);
    GCharPtr digest{g_compute_hmac_for_data(G_CHECKSUM_SHA256, reinterpret_cast<const guchar*>(key.data()), sizeof key,
                                            reinterpret_cast<const guchar*>(row_text ? row_text : ""),
                                            row_text ? std::strlen(row_text) : 0)};
    g_value_unset(&value);
    return digest.get();
}

TextPath text_path(GtkTreeModel* model, GtkTreePath* path)
{
    TextPath texts;
    GtkTreeIter iter;
    if (!gtk_tree_model_get_iter(model, &iter, path))
        return texts;
    for (;;) {
        texts.push_back(text_of(model, &iter));
        GtkTreeIter parent;
        if (!gtk_tree_model_iter_parent(model, &parent, &iter))
            break;
        iter = parent;
    }
    std::reverse(texts.begin(), texts.end());
    return texts;
}

struct Remembering {
    GtkTreeModel* model;
    std::vector<TextPath>* paths;
};

void remember_expanded(GtkTreeView*, GtkTreePath* path, gpointer data)
{
    auto* remembering = static_cast<Remembering*>(data);
    remembering->paths->push_back(text_path(remembering->model, path));
}

} // namespace

void remember_tree_shape(MainWindow& main)
{
    LockState& lock = main.lock;
    GtkTreeView* view = main.tree.view;
    GtkTreeModel* model = view ? gtk_tree_view_get_model(view) : nullptr;
    if (!model)
        return;
    scrub_paths(lock.expanded);
    scrub_paths(lock.selected);
    Remembering remembering{model, &lock.expanded};
    gtk_tree_view_map_expanded_rows(view, remember_expanded, &remembering);
    PathListPtr rows{gtk_tree_selection_get_selected_rows(gtk_tree_view_get_selection(view), nullptr)};
    for (GList* row = rows.get(); row; row = row->next)
        lock.selected.push_back(text_path(model, static_cast<GtkTreePath*>(row->data)));
}

namespace {

// The path of the first row whose texts match from the top level down; null when the tree has none.
GtkTreePath* find_text_path(GtkTreeModel* model, const TextPath& texts)
{
    GtkTreeIter parent;
    GtkTreeIter child;
    bool at_top = true;
    for (const std::string& text : texts) {
        bool found = false;
        for (bool more = gtk_tree_model_iter_children(model, &child, at_top ? nullptr : &parent); more;
             more = gtk_tree_model_iter_next(model, &child)) {
            std::string row_text = text_of(model, &child);
            found = row_text == text;
            scrub(row_text);
            if (found)
                break;
        }
        if (!found)
            return nullptr;
        parent = child;
        at_top = false;
    }
    return at_top ? nullptr : gtk_tree_model_get_path(model, &parent);
}

// The text cells keep the last text they drew until they draw again.
void forget_drawn_texts(GtkTreeView* view)
{
    GListPtr columns{gtk_tree_view_get_columns(view)};
    for (GList* column = columns.get(); column; column = column->next) {
        GListPtr cells{gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(column->data))};
        for (GList* cell = cells.get(); cell; cell = cell->next)
            if (GTK_IS_CELL_RENDERER_TEXT(cell->data))
                g_object_set(cell->data, "text", nullptr, nullptr);
    }
}

constexpr const char* CLOSE_ON_LOCK = "sealkeep-close-on-lock";

// In any order: a dialog's loop that is told to end while a popup's runs above it ends when the popup's
// has ended and returned to it.
void close_marked_dialogs()
{
    GListPtr toplevels{gtk_window_list_toplevels()};
    std::vector<GtkDialog*> marked;
    for (GList* window = toplevels.get(); window; window = window->next)
        if (GTK_IS_DIALOG(window->data) && g_object_get_data(G_OBJECT(window->data), CLOSE_ON_LOCK))
            marked.push_back(GTK_DIALOG(window->data));
    for (GtkDialog* dialog : marked)
        gtk_dialog_response(dialog, GTK_RESPONSE_CANCEL);
}

void drop_decrypted(MainWindow& main)
{
    clear_search_matches(main.search);
    // The model's document goes with it, overwritten: the rows' texts and the plaintext alike.
    clear_document(main);
    for (GtkTreeView* view : all_tree_views(main.tree))
        forget_drawn_texts(view);
}

// ---- idle time ----

void arm_idle_check(MainWindow& main, gint64 delay_us);

gboolean on_idle_check(gpointer data)
{
    MainWindow& main = *static_cast<MainWindow*>(data);
    LockState& lock = main.lock;
    lock.idle_source = 0;
    if (lock.idle_seconds == 0)
        return G_SOURCE_REMOVE;
    const gint64 allowed = gint64{lock.idle_seconds} * G_USEC_PER_SEC;
    const gint64 idle = g_get_monotonic_time() - lock.last_input_us;
    if (idle < allowed) {
        arm_idle_check(main, allowed - idle);
        return G_SOURCE_REMOVE;
    }
    if (main.tree.database_loaded)
        lock_window(main);
    lock.last_input_us = g_get_monotonic_time();
    arm_idle_check(main, allowed);
    return G_SOURCE_REMOVE;
}

void arm_idle_check(MainWindow& main, gint64 delay_us)
{
    LockState& lock = main.lock;
    if (lock.idle_source)
        g_source_remove(lock.idle_source);
    lock.idle_source = 0;
    if (lock.idle_seconds == 0)
        return;
    const auto delay_ms = static_cast<guint>(std::max<gint64>(delay_us / 1000, 1) + 1);
    lock.idle_source = g_timeout_add(delay_ms, on_idle_check, &main);
}

bool is_input(const GdkEvent* event)
{
    switch (event->type) {
    case GDK_KEY_PRESS:
    case GDK_KEY_RELEASE:
    case GDK_BUTTON_PRESS:
    case GDK_BUTTON_RELEASE:
    case GDK_MOTION_NOTIFY:
    case GDK_SCROLL:
        return true;
    default:
        return false;
    }
}

// What the toolkit installs by default, in the shape an event handler has.
void toolkit_event(GdkEvent* event, gpointer)
{
    gtk_main_do_event(event);
}

void on_gdk_event(GdkEvent* event, gpointer data)
{
    if (is_input(event))
        static_cast<MainWindow*>(data)->lock.last_input_us = g_get_monotonic_time();
    gtk_main_do_event(event);
}

// ---- the buses ----

void subscribe(MainWindow& main, GDBusConnection* bus, const char* sender, const char* interface, const char* member,
               const char* path, GDBusSignalCallback callback)
{
    const guint id = g_dbus_connection_signal_subscribe(bus, sender, interface, member, path, nullptr,
                                                        G_DBUS_SIGNAL_FLAGS_NONE, callback, &main, nullptr);
    main.lock.subscriptions.emplace_back(bus, id);
}

// ActiveChanged(true) locks; its false (the saver going) does nothing.
void on_true_signal(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
                    gpointer data)
{
    if (g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)"))) {
        gboolean active = FALSE;
        g_variant_get(parameters, "(b)", &active);
        if (active)
            lock_window(*static_cast<MainWindow*>(data));
    }
}

void release_sleep_delay(LockState& lock)
{
    if (lock.sleep_delay_fd >= 0)
        close(lock.sleep_delay_fd);
    lock.sleep_delay_fd = -1;
}

void on_sleep_delay(GObject* source, GAsyncResult* result, gpointer data)
{
    GUnixFDList* fds = nullptr;
    GErrorPtr error;
    GVariant* reply =
        g_dbus_connection_call_with_unix_fd_list_finish(G_DBUS_CONNECTION(source), &fds, result, GErrorOut(error));
    if (!reply) // no logind, no right to delay, or the window went first (cancelled): nothing to hold
        return;
    gint32 index = -1;
    g_variant_get(reply, "(h)", &index);
    g_variant_unref(reply);
    if (!fds)
        return;
    // Every copy of the descriptor must go for logind to see the delay end: ours is taken out of the list,
    // the list's own go with it.
    gint count = 0;
    gint* taken = g_unix_fd_list_steal_fds(fds, &count);
    g_object_unref(fds);
    LockState& lock = static_cast<MainWindow*>(data)->lock;
    for (gint i = 0; i < count; ++i) {
        if (i == index && lock.sleep_delay_fd < 0)
            lock.sleep_delay_fd = taken[i];
        else
            close(taken[i]);
    }
    g_free(taken);
}

// Asks logind to wait for us before each sleep, so that the accounts are locked before the memory is
// frozen (or written to disk), not after the machine wakes.
void take_sleep_delay(MainWindow& main)
{
    if (!main.lock.system_bus || main.lock.sleep_delay_fd >= 0)
        return;
    g_dbus_connection_call_with_unix_fd_list(
        main.lock.system_bus.get(), LOGIN1_NAME, LOGIN1_PATH, LOGIN1_MANAGER, "Inhibit",
        g_variant_new("(ssss)", "sleep", "Sealkeep", _("Locks the accounts before the machine sleeps."), "delay"),
        G_VARIANT_TYPE("(h)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, nullptr, main.lock.cancellable.get(),
        on_sleep_delay, &main);
}

// PrepareForSleep(true): lock, then let the sleep go on; (false), the machine woke: delay the next one.
void on_prepare_for_sleep(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                          GVariant* parameters, gpointer data)
{
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)")))
        return;
    MainWindow& main = *static_cast<MainWindow*>(data);
    gboolean sleeping = FALSE;
    g_variant_get(parameters, "(b)", &sleeping);
    if (sleeping) {
        lock_window(main);
        // What the lock hid must reach the screen and the X server before the machine stops.
        if (GdkDisplay* display = gdk_display_get_default())
            gdk_display_flush(display);
        release_sleep_delay(main.lock);
    } else {
        take_sleep_delay(main);
    }
}

void on_session_lock(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*, gpointer data)
{
    lock_window(*static_cast<MainWindow*>(data));
}

void on_session_bus(GObject*, GAsyncResult* result, gpointer data)
{
    GDBusConnection* bus = g_bus_get_finish(result, nullptr);
    if (!bus)
        return; // no session bus, or the window went first
    MainWindow& main = *static_cast<MainWindow*>(data);
    main.lock.session_bus = take_ref(bus);
    // Screen savers send these without owning any name that could be checked.
    for (const char* interface : {"org.freedesktop.ScreenSaver", "org.gnome.ScreenSaver"})
        subscribe(main, bus, nullptr, interface, "ActiveChanged", nullptr, on_true_signal);
}

void ask_for_session(MainWindow& main, const char* method, GVariant* parameters, GAsyncReadyCallback callback)
{
    g_dbus_connection_call(main.lock.system_bus.get(), LOGIN1_NAME, LOGIN1_PATH, LOGIN1_MANAGER, method, parameters,
                           G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, main.lock.cancellable.get(),
                           callback, &main);
}

// Subscribes to Lock on the session's object path; false when the call failed (or was cancelled, which
// `cancelled` then tells: the window is gone and must not be touched).
bool subscribe_session_lock(GObject* source, GAsyncResult* result, gpointer data, bool& cancelled)
{
    GErrorPtr error;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, GErrorOut(error));
    cancelled = !reply && g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_CANCELLED);
    if (!reply)
        return false;
    const gchar* path = nullptr;
    g_variant_get(reply, "(&o)", &path);
    subscribe(*static_cast<MainWindow*>(data), G_DBUS_CONNECTION(source), LOGIN1_NAME, LOGIN1_SESSION, "Lock", path,
              on_session_lock);
    g_variant_unref(reply);
    return true;
}

void on_session_auto(GObject* source, GAsyncResult* result, gpointer data)
{
    bool cancelled = false;
    subscribe_session_lock(source, result, data, cancelled);
}

void on_session_by_pid(GObject* source, GAsyncResult* result, gpointer data)
{
    bool cancelled = false;
    // A process outside any session (started from a service, say): the session of the caller's seat.
    if (!subscribe_session_lock(source, result, data, cancelled) && !cancelled)
        ask_for_session(*static_cast<MainWindow*>(data), "GetSession", g_variant_new("(s)", "auto"), on_session_auto);
}

void on_system_bus(GObject*, GAsyncResult* result, gpointer data)
{
    GDBusConnection* bus = g_bus_get_finish(result, nullptr);
    if (!bus)
        return;
    MainWindow& main = *static_cast<MainWindow*>(data);
    main.lock.system_bus = take_ref(bus);
    // Only logind itself can send these: the bus checks the sender against the name's owner.
    subscribe(main, bus, LOGIN1_NAME, LOGIN1_MANAGER, "PrepareForSleep", LOGIN1_PATH, on_prepare_for_sleep);
    take_sleep_delay(main);
    ask_for_session(main, "GetSessionByPID", g_variant_new("(u)", static_cast<guint32>(getpid())), on_session_by_pid);
}

} // namespace

LockState::~LockState()
{
    scrub_paths(expanded);
    scrub_paths(selected);
}

void close_on_lock(GtkWidget* dialog)
{
    g_object_set_data(G_OBJECT(dialog), CLOSE_ON_LOCK, GINT_TO_POINTER(1));
}

void lock_window(MainWindow& main)
{
    close_marked_dialogs();
    stop_load(main);
    // Locking twice keeps what the first lock remembered: there is no tree to remember now.
    if (main.tree.database_loaded)
        remember_tree_shape(main);
    // A lock comes unasked (idle time, suspend) and cannot wait for an answer: edits not yet saved are
    // saved now, by a job that holds its own copy until it is written, rather than lost with the tree.
    if (main.unsaved_edits && !save_running(main))
        start_save(main, SaveChoice{});
    // The document goes now: should the save fail, its copy of the edits is kept for the unlock; edits
    // made while it ran are not in that copy, and are kept at once.
    if (save_running(main)) {
        main.save->hold_edits_on_failure();
        hold_edits_beyond_save(main);
    }
    drop_decrypted(main);
    clear_copied_password(main.clipboard);
    if (!main.lock.decryption_key.empty())
        forget_key_passphrase(main.lock.decryption_key);
    show_status(main, _("Locked."));
    ask_passphrase_again(main);
}

void restore_tree_after_unlock(MainWindow& main)
{
    LockState& lock = main.lock;
    GtkTreeView* view = main.tree.view;
    GtkTreeModel* model = view ? gtk_tree_view_get_model(view) : nullptr;
    if (model) {
        for (const TextPath& texts : lock.expanded)
            if (TreePathPtr path{find_text_path(model, texts)})
                gtk_tree_view_expand_row(view, path.get(), FALSE);
        GtkTreeSelection* selection = gtk_tree_view_get_selection(view);
        bool first = true;
        for (const TextPath& texts : lock.selected) {
            TreePathPtr path{find_text_path(model, texts)};
            if (!path)
                continue;
            // Its ancestors open so that it can be selected; the row itself stays as it was (open only
            // when it was among the expanded ones).
            TreePathPtr parent{gtk_tree_path_copy(path.get())};
            if (gtk_tree_path_up(parent.get()) && gtk_tree_path_get_depth(parent.get()) > 0)
                gtk_tree_view_expand_to_path(view, parent.get());
            gtk_tree_selection_select_path(selection, path.get());
            if (first)
                gtk_tree_view_scroll_to_cell(view, path.get(), nullptr, FALSE, 0, 0);
            first = false;
        }
    }
    scrub_paths(lock.expanded);
    scrub_paths(lock.selected);
}

void start_lock_triggers(MainWindow& main)
{
    LockState& lock = main.lock;
    lock.last_input_us = g_get_monotonic_time();
    gdk_event_handler_set(on_gdk_event, &main, nullptr);
    set_idle_lock_seconds(main, static_cast<guint>(std::max(main.settings.values.lock_idle_minutes, 0)) * 60u);

    lock.cancellable = take_ref(g_cancellable_new());
    g_bus_get(G_BUS_TYPE_SESSION, lock.cancellable.get(), on_session_bus, &main);
    g_bus_get(G_BUS_TYPE_SYSTEM, lock.cancellable.get(), on_system_bus, &main);
}

void stop_lock_triggers(MainWindow& main)
{
    LockState& lock = main.lock;
    if (lock.cancellable) {
        g_cancellable_cancel(lock.cancellable.get());
        // Events go straight to the toolkit again.
        gdk_event_handler_set(toolkit_event, nullptr, nullptr);
    }
    for (const auto& [bus, id] : lock.subscriptions)
        g_dbus_connection_signal_unsubscribe(bus, id);
    lock.subscriptions.clear();
    if (lock.idle_source)
        g_source_remove(lock.idle_source);
    lock.idle_source = 0;
    release_sleep_delay(lock);
    lock.session_bus.reset();
    lock.system_bus.reset();
}

void set_idle_lock_seconds(MainWindow& main, guint seconds)
{
    main.lock.idle_seconds = seconds;
    main.lock.last_input_us = g_get_monotonic_time();
    arm_idle_check(main, gint64{seconds} * G_USEC_PER_SEC);
}

} // namespace sealkeep
