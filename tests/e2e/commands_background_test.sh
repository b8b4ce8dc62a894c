# Commands run beside the window, as a person meets them: a template without a trailing " &" that reads
# the clipboard gets the password (the window keeps serving it), a child starts with default signal
# handling and the environment the program was started with (read from the child's /proc), a command
# that never ends leaves the window answering and Quit working, and a cluster command too long for the
# system to start runs nothing.
source "$(dirname "$0")/../harness/lib.sh"

passphrase=commands-pass
probe=$SK_TMP/probe
mkdir -p "$probe"

# Foreground on purpose: before, the program waited for such a command and could not serve the clipboard.
sk_setting_set ssh-cmd "timeout 5 xclip -o -selection clipboard > $probe/clipboard; \
grep -E '^Sig(Ign|Blk):' /proc/\$\$/status > $probe/signals; tr '\\0' '\\n' < /proc/\$\$/environ > $probe/environ"
sk_setting_set ftp-cmd "echo \$\$ > $probe/sleeper; exec sleep 100000"
sk_setting_set cssh-cmd "echo %h | wc -c >> $probe/cluster"

# Host names of 1,000 bytes: 200 of them make a cluster line beyond the 128 KiB one argument may hold.
long_host=$(printf 'h%.0s' $(seq 1000))
sk_gpg_home
{
    sk_record acme web alpha ssh "" alice pw-alpha
    sk_record acme web bravo ftp "" bob pw-bravo
    for i in $(seq 200); do sk_record many grp "$long_host$i" ssh "" u p; done
} | sk_encrypt_symmetric "$SK_TMP/accounts.gpg" "$passphrase"

sk_start_wm || exit 1
# A variable of the user's, and none of the program's own: the child must see exactly these.
SK_USER_MARK=from-the-user sk_start "$SK_TMP/accounts.gpg"
sk_wait_window 20 || { sk_fail "no window"; sk_finish; }
sk_type_passphrase "$passphrase"
sleep 1.5

wait_for_file() { # wait_for_file PATH SECONDS
    local i
    for ((i = 0; i < $2 * 10; i++)); do
        [ -s "$1" ] && return 0
        sleep 0.1
    done
    return 1
}

sk_measure_tree || sk_fail "the tree area was not found"
sk_search alice
sleep 0.4
sk_menu a 2 # Copy password & Execute
sk_check "Copy & Execute with a foreground command: the command has read the clipboard" \
    wait_for_file "$probe/clipboard" 8
sk_check_eq "the command found the password on the clipboard" pw-alpha "$(cat "$probe/clipboard" 2>/dev/null)"

wait_for_file "$probe/environ" 5
ignored=$(sed -n 's/^SigIgn:[[:space:]]*//p' "$probe/signals")
blocked=$(sed -n 's/^SigBlk:[[:space:]]*//p' "$probe/signals")
# SIGPIPE is signal 13: bit 12 of the mask.
sk_check_eq "the child does not ignore SIGPIPE" 0 "$(((16#${ignored:-1000} >> 12) & 1))"
sk_check_eq "the child blocks no signal" 0000000000000000 "$blocked"
sk_check_contains "the child has the user's environment" "$(cat "$probe/environ")" "SK_USER_MARK=from-the-user"
sk_check_not_contains "the child does not get the program's own settings backend" "$(cat "$probe/environ")" \
    "GSETTINGS_BACKEND="

# A command that never ends: the window still answers (a dialog opens and closes) and Quit ends the program.
sk_search bob
sleep 0.4
sk_menu a 3 # Execute
sk_check "the endless command runs" wait_for_file "$probe/sleeper" 5
sk_cleanup_add "kill $(cat "$probe/sleeper" 2>/dev/null)"
sk_menu h 0 # Help, About
about_shown() { sk_x xdotool search --sync --onlyvisible --name '^About Sealkeep$' >/dev/null 2>&1; }
sk_check "while the command runs, the window answers: About opens" about_shown
sk_key Escape
sleep 0.4

# Every row of the many long hosts selected: the cluster line would not fit one argument.
sk_menu v 2 # Expand all
sleep 0.5
sk_search grp
sleep 0.4
sk_key shift+Tab
sleep 0.3
sk_key ctrl+a
sleep 0.8
sk_menu a 3 # Execute
sleep 1
shot=$(sk_screenshot refused) && sk_log "screenshot: $shot"
sk_check_eq "a cluster command too long to start is refused: nothing ran" "" "$(cat "$probe/cluster" 2>/dev/null)"
sk_check "the program goes on after the refusal" sk_running

start=$(sk_now)
sk_focus
sk_key ctrl+q
sk_wait_exit 5
elapsed=$(sk_since "$start")
sk_check_eq "Quit while a command runs: exit status" 0 "$SK_STATUS"
sk_check "Quit while a command runs ends the program within a second (took $elapsed s)" sk_below "$elapsed" 1.5
sk_check "the command goes on after the program (it is the user's)" kill -0 "$(cat "$probe/sleeper")"
sk_finish
