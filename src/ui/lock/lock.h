// What brings the lock: a time without input, the session's screen saver and logind (screen lock,
// suspend). What a lock does is the window's (see window/document_events.h); here it is asked for.
#pragma once

#include "ui/glib_ptr.h"

#include <gio/gio.h>
#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace sealkeep {

struct LockState {
    LockState() = default;
    LockState(const LockState&) = delete;
    LockState& operator=(const LockState&) = delete;

    // What the window does: lock now; and whether it shows a document (only then does idle time lock).
    std::function<void()> lock_now;
    std::function<bool()> has_document;

    // Idle time: the last input in any of Sealkeep's windows, and the check that runs when the allowed
    // time may be up. 0 seconds: no lock on idle time.
    guint idle_seconds = 0;
    gint64 last_input_us = 0;
    guint idle_source = 0;

    // The buses the signals come from; each subscription with its bus. The cancellable stops connects
    // and calls still on their way when the window goes.
    RefPtr<GCancellable> cancellable;
    RefPtr<GDBusConnection> session_bus;
    RefPtr<GDBusConnection> system_bus;
    std::vector<std::pair<GDBusConnection*, guint>> subscriptions;
    // logind's delay lock on sleep: while we hold this descriptor, the machine waits (a few seconds at
    // most) for us to lock after PrepareForSleep(true); closing it lets the sleep go on. -1: none held.
    int sleep_delay_fd = -1;
};

// Marks a dialog that shows or takes account data (values, passwords, a passphrase): a lock answers it
// with Cancel, so that nothing of it stays on a locked screen and nothing typed in it reaches a document
// the lock took away.
void close_on_lock(GtkWidget* dialog);

// The lock came: every dialog marked above is answered with Cancel.
void close_dialogs_marked_for_lock();

// Starts watching for input (idle time, after which a window that shows a document locks; 0: never) and
// connects to the session and system buses, without waiting for either: a bus or service that is not
// there is a trigger that never comes.
void start_lock_triggers(LockState& lock, guint idle_seconds);

// Ends every subscription and pending call; the window state is going.
void stop_lock_triggers(LockState& lock);

// The idle time, in seconds, of a limit stored in minutes (a negative one: none).
guint idle_lock_seconds(int minutes);

// The idle time after which a loaded window locks; 0 never locks on idle time. Counting starts anew.
void set_idle_lock_seconds(LockState& lock, guint seconds);

} // namespace sealkeep
