# Helpers for the end-to-end tests: start the real binary, find and drive its window with real X input,
# read the selections, make encrypted files with real gpg, and count checks. Sourced by tests/e2e/*.sh,
# which run inside tests/harness/session.sh (DISPLAY, HOME, GNUPGHOME, SEALKEEP_BIN, SEALKEEP_SCRATCH and
# GSETTINGS_SCHEMA_DIR are set there).
#
# Every call to an X tool runs under `timeout`: a program that is blocked (in gpg, in a command it runs)
# answers neither the clipboard nor the window manager, and a hung tool must fail the test, not stall it.

set -u -o pipefail

: "${SEALKEEP_BIN:?run through tests/harness/session.sh with SEALKEEP_BIN set}"
: "${DISPLAY:?run through tests/harness/session.sh}"

SK_SCHEMA=net.sealkeep.Sealkeep
SK_TITLE_PATTERN='^Sealkeep$'
SK_X_TIMEOUT=${SK_X_TIMEOUT:-10}
SK_TMP=$(mktemp -d "${SEALKEEP_SCRATCH:-/tmp}/e2e.XXXXXX")
SK_NAME=$(basename "$0" .sh)
SK_SHOT_DIR=${SK_SHOT_DIR:-${SEALKEEP_BUILD_DIR:-/tmp}/e2e-screenshots}

SK_CHECKS=0
SK_FAILURES=0
SK_CLEANUPS=()
SK_PID=
SK_WID=
SK_STATUS=
SK_OUT=
SK_ERR=
SK_RUNS=0
SK_WRAP=()
SK_WM_PID=
SK_TRAY_PID=

sk_log() { echo "# $*"; }

# ---------------------------------------------------------------------------------------------------------
# Checks: each one counts; a failed one prints what was expected and what was seen, and the test goes on.

sk_fail() {
    SK_FAILURES=$((SK_FAILURES + 1))
    echo "FAIL: $*"
}

sk_pass() {
    SK_CHECKS=$((SK_CHECKS + 1))
    echo "ok: $*"
}

# sk_check_eq WHAT EXPECTED ACTUAL
sk_check_eq() {
    SK_CHECKS=$((SK_CHECKS + 1))
    if [ "$2" == "$3" ]; then
        echo "ok: $1"
    else
        sk_fail "$1"
        echo "  expected: $(printf '%q' "$2")"
        echo "  actual:   $(printf '%q' "$3")"
    fi
}

# sk_check_contains WHAT HAYSTACK NEEDLE
sk_check_contains() {
    SK_CHECKS=$((SK_CHECKS + 1))
    if [[ "$2" == *"$3"* ]]; then
        echo "ok: $1"
    else
        sk_fail "$1"
        echo "  expected to contain: $(printf '%q' "$3")"
        echo "  actual:              $(printf '%q' "$2")"
    fi
}

# sk_check_not_contains WHAT HAYSTACK NEEDLE
sk_check_not_contains() {
    SK_CHECKS=$((SK_CHECKS + 1))
    if [[ "$2" != *"$3"* ]]; then
        echo "ok: $1"
    else
        sk_fail "$1"
        echo "  must not contain: $(printf '%q' "$3")"
        echo "  actual:           $(printf '%q' "$2")"
    fi
}

# sk_check_file WHAT FILE EXPECTED: the file holds exactly these bytes (trailing line feeds included,
# which command substitution would drop).
sk_check_file() {
    SK_CHECKS=$((SK_CHECKS + 1))
    if cmp -s "$2" <(printf '%s' "$3"); then
        echo "ok: $1"
    else
        sk_fail "$1"
        echo "  expected: $(printf '%q' "$3")"
        echo "  actual:   $(printf '%q' "$(cat "$2" 2>/dev/null; echo .)") (a dot added at its end)"
    fi
}

# sk_check WHAT COMMAND...: the command's success is the check.
sk_check() {
    local what=$1
    shift
    SK_CHECKS=$((SK_CHECKS + 1))
    if "$@"; then
        echo "ok: $what"
    else
        sk_fail "$what (command: $*)"
    fi
}

# Ends the test: exit status 0 only when every check passed and at least one ran.
sk_finish() {
    if [ "$SK_FAILURES" -eq 0 ] && [ "$SK_CHECKS" -gt 0 ]; then
        echo "PASS: $SK_NAME ($SK_CHECKS checks)"
        exit 0
    fi
    echo "FAIL: $SK_NAME ($SK_FAILURES of $SK_CHECKS checks failed)"
    exit 1
}

# ---------------------------------------------------------------------------------------------------------
# Clean-up, run at exit in reverse order of registration.

sk_cleanup_add() { SK_CLEANUPS+=("$*"); }

_sk_cleanup() {
    local status=$?
    sk_kill_program
    local i
    for ((i = ${#SK_CLEANUPS[@]} - 1; i >= 0; i--)); do
        eval "${SK_CLEANUPS[$i]}" >/dev/null 2>&1 || true
    done
    [ -n "$SK_TRAY_PID" ] && kill "$SK_TRAY_PID" 2>/dev/null
    [ -n "$SK_WM_PID" ] && kill "$SK_WM_PID" 2>/dev/null
    return $status
}
trap _sk_cleanup EXIT

# ---------------------------------------------------------------------------------------------------------
# The program under test.

# sk_start [ARGS...]: starts the real binary in the background with stdout and stderr captured in
# $SK_OUT and $SK_ERR; $SK_PID is its process (or that of the wrapper in SK_WRAP, which must pass the
# exit status on, as strace does). SK_ARGV0, when set, is handed over as the program's argv[0].
sk_start() {
    sk_kill_program
    SK_RUNS=$((SK_RUNS + 1))
    SK_OUT=$SK_TMP/run$SK_RUNS.out
    SK_ERR=$SK_TMP/run$SK_RUNS.err
    SK_WID=
    SK_STATUS=
    if [ -n "${SK_ARGV0:-}" ]; then
        (exec -a "$SK_ARGV0" "${SK_WRAP[@]}" "$SEALKEEP_BIN" "$@") >"$SK_OUT" 2>"$SK_ERR" </dev/null &
    else
        "${SK_WRAP[@]}" "$SEALKEEP_BIN" "$@" >"$SK_OUT" 2>"$SK_ERR" </dev/null &
    fi
    SK_PID=$!
}

sk_running() { [ -n "$SK_PID" ] && kill -0 "$SK_PID" 2>/dev/null; }

# sk_wait_exit [SECONDS]: waits for the program to end; $SK_STATUS is its exit status, or "timeout"
# (the program is then killed).
sk_wait_exit() {
    local limit=${1:-10} waited=0
    [ -n "$SK_PID" ] || { SK_STATUS=none; return 1; }
    while sk_running && [ "$waited" -lt $((limit * 10)) ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    if sk_running; then
        SK_STATUS=timeout
        kill -KILL "$SK_PID" 2>/dev/null
        wait "$SK_PID" 2>/dev/null
    else
        wait "$SK_PID"
        SK_STATUS=$?
    fi
    SK_PID=
    [ "$SK_STATUS" != timeout ]
}

sk_kill_program() {
    if sk_running; then
        kill "$SK_PID" 2>/dev/null
        sk_wait_exit 3 || true
    fi
    SK_PID=
}

sk_stdout() { cat "$SK_OUT" 2>/dev/null; }
sk_stderr() { cat "$SK_ERR" 2>/dev/null; }

# sk_wait_stderr TEXT [SECONDS] [COUNT]: waits until the program's stderr holds COUNT (default 1) lines
# with TEXT (loads report unmatched lines there).
sk_wait_stderr() {
    local text=$1 limit=${2:-10} count=${3:-1} i
    for ((i = 0; i < limit * 10; i++)); do
        [ "$(grep -cF -- "$text" "$SK_ERR" 2>/dev/null)" -ge "$count" ] && return 0
        sleep 0.1
    done
    return 1
}

# ---------------------------------------------------------------------------------------------------------
# Processes the program starts, and time.

# sk_now: the time now in seconds, with fractions (for sk_since).
sk_now() { date +%s.%N; }

# sk_since START: the seconds since START (a value of sk_now), to the millisecond.
sk_since() { awk -v start="$1" -v now="$(sk_now)" 'BEGIN { printf "%.3f", now - start }'; }

# sk_below A B: the number A is less than B.
sk_below() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }

# sk_wait_child [SECONDS]: waits until the program has a child process (gpg while a load runs, or a command
# it executes) and prints its pid.
sk_wait_child() {
    local i pid
    for ((i = 0; i < ${1:-10} * 10; i++)); do
        pid=$(pgrep -P "$SK_PID" 2>/dev/null | head -n 1)
        if [ -n "$pid" ]; then
            echo "$pid"
            return 0
        fi
        sk_running || return 1
        sleep 0.1
    done
    return 1
}

# sk_wait_no_child [SECONDS]: waits until the program has no child process left.
sk_wait_no_child() {
    local i
    for ((i = 0; i < ${1:-10} * 10; i++)); do
        pgrep -P "$SK_PID" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    return 1
}

# sk_process_group PID: the process group of a process (empty once it is gone).
sk_process_group() { ps -o pgid= -p "$1" 2>/dev/null | tr -d ' '; }

# sk_group_alive PGID: some process of that group still runs, however it was reparented. Zombies do not
# count: an orphan is reaped by process 1, which in a container need not be an init that does so.
sk_group_alive() {
    ps -e -o pgid=,stat= | awk -v group="$1" '$1 == group && $2 !~ /^Z/ { found = 1 } END { exit !found }'
}

# sk_wait_group_gone PGID [SECONDS]
sk_wait_group_gone() {
    local i
    for ((i = 0; i < ${2:-5} * 20; i++)); do
        sk_group_alive "$1" || return 0
        sleep 0.05
    done
    return 1
}

# ---------------------------------------------------------------------------------------------------------
# X: every tool under timeout.

sk_x() { timeout -k 2 "$SK_X_TIMEOUT" "$@"; }

# The visible windows titled exactly "Sealkeep". xdotool matches names without regard to case, and the
# status icon's tray window is named "sealkeep", so each candidate's name is compared once more.
_sk_main_windows() {
    local wid
    for wid in $(timeout -k 1 "${1:-$SK_X_TIMEOUT}" xdotool search ${2:+"$2"} --onlyvisible --name "$SK_TITLE_PATTERN" 2>/dev/null); do
        [ "$(sk_x xdotool getwindowname "$wid" 2>/dev/null)" = Sealkeep ] && echo "$wid"
    done
}

# sk_wait_window [SECONDS]: waits for the visible main window; sets $SK_WID. Fails early when the program
# has ended.
sk_wait_window() {
    local limit=${1:-20} i wid
    SK_WID=
    for ((i = 0; i < limit * 2; i++)); do
        wid=$(_sk_main_windows 1 --sync | head -n 1)
        if [ -n "$wid" ]; then
            SK_WID=$wid
            return 0
        fi
        sk_running || return 1
        sleep 0.5
    done
    return 1
}

# Gives the main window the keyboard focus: through the window manager when one runs, else directly.
sk_focus() {
    local wid=${1:-$SK_WID}
    if [ -n "$SK_WM_PID" ]; then
        sk_x xdotool windowactivate --sync "$wid" >/dev/null 2>&1 || return 1
    else
        sk_x xdotool windowfocus --sync "$wid" >/dev/null 2>&1 || return 1
    fi
    # GTK takes the focus when its FocusIn arrives; let it settle before keys are sent.
    sleep 0.3
}

# sk_type TEXT: types into the focused window with real key events.
sk_type() {
    local text=$1
    timeout -k 2 $((SK_X_TIMEOUT + ${#text} / 10)) xdotool type --clearmodifiers --delay 25 -- "$text"
}

# sk_key KEY...: presses keys (xdotool names: Return, ctrl+q, alt+F4, Tab ...).
sk_key() { sk_x xdotool key --clearmodifiers --delay 50 "$@"; }

# sk_menu LETTER INDEX: opens a menu of the menu bar by its mnemonic (Alt+LETTER), which selects its first
# item, steps down INDEX items (separators are passed over) and activates the item, as a keyboard user does.
sk_menu() {
    local letter=$1 index=$2 keys=() i
    for ((i = 0; i < index; i++)); do keys+=(Down); done
    sk_key "alt+$letter" || return 1
    sleep 0.3
    sk_key "${keys[@]}" Return
}

# sk_click_window WID [X Y]: moves the pointer inside the window and clicks button 1.
sk_click_window() {
    local wid=$1 x=${2:-5} y=${3:-5}
    # No --sync: it waits for the pointer to move, forever when it already stands there.
    sk_x xdotool mousemove --window "$wid" "$x" "$y" sleep 0.2 click 1
}

# sk_selection [clipboard|primary]: what the selection holds (empty when nobody owns it).
sk_selection() { sk_x xclip -o -selection "${1:-clipboard}" 2>/dev/null; }

# sk_screenshot NAME: the whole screen as a PNG outside the repository; prints its path.
sk_screenshot() {
    mkdir -p "$SK_SHOT_DIR"
    local file=$SK_SHOT_DIR/$SK_NAME-$1.png
    sk_x import -window root "$file" && echo "$file"
}

# sk_measure_tree [PICTURE]: finds the tree's area in the window (the white run near the right edge) and
# keeps it in SK_TREE_TOP and SK_TREE_BOTTOM; from a picture of the window taken now, or from PICTURE. The
# toolkit draws every widget inside one X window, so areas are found in a picture of it. Call it while no
# row is selected: a selected row crosses that edge.
sk_measure_tree() {
    local picture=${1:-$SK_TMP/tree.png} width area
    [ -n "${1:-}" ] || sk_x import -window "$SK_WID" "$picture" || return 1
    width=$(identify -format '%w' "$picture") || return 1
    # Single white rows are bevels; the tree is the first longer run.
    area=$(convert "$picture" -crop "1x+$((width - 8))+0" +repage -depth 8 txt:- |
        awk -F'[,:]' '/#FFFFFF/ { if (!run++) first = $2; last = $2; next }
                      { if (run >= 6) { print first, last; exit } run = 0 }')
    [ -n "$area" ] || return 1
    read -r SK_TREE_TOP SK_TREE_BOTTOM <<<"$area"
}

# sk_search TEXT: puts TEXT into the search entry wherever the focus was: a click into the entry, which
# stands just below the tree (call sk_measure_tree first), all of its text selected and typed over.
sk_search() {
    local WIDTH
    eval "$(sk_x xdotool getwindowgeometry --shell "$SK_WID" | grep '^WIDTH=')"
    sk_click_window "$SK_WID" $((WIDTH / 2)) $((SK_TREE_BOTTOM + 16)) || return 1
    sleep 0.2
    sk_key ctrl+a || return 1
    sk_type "$1"
}

# sk_toolbar_buttons: the centres of the toolbar's buttons, "X Y" per line, left to right, in window
# coordinates. The toolbar ends where the tree begins, its labels stand just above that edge, and the
# gaps between labels are wider than the blanks inside one. Call it with the prompt hidden and no row
# selected.
sk_toolbar_buttons() {
    local picture=$SK_TMP/toolbar.png width
    sk_measure_tree || return 1
    sk_x import -window "$SK_WID" "$picture" || return 1
    width=$(identify -format '%w' "$picture") || return 1
    # Columns with dark ink in the label band, grouped where a gap of 8 columns or more separates them.
    # The window's own frame is no label: a window as narrow as its toolbar has it in the band.
    convert "$picture" -crop "${width}x16+0+$((SK_TREE_TOP - 22))" +repage -colorspace Gray -negate \
        -threshold 45% -scale "${width}x1!" -depth 8 txt:- |
        awk -F'[,:( ]+' -v y=$((SK_TREE_TOP - 15)) -v width="$width" '
            NR > 1 { ink = ($4 + 0 > 0) && $1 > 1 && $1 < width - 2 }
            NR > 1 && ink { if (start == "" || $1 - last > 8) { if (start != "") print int((start + last) / 2), y; start = $1 }
                            last = $1 }
            END { if (start != "") print int((start + last) / 2), y }'
}

# sk_tree_rows_shown [PICTURE]: how many rows the tree shows now (or in PICTURE, a picture of the window):
# bands of rows with anything but the white background in the area measured by sk_measure_tree (a row's
# text, or a selected row's band, in whatever colour the selection has; consecutive selected rows make
# one band). The icon column is left out: the customer icon's frame stands apart from its row's text.
sk_tree_rows_shown() {
    local picture=${1:-$SK_TMP/rows.png} width
    [ -n "${1:-}" ] || sk_x import -window "$SK_WID" "$picture" || return 1
    width=$(identify -format '%w' "$picture") || return 1
    convert "$picture" -crop "$((width - 48))x$((SK_TREE_BOTTOM - SK_TREE_TOP))+24+$SK_TREE_TOP" +repage \
        -colorspace Gray -negate -threshold 2% -scale "1x$((SK_TREE_BOTTOM - SK_TREE_TOP))!" -depth 8 txt:- |
        awk -F'[,:( ]+' 'NR > 1 { ink = ($4 + 0 > 0) }
                         NR > 1 && ink { if (last == "" || $2 - last > 3) rows++; last = $2 }
                         END { print rows + 0 }'
}

# sk_net_wm_state [WID]: the window's _NET_WM_STATE atoms, one per line.
sk_net_wm_state() {
    sk_x xprop -id "${1:-$SK_WID}" _NET_WM_STATE 2>/dev/null |
        sed -n 's/^_NET_WM_STATE(ATOM) = //p' | tr ',' '\n' | tr -d ' '
}

# sk_wait_state_has ATOM [SECONDS] / sk_wait_state_lacks ATOM [SECONDS]: the window manager answers
# asynchronously, so a state is polled for.
sk_wait_state_has() {
    local i
    for ((i = 0; i < ${2:-5} * 10; i++)); do
        sk_net_wm_state | grep -qx "$1" && return 0
        sleep 0.1
    done
    return 1
}
sk_wait_state_lacks() {
    local i
    for ((i = 0; i < ${2:-5} * 10; i++)); do
        sk_net_wm_state | grep -qx "$1" || return 0
        sleep 0.1
    done
    return 1
}

# Closes the main window as a person does: the window manager's close (Alt+F4 in openbox's default
# bindings), which sends WM_DELETE_WINDOW. Needs sk_start_wm.
sk_close_window() {
    local wid=${1:-$SK_WID}
    sk_focus "$wid" || return 1
    sk_key alt+F4
}

# ---------------------------------------------------------------------------------------------------------
# Window manager and notification area.

# Starts openbox and waits until it manages the screen. On a loaded machine the display can refuse a
# first connection, so a window manager that ends at once is started again, a few times.
sk_start_wm() {
    local attempt i
    for attempt in 1 2 3; do
        openbox --sm-disable >"$SK_TMP/openbox.log" 2>&1 &
        SK_WM_PID=$!
        for ((i = 0; i < 100; i++)); do
            sk_x xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
            kill -0 "$SK_WM_PID" 2>/dev/null || break
            sleep 0.1
        done
        kill "$SK_WM_PID" 2>/dev/null
        sleep 1
    done
    SK_WM_PID=
    echo "openbox did not start:" >&2
    cat "$SK_TMP/openbox.log" >&2
    return 1
}

# Starts trayer, a panel with a notification area, and waits for its window.
sk_start_tray() {
    trayer --edge bottom --align right --widthtype pixel --width 120 --height 32 --SetDockType true \
        --SetPartialStrut true --transparent false --tint 0xc0c0c0 >"$SK_TMP/trayer.log" 2>&1 &
    SK_TRAY_PID=$!
    if ! timeout -k 1 10 xdotool search --sync --onlyvisible --classname '^panel$' >/dev/null 2>&1; then
        echo "trayer did not start:" >&2
        cat "$SK_TMP/trayer.log" >&2
        return 1
    fi
}

# sk_find_status_icon [SECONDS]: the status icon's window (a small window of the program's class other
# than the main window, mapped inside the tray); prints its id.
sk_find_status_icon() {
    local i wid geometry
    for ((i = 0; i < ${1:-10} * 10; i++)); do
        for wid in $(sk_x xdotool search --classname '^sealkeep$' 2>/dev/null); do
            [ "$wid" = "$SK_WID" ] && continue
            geometry=$(sk_x xwininfo -id "$wid" 2>/dev/null) || continue
            grep -q 'Map State: IsViewable' <<<"$geometry" || continue
            local width height
            width=$(sed -n 's/^ *Width: //p' <<<"$geometry")
            height=$(sed -n 's/^ *Height: //p' <<<"$geometry")
            if [ "$width" -le 64 ] && [ "$height" -le 64 ]; then
                echo "$wid"
                return 0
            fi
        done
        sleep 0.1
    done
    return 1
}

# ---------------------------------------------------------------------------------------------------------
# Settings, through the same dconf the program reads.

_sk_gvariant_string() {
    local s=${1//\\/\\\\}
    s=${s//\'/\\\'}
    printf "'%s'" "$s"
}

sk_setting_set() {
    GSETTINGS_BACKEND=dconf timeout 10 gsettings set "$SK_SCHEMA" "$1" "$(_sk_gvariant_string "$2")"
}

sk_setting_get() {
    GSETTINGS_BACKEND=dconf timeout 10 gsettings get "$SK_SCHEMA" "$1"
}

# ---------------------------------------------------------------------------------------------------------
# gpg: a fresh, short GNUPGHOME per case. The agent caches passphrases, so one home serving a right and
# then a wrong passphrase would make the wrong one succeed; and its socket lives in the home, whose path
# must stay short.

# Makes a new GNUPGHOME and exports it, so that the program started next uses it; prints nothing.
sk_gpg_home() {
    local home
    home=$(mktemp -d /tmp/g.XXXX)
    chmod 700 "$home"
    export GNUPGHOME=$home
    sk_cleanup_add "GNUPGHOME='$home' gpgconf --kill gpg-agent; rm -rf '$home'"
}

# Forgets every cached passphrase: the agent is stopped and starts afresh on demand.
sk_gpg_forget() { gpgconf --kill gpg-agent >/dev/null 2>&1 || true; }

# sk_encrypt_symmetric OUT PASSPHRASE [GPG OPTIONS...] < plaintext
sk_encrypt_symmetric() {
    gpg --batch --yes --quiet --no-symkey-cache --pinentry-mode loopback --passphrase-fd 3 \
        --symmetric --cipher-algo AES256 "${@:3}" --output "$1" 3< <(printf '%s' "$2")
    local status=$?
    sk_gpg_forget
    return $status
}

SK_GPG_UID='Sealkeep Test <test@sealkeep.invalid>'

# sk_encrypt_public OUT PASSPHRASE < plaintext: encrypts for a key of this GNUPGHOME whose secret part is
# protected by PASSPHRASE (the key is made on first use).
sk_encrypt_public() {
    if ! gpg --batch --list-secret-keys "$SK_GPG_UID" >/dev/null 2>&1; then
        gpg --batch --quiet --pinentry-mode loopback --passphrase-fd 3 \
            --quick-gen-key "$SK_GPG_UID" future-default default never 3< <(printf '%s' "$2") || return 1
    fi
    gpg --batch --yes --quiet --trust-model always --recipient "$SK_GPG_UID" --encrypt --output "$1"
    local status=$?
    sk_gpg_forget
    return $status
}

# The gpg found on PATH before any stand-in.
SK_REAL_GPG=$(command -v gpg)

# sk_gpg_stand_in SCRIPT: puts an executable "gpg" running this sh script first on PATH, for the programs
# started from then on, and keeps its path in $SK_STAND_IN. The path is new each call, so the stand-in's
# processes can be found by it; the script may exec "$SK_REAL_GPG" "$@".
sk_gpg_stand_in() {
    local dir
    dir=$(mktemp -d "$SK_TMP/stand-in.XXXXXX") || return 1
    SK_STAND_IN=$dir/gpg
    { echo '#!/bin/sh'; printf '%s\n' "$1"; } >"$SK_STAND_IN"
    chmod +x "$SK_STAND_IN"
    export SK_REAL_GPG
    export PATH="$dir:$PATH"
}

# A record line as the password file holds it.
sk_record() {
    printf 'customer=%s;group=%s;server=%s;service=%s;serviceplus=%s;user=%s;password=%s\n' "$@"
}

# ---------------------------------------------------------------------------------------------------------
# A load as a person does it: the window is up with the prompt shown; type the passphrase and press Enter.
sk_type_passphrase() {
    sk_focus || return 1
    sk_type "$1" || return 1
    sk_key Return
}
