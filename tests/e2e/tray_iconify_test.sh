# The status icon under a real window manager (openbox) and notification area (trayer): it shows an image,
# a click iconifies the window, which leaves the taskbar, and a second click brings it back into it.
# Without a notification area an iconified window must stay in the taskbar, or nothing could restore it.
source "$(dirname "$0")/../harness/lib.sh"

sk_start_wm || exit 1

in_taskbar_state() { ! sk_net_wm_state | grep -qx _NET_WM_STATE_SKIP_TASKBAR; }

# --- with a notification area --------------------------------------------------------------------------
sk_start_tray || exit 1
sk_start
sk_wait_window 20 || { sk_fail "no window"; sk_finish; }
icon=$(sk_find_status_icon 10)
if [ -z "$icon" ]; then
    sk_fail "the status icon is not embedded in the tray"
    sk_finish
fi
sk_pass "the status icon is embedded in the tray"

# An icon name missing from the theme gives an empty slot: one flat colour.
colours=$(sk_x import -window "$icon" png:- 2>/dev/null | convert - -format '%k' info: 2>/dev/null)
sk_check "the status icon shows an image (colours seen: ${colours:-none})" test "${colours:-0}" -gt 2
shot=$(sk_screenshot with-tray) && sk_log "screenshot: $shot"

sk_check "at start the window is in the taskbar" in_taskbar_state
sk_check_not_contains "at start the window is not hidden" "$(sk_net_wm_state)" _NET_WM_STATE_HIDDEN

sk_click_window "$icon" 8 8
sk_check "first click: the window is iconified" sk_wait_state_has _NET_WM_STATE_HIDDEN
sk_check "first click: the window leaves the taskbar" sk_wait_state_has _NET_WM_STATE_SKIP_TASKBAR
sk_check "first click: the window is no longer viewable" \
    bash -c "! xwininfo -id $SK_WID | grep -q IsViewable"

sk_click_window "$icon" 8 8
sk_check "second click: the window is restored" sk_wait_state_lacks _NET_WM_STATE_HIDDEN
sk_check "second click: the window is back in the taskbar" sk_wait_state_lacks _NET_WM_STATE_SKIP_TASKBAR
sk_check "second click: the window is viewable" sk_wait_window 5

# A third click iconifies again: the icon works both ways for as long as the program runs.
sk_click_window "$icon" 8 8
sk_check "third click: iconified again" sk_wait_state_has _NET_WM_STATE_HIDDEN
sk_click_window "$icon" 8 8
sk_check "fourth click: restored again" sk_wait_state_lacks _NET_WM_STATE_HIDDEN

sk_close_window
sk_wait_exit 10
sk_check_eq "closing the window ends the program with status 0" 0 "$SK_STATUS"
kill "$SK_TRAY_PID" 2>/dev/null
wait "$SK_TRAY_PID" 2>/dev/null
SK_TRAY_PID=

# --- without a notification area ------------------------------------------------------------------------
sk_start
sk_wait_window 20 || { sk_fail "no window without a tray"; sk_finish; }
sk_x xdotool windowminimize --sync "$SK_WID"
sk_check "no tray: the window manager iconifies the window" sk_wait_state_has _NET_WM_STATE_HIDDEN
# The program answers the state change asynchronously; give it the time a wrong answer would take.
sleep 1
sk_check "no tray: the iconified window stays in the taskbar" in_taskbar_state
sk_x xdotool windowactivate --sync "$SK_WID" >/dev/null 2>&1
sk_check "no tray: the window comes back" sk_wait_state_lacks _NET_WM_STATE_HIDDEN
sk_check "no tray: still in the taskbar" in_taskbar_state
sk_close_window
sk_wait_exit 10
sk_check_eq "no tray: closing the window ends the program with status 0" 0 "$SK_STATUS"

sk_finish
