// Locking: everything decrypted is dropped and the passphrase is asked again. Locks come by command,
// after a time without input, from the session's screen saver and from logind (screen lock, suspend);
// unlocking is a new load, after which the tree shows the rows expanded and selected before the lock.
#pragma once

#include "ui/glib_ptr.h"

#include <gio/gio.h>
#include <gtk/gtk.h>

#include <string>
#include <utility>
#include <vector>

namespace sealkeep {

struct MainWindow;

// A row named by keyed digests of the texts of its ancestors and its own, from the top level down.
using TextPath = std::vector<std::string>;

struct LockState {
    LockState() = default;
    LockState(const LockState&) = delete;
    LockState& operator=(const LockState&) = delete;
    // Overwrites the remembered texts (account names).
    ~LockState();

    // The rows expanded and selected when the lock came, put back after the next verified load.
    std::vector<TextPath> expanded;
    std::vector<TextPath> selected;

    // The (sub)key that decrypted the file last; the agent forgets its passphrase after each load and
    // again on lock. Empty for a symmetric file.
    std::string decryption_key;

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

// Drops the records, the rows and the search's texts and matches, clears a copied password Sealkeep
// still holds, stops a running load and shows the prompt with the focus in its entry. The search text
// stays. The rows expanded and selected are remembered by their texts when something was loaded.
void lock_window(MainWindow& main);

// Marks a dialog that shows or takes account data (values, passwords, a passphrase): a lock answers it
// with Cancel, so that nothing of it stays on a locked screen and nothing typed in it reaches a document
// the lock took away.
void close_on_lock(GtkWidget* dialog);

// Remembers the rows expanded and selected now (by keyed digests of their texts), for the restore below.
void remember_tree_shape(MainWindow& main);

// After a verified load: expands and selects the remembered rows that the new tree has, then forgets them.
void restore_tree_after_unlock(MainWindow& main);

// Starts watching for input (idle time) and connects to the session and system buses, without waiting
// for either: a bus or service that is not there is a trigger that never comes.
void start_lock_triggers(MainWindow& main);

// Ends every subscription and pending call; the window state is going.
void stop_lock_triggers(MainWindow& main);

// The idle time after which a loaded window locks; 0 never locks on idle time. Counting starts anew.
void set_idle_lock_seconds(MainWindow& main, guint seconds);

} // namespace sealkeep
