# No D-Bus session: the bus address points at a socket that nobody serves any more. The settings are
# still read (dconf reads its database file itself), a load, the clipboard and a command line work, and
# Setup's OK cannot store anything but keeps the new values in memory for the rest of the run, with no
# critical warning and no abort.
source "$(dirname "$0")/../harness/lib.sh"

sk_start_wm || exit 1
sk_gpg_home

# Waits until FILE holds exactly TEXT.
wait_for_file() {
    local i
    for ((i = 0; i < ${3:-100}; i++)); do
        [ "$(cat "$1" 2>/dev/null)" = "$2" ] && return 0
        sleep 0.1
    done
    return 1
}

file=$SK_TMP/accounts.gpg
{
    sk_record Acme "" alpha ssh "" alice pw-alice
    echo "no record here"
} | sk_encrypt_symmetric "$file" "bus passphrase"

# Stored while the bus still runs; the program must find it without one.
sk_setting_set ssh-cmd "printf '%%s' 'stored %u@%h' > '$SK_TMP/ran-stored'"

# A bus daemon killed outright leaves its socket behind: connecting to it is refused.
dbus-daemon --session --nofork --address="unix:path=$SK_TMP/dead-bus" >/dev/null 2>&1 &
dead_pid=$!
for _ in $(seq 50); do [ -S "$SK_TMP/dead-bus" ] && break; sleep 0.1; done
kill -KILL "$dead_pid"
wait "$dead_pid" 2>/dev/null
sk_check "the dead bus's socket is still there" test -S "$SK_TMP/dead-bus"

live_bus=$DBUS_SESSION_BUS_ADDRESS
export DBUS_SESSION_BUS_ADDRESS="unix:path=$SK_TMP/dead-bus"
sk_start "$file"
export DBUS_SESSION_BUS_ADDRESS=$live_bus
sk_wait_window 20 || { sk_fail "no window without a bus"; sk_finish; }

# A load, then the stored template and the clipboard at work.
sk_type_passphrase "bus passphrase"
sk_check "the load reports the line that is no record" sk_wait_stderr "WARNING: not matched: no record here" 15
sleep 0.3
sk_type "alice"
sleep 0.3
sk_menu a 3 # Action, Execute
sk_check "the template read from the settings store runs" wait_for_file "$SK_TMP/ran-stored" "stored alice@alpha"
sk_menu a 1 # Action, Copy password
sleep 0.3
sk_check_eq "the password is on the clipboard" "pw-alice" "$(sk_selection clipboard)"

# Setup: a new ssh template, OK. It cannot reach the store, but it stays in memory.
sk_menu f 1 # File, Preferences
dialog=$(sk_x xdotool search --sync --onlyvisible --name '^Setup$' | head -n 1)
if [ -z "$dialog" ]; then
    sk_fail "the Setup dialog did not open"
else
    sleep 0.3
    # The file field has the focus; the open button, then the SSH field follow.
    sk_key Tab Tab ctrl+a
    sk_type "printf '%%s' 'memory %u@%h' > '$SK_TMP/ran-memory'"
    sk_key alt+o
    sleep 1
    sk_check "the dialog closed" bash -c "! xdotool search --onlyvisible --name '^Setup\$' >/dev/null 2>&1"
fi
sk_check "still running after Setup's OK without a bus" sk_running
# The user is told that the values did not reach the store, once, without a wait for the dialog.
warning=$(sk_x xdotool search --sync --onlyvisible --name '^Settings not stored$' 2>/dev/null | head -n 1)
sk_check "a warning says the settings were not stored" test -n "$warning"
sleep 1
sk_check_eq "... one warning, however often dconf gives the values back" 1 \
    "$(xdotool search --onlyvisible --name '^Settings not stored$' 2>/dev/null | wc -l)"
sk_screenshot not-stored >/dev/null || true
if [ -n "$warning" ]; then
    sk_x xdotool windowactivate --sync "$warning" 2>/dev/null || true
    sk_key Return
    sleep 0.5
    sk_check "Close takes the warning away" bash -c "! xdotool search --onlyvisible --name '^Settings not stored\$' >/dev/null 2>&1"
fi

# Commands are expanded when the file loads: Refresh and load again, then execute.
sk_focus
sk_key ctrl+r
sleep 0.5
sk_type "bus passphrase"
sk_key Return
sk_check "the second load" bash -c 'for i in $(seq 150); do [ "$(grep -c "WARNING: not matched" "$0")" -ge 2 ] && exit 0; sleep 0.1; done; exit 1' "$SK_ERR"
sleep 0.3
sk_type "alice"
sleep 0.3
sk_menu a 3 # Action, Execute
sk_check "the template from Setup, kept in memory, runs" wait_for_file "$SK_TMP/ran-memory" "memory alice@alpha"
sk_check_eq "the clipboard kept the password" "pw-alice" "$(sk_selection clipboard)"
sk_check_contains "the store still holds the old template" "$(sk_setting_get ssh-cmd)" "stored %u@%h"

sk_check_not_contains "no critical warning" "$(sk_stderr)" "CRITICAL"
sk_check_not_contains "no error" "$(sk_stderr)" "ERROR"
sk_log "stderr: $(sk_stderr)"

sk_close_window
sk_wait_exit 10
sk_check_eq "exit status after closing" 0 "$SK_STATUS"
sk_finish
