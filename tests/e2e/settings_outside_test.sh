#!/usr/bin/env bash
# Values stored outside a running Sealkeep survive every save it makes, driven with real keys: a
# `gsettings set` during a run outlives Setup's OK and File ▸ Open file; and of two instances at once each
# stores only what its own Setup changed, while the other one follows the change.
source "$(dirname "$0")/../harness/lib.sh"

sk_start_wm || exit 1
sk_setting_set ssh-cmd 'old-ssh %h'
sk_setting_set http-cmd 'old-http %h'
picked=$SK_TMP/picked.gpg
echo "not really encrypted" >"$picked"

# Setup's entries in focus order from the file entry: the open button, then the five templates.
SSH_TABS=(Tab Tab)
TELNET_TABS=(Tab Tab Tab Tab Tab)

# open_setup WINDOW PID: opens that instance's Setup, gives it the focus and prints its window.
open_setup() {
    local dialog
    sk_focus "$1"
    sk_menu f 1
    dialog=$(sk_x xdotool search --all --sync --onlyvisible --pid "$2" --name '^Setup$' | head -n 1)
    [ -n "$dialog" ] || return 1
    sk_focus "$dialog"
    [ "$(sk_x xdotool getactivewindow)" = "$dialog" ] || return 1
    echo "$dialog"
}

sk_start -n
sk_wait_window 20 || { sk_fail "no window"; sk_finish; }
first=$SK_WID

# A value set from outside while Sealkeep runs, then Setup's OK with another field edited.
sk_setting_set http-cmd 'my-browser http://%h%s &'
open_setup "$first" "$SK_PID" >/dev/null
sk_key "${SSH_TABS[@]}" ctrl+a
sk_type 'new-ssh %h'
sk_key alt+o
sleep 0.5
sk_check_eq "Setup's OK stores the edited field" "'new-ssh %h'" "$(sk_setting_get ssh-cmd)"
sk_check_eq "... and leaves the value set from outside" "'my-browser http://%h%s &'" "$(sk_setting_get http-cmd)"

# Another value from outside, then File ▸ Open file.
sk_setting_set ftp-cmd 'their-ftp %h'
sk_focus "$first"
sk_menu f 0
sk_x xdotool search --sync --onlyvisible --name '^Select a new password file$' >/dev/null
sleep 0.5
# The chooser takes a typed path in its location entry, which "/" opens.
sk_type "$picked"
sk_key Return
sleep 0.5
sk_check_eq "Open file stores the chosen path" "'$picked'" "$(sk_setting_get sealkeep-file-path)"
sk_check_eq "... and leaves the value set from outside" "'their-ftp %h'" "$(sk_setting_get ftp-cmd)"
sk_check_eq "... and the one set before" "'my-browser http://%h%s &'" "$(sk_setting_get http-cmd)"
sk_key Escape # the prompt that came back

# A second instance beside the first: each Setup stores only its own edits, and the first one follows
# what the second stored.
first_pid=$SK_PID
"$SEALKEEP_BIN" -n >"$SK_TMP/second.out" 2>&1 </dev/null &
second_pid=$!
sk_cleanup_add "kill $second_pid"
second=
for _ in $(seq 40); do
    second=$(sk_x xdotool search --all --onlyvisible --pid "$second_pid" --name '^Sealkeep$' 2>/dev/null | head -n 1)
    [ -n "$second" ] && break
    sleep 0.5
done
sk_check "the second instance's window appears" test -n "$second"
# Side by side, so that a key meant for one never lands in the other.
sk_x xdotool windowmove --sync "$first" 0 0
sk_x xdotool windowmove --sync "$second" 640 0
sleep 0.5

setup_second=$(open_setup "$second" "$second_pid")
sk_check "the second instance's Setup opens" test -n "$setup_second"
sk_key "${TELNET_TABS[@]}" ctrl+a
sk_type 'second-telnet %h'
sk_key alt+o
sleep 1
sk_check_eq "the second instance stores its edit" "'second-telnet %h'" "$(sk_setting_get telnet-cmd)"
kill "$second_pid" 2>/dev/null

# The first instance has followed: its Setup shows the second one's value, and its OK keeps it.
setup_first=$(open_setup "$first" "$first_pid")
sk_check "the first instance's Setup opens" test -n "$setup_first"
sk_key "${TELNET_TABS[@]}" ctrl+a ctrl+c
sleep 0.3
sk_check_eq "the first instance's Setup shows the second one's value" 'second-telnet %h' "$(sk_selection clipboard)"
sk_key shift+Tab shift+Tab shift+Tab ctrl+a
sk_type 'first-ssh %h'
sk_key alt+o
sleep 0.5
sk_check_eq "the first one's OK stores its edit" "'first-ssh %h'" "$(sk_setting_get ssh-cmd)"
sk_check_eq "... and keeps the second one's" "'second-telnet %h'" "$(sk_setting_get telnet-cmd)"
sk_check_eq "... and the values from outside" "'their-ftp %h'" "$(sk_setting_get ftp-cmd)"

SK_PID=$first_pid
sk_focus "$first"
sk_key ctrl+q
sk_wait_exit 10
sk_check_eq "the first instance ends with status 0" 0 "$SK_STATUS"
sk_finish
