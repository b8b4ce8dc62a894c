# Loads that never end on their own: a FIFO nobody writes to, /dev/zero (gpg reads it for ever), and a
# "gpg" that ignores SIGTERM and leaves a child holding its output open. While such a load runs the window
# keeps answering; Quit and closing the window end the program within a second and leave no process of the
# load behind; Escape, the Stop button and Refresh stop it, and the next load in the same window works.
source "$(dirname "$0")/../harness/lib.sh"

sk_start_wm || exit 1

passphrase=cancel-pass
sk_gpg_home
sk_record acme web alpha ssh "" stopuser pw-after-stop | sk_encrypt_symmetric "$SK_TMP/good.gpg" "$passphrase"

# The one stand-in: a gpg that never answers while the flag file exists, and the real gpg otherwise. Its
# shell and every child ignore SIGTERM (an ignored signal stays ignored across exec); only SIGKILL to the
# whole process group ends them.
hang_flag=$SK_TMP/hang
sk_gpg_stand_in "if [ -e '$hang_flag' ]; then
    trap '' TERM
    sleep 3600 &
    while :; do sleep 1; done
fi
exec \"\$SK_REAL_GPG\" \"\$@\""

# window_shown NAME: a visible window of exactly this name exists.
window_shown() { [ -n "$(sk_x xdotool search --onlyvisible --name "^$1\$" 2>/dev/null)" ]; }

# wait_window_gone NAME
wait_window_gone() {
    local i
    for ((i = 0; i < 30; i++)); do
        window_shown "$1" || return 0
        sleep 0.1
    done
    return 1
}

# start_endless_load KIND: starts the program on a file of this kind (fifo, zero, hang), types the
# passphrase and Enter; sets $path, $group (the load's process group) and $marker (a text only the
# load's processes have on their command line, or empty).
start_endless_load() {
    rm -f "$hang_flag"
    marker=
    case $1 in
    fifo)
        path=$SK_TMP/never-written-$SK_RUNS.fifo
        mkfifo "$path"
        marker=$path
        ;;
    zero)
        path=/dev/zero
        ;;
    hang)
        path=$SK_TMP/good.gpg
        touch "$hang_flag"
        marker=$SK_STAND_IN
        ;;
    esac
    group=
    sk_start "$path"
    sk_wait_window 20 || return 1
    sk_type_passphrase "$passphrase" || return 1
    local child
    child=$(sk_wait_child 10) || return 1
    group=$(sk_process_group "$child")
    [ -n "$group" ] || return 1
    # Should the program leave the group behind, the test must not.
    sk_cleanup_add "sk_group_alive $group && kill -KILL -- -$group"
}

# no_process_with MARKER: nothing but the program runs with MARKER on its command line.
no_process_with() {
    [ -z "$1" ] && return 0
    local found
    # The program itself has the file on its command line while it runs.
    found=$(pgrep -a -f -- "$1" | awk -v program="${SK_PID:-none}" '$1 != program')
    [ -z "$found" ] && return 0
    sk_log "still running: $found"
    return 1
}

# ---------------------------------------------------------------------------------------------------------
# Ending the program while the load runs.

# name | kind of file | how the program is ended
cases=(
    "FIFO nobody writes, Quit|fifo|quit"
    "/dev/zero, Quit|zero|quit"
    "gpg ignoring SIGTERM, Quit|hang|quit"
    "gpg ignoring SIGTERM, window closed|hang|close"
    "/dev/zero, window closed|zero|close"
)

for case in "${cases[@]}"; do
    IFS='|' read -r name kind ending <<<"$case"
    sk_log "case: $name"
    if ! start_endless_load "$kind"; then
        sk_fail "$name: the load did not start (window: ${SK_WID:-none})"
        continue
    fi
    sleep 1
    sk_check "$name: a second later the load still runs" sk_group_alive "$group"

    # The main loop runs beside the load: Help, About opens its dialog and Escape closes it again.
    sk_menu h 0
    for _ in $(seq 30); do window_shown "About Sealkeep" && break; sleep 0.1; done
    sk_check "$name: the About dialog opens while the load runs" window_shown "About Sealkeep"
    sk_key Escape
    sk_check "$name: and closes with Escape" wait_window_gone "About Sealkeep"
    sk_check "$name: the program still runs" sk_running

    sk_focus
    start=$(sk_now)
    if [ "$ending" = quit ]; then
        sk_key ctrl+q
    else
        # The window manager's close, as sk_close_window does, with the focus given beforehand so that
        # only the close itself is timed.
        sk_key alt+F4
    fi
    sk_wait_exit 10
    elapsed=$(sk_since "$start")
    sk_log "$name: ended after $elapsed s"
    sk_check_eq "$name: exit status" 0 "$SK_STATUS"
    sk_check "$name: the program ended within a second (took $elapsed s)" sk_below "$elapsed" 1.0
    sk_check "$name: no process of the load's group is left" sk_wait_group_gone "$group" 1
    sk_check "$name: nothing runs on the file any more" no_process_with "$marker"
done

# ---------------------------------------------------------------------------------------------------------
# Stopping the load and loading again in the same window.

# Clicks the Stop button, which stands at the right end of the status row, the window's last row.
click_stop() {
    local WIDTH HEIGHT
    eval "$(sk_x xdotool getwindowgeometry --shell "$SK_WID" | grep -E '^(WIDTH|HEIGHT)=')"
    sk_click_window "$SK_WID" $((WIDTH - 28)) $((HEIGHT - 16))
}

# name | kind of file | how the load is stopped
cases=(
    "FIFO, Escape|fifo|escape"
    "gpg ignoring SIGTERM, Stop button|hang|button"
    "FIFO, Refresh|fifo|refresh"
)

for case in "${cases[@]}"; do
    IFS='|' read -r name kind way <<<"$case"
    sk_log "case: $name"
    if ! start_endless_load "$kind"; then
        sk_fail "$name: the load did not start (window: ${SK_WID:-none})"
        continue
    fi
    sleep 0.5
    start=$(sk_now)
    case $way in
    escape) sk_key Escape ;;
    button) click_stop ;;
    refresh) sk_key ctrl+r ;;
    esac
    sk_check "$name: the load's processes are gone" sk_wait_group_gone "$group" 3
    elapsed=$(sk_since "$start")
    sk_log "$name: load's processes gone after $elapsed s"
    sk_check "$name: within a second (took $elapsed s)" sk_below "$elapsed" 1.0
    sk_check "$name: the program still runs" sk_running
    sk_check "$name: nothing runs on the file any more" no_process_with "$marker"

    # The next load: the stand-in now hands over to the real gpg; a FIFO gets the good file written into
    # it once gpg opens it.
    rm -f "$hang_flag"
    [ "$way" = refresh ] || sk_key ctrl+r
    sleep 0.5
    sk_type "$passphrase"
    sk_key Return
    if [ "$kind" = fifo ]; then
        timeout 20 sh -c 'cat "$1" >"$2"' sh "$SK_TMP/good.gpg" "$path" &
        sk_cleanup_add "kill $!"
    fi
    sleep 0.5
    sk_wait_no_child 15
    sleep 0.5
    sk_type stopuser
    sleep 0.3
    sk_menu a 1 # Action, Copy password
    sleep 0.3
    sk_check_eq "$name: after the stop a new load in the same window shows the accounts" pw-after-stop \
        "$(sk_selection clipboard)"
    sk_close_window
    sk_wait_exit 10
    sk_check_eq "$name: exit status after closing" 0 "$SK_STATUS"
done

sk_finish
