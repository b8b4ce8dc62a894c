// What triggers the lock. Input of every kind in Sealkeep's windows passes through one event handler that
// notes the time; the idle check runs only when the allowed time may be up. The buses are reached
// asynchronously, and each signal handler only ever asks the window to lock.
#include "ui/lock/lock.h"

#include "ui/glib_ptr.h"
#include "ui/i18n.h"

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

constexpr const char* CLOSE_ON_LOCK = "sealkeep-close-on-lock";

// ---- idle time ----

void arm_idle_check(LockState& lock, gint64 delay_us);

gboolean on_idle_check(gpointer data)
{
    LockState& lock = *static_cast<LockState*>(data);
    lock.idle_source = 0;
    if (lock.idle_seconds == 0)
        return G_SOURCE_REMOVE;
    const gint64 allowed = gint64{lock.idle_seconds} * G_USEC_PER_SEC;
    const gint64 idle = g_get_monotonic_time() - lock.last_input_us;
    if (idle < allowed) {
        arm_idle_check(lock, allowed - idle);
        return G_SOURCE_REMOVE;
    }
    if (lock.has_document())
        lock.lock_now();
    lock.last_input_us = g_get_monotonic_time();
    arm_idle_check(lock, allowed);
    return G_SOURCE_REMOVE;
}

void arm_idle_check(LockState& lock, gint64 delay_us)
{
    if (lock.idle_source)
        g_source_remove(lock.idle_source);
    lock.idle_source = 0;
    if (lock.idle_seconds == 0)
        return;
    const auto delay_ms = static_cast<guint>(std::max<gint64>(delay_us / 1000, 1) + 1);
    lock.idle_source = g_timeout_add(delay_ms, on_idle_check, &lock);
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
        static_cast<LockState*>(data)->last_input_us = g_get_monotonic_time();
    gtk_main_do_event(event);
}

// ---- the buses ----

void subscribe(LockState& lock, GDBusConnection* bus, const char* sender, const char* interface, const char* member,
               const char* path, GDBusSignalCallback callback)
{
    const guint id = g_dbus_connection_signal_subscribe(bus, sender, interface, member, path, nullptr,
                                                        G_DBUS_SIGNAL_FLAGS_NONE, callback, &lock, nullptr);
    lock.subscriptions.emplace_back(bus, id);
}

// ActiveChanged(true) locks; its false (the saver going) does nothing.
void on_true_signal(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
                    gpointer data)
{
    if (g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)"))) {
        gboolean active = FALSE;
        g_variant_get(parameters, "(b)", &active);
        if (active)
            static_cast<LockState*>(data)->lock_now();
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
    LockState& lock = *static_cast<LockState*>(data);
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
void take_sleep_delay(LockState& lock)
{
    if (!lock.system_bus || lock.sleep_delay_fd >= 0)
        return;
    g_dbus_connection_call_with_unix_fd_list(
        lock.system_bus.get(), LOGIN1_NAME, LOGIN1_PATH, LOGIN1_MANAGER, "Inhibit",
        g_variant_new("(ssss)", "sleep", "Sealkeep", _("Locks the accounts before the machine sleeps."), "delay"),
        G_VARIANT_TYPE("(h)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, nullptr, lock.cancellable.get(),
        on_sleep_delay, &lock);
}

// PrepareForSleep(true): lock, then let the sleep go on; (false), the machine woke: delay the next one.
void on_prepare_for_sleep(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                          GVariant* parameters, gpointer data)
{
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)")))
        return;
    LockState& lock = *static_cast<LockState*>(data);
    gboolean sleeping = FALSE;
    g_variant_get(parameters, "(b)", &sleeping);
    if (sleeping) {
        lock.lock_now();
        // What the lock hid must reach the screen and the X server before the machine stops.
        if (GdkDisplay* display = gdk_display_get_default())
            gdk_display_flush(display);
        release_sleep_delay(lock);
    } else {
        take_sleep_delay(lock);
    }
}

void on_session_lock(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*, gpointer data)
{
    static_cast<LockState*>(data)->lock_now();
}

void on_session_bus(GObject*, GAsyncResult* result, gpointer data)
{
    GDBusConnection* bus = g_bus_get_finish(result, nullptr);
    if (!bus)
        return; // no session bus, or the window went first
    LockState& lock = *static_cast<LockState*>(data);
    lock.session_bus = take_ref(bus);
    // Screen savers send these without owning any name that could be checked.
    for (const char* interface : {"org.freedesktop.ScreenSaver", "org.gnome.ScreenSaver"})
        subscribe(lock, bus, nullptr, interface, "ActiveChanged", nullptr, on_true_signal);
}

void ask_for_session(LockState& lock, const char* method, GVariant* parameters, GAsyncReadyCallback callback)
{
    g_dbus_connection_call(lock.system_bus.get(), LOGIN1_NAME, LOGIN1_PATH, LOGIN1_MANAGER, method, parameters,
                           G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, lock.cancellable.get(),
                           callback, &lock);
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
    subscribe(*static_cast<LockState*>(data), G_DBUS_CONNECTION(source), LOGIN1_NAME, LOGIN1_SESSION, "Lock", path,
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
        ask_for_session(*static_cast<LockState*>(data), "GetSession", g_variant_new("(s)", "auto"), on_session_auto);
}

void on_system_bus(GObject*, GAsyncResult* result, gpointer data)
{
    GDBusConnection* bus = g_bus_get_finish(result, nullptr);
    if (!bus)
        return;
    LockState& lock = *static_cast<LockState*>(data);
    lock.system_bus = take_ref(bus);
    // Only logind itself can send these: the bus checks the sender against the name's owner.
    subscribe(lock, bus, LOGIN1_NAME, LOGIN1_MANAGER, "PrepareForSleep", LOGIN1_PATH, on_prepare_for_sleep);
    take_sleep_delay(lock);
    ask_for_session(lock, "GetSessionByPID", g_variant_new("(u)", static_cast<guint32>(getpid())), on_session_by_pid);
}

} // namespace

// In any order: a dialog's loop that is told to end while a popup's runs above it ends when the popup's
// has ended and returned to it.
void close_dialogs_marked_for_lock()
{
    GListPtr toplevels{gtk_window_list_toplevels()};
    std::vector<GtkDialog*> marked;
    for (GList* window = toplevels.get(); window; window = window->next)
        if (GTK_IS_DIALOG(window->data) && g_object_get_data(G_OBJECT(window->data), CLOSE_ON_LOCK))
            marked.push_back(GTK_DIALOG(window->data));
    for (GtkDialog* dialog : marked)
        gtk_dialog_response(dialog, GTK_RESPONSE_CANCEL);
}

void close_on_lock(GtkWidget* dialog)
{
    g_object_set_data(G_OBJECT(dialog), CLOSE_ON_LOCK, GINT_TO_POINTER(1));
}

void start_lock_triggers(LockState& lock, guint idle_seconds)
{
    lock.last_input_us = g_get_monotonic_time();
    gdk_event_handler_set(on_gdk_event, &lock, nullptr);
    set_idle_lock_seconds(lock, idle_seconds);

    lock.cancellable = take_ref(g_cancellable_new());
    g_bus_get(G_BUS_TYPE_SESSION, lock.cancellable.get(), on_session_bus, &lock);
    g_bus_get(G_BUS_TYPE_SYSTEM, lock.cancellable.get(), on_system_bus, &lock);
}

void stop_lock_triggers(LockState& lock)
{
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

guint idle_lock_seconds(int minutes)
{
    return static_cast<guint>(std::max(minutes, 0)) * 60u;
}

void set_idle_lock_seconds(LockState& lock, guint seconds)
{
    lock.idle_seconds = seconds;
    lock.last_input_us = g_get_monotonic_time();
    arm_idle_check(lock, gint64{seconds} * G_USEC_PER_SEC);
}

} // namespace sealkeep
