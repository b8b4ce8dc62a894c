# The entry actions as a person uses them in the real window: find an account with the search entry,
# copy its command line and password by toolbar button and by the Action menu (read back from CLIPBOARD
# and PRIMARY with xclip), and execute one row and several rows with templates that write what the
# shell ran into a file.
source "$(dirname "$0")/../harness/lib.sh"

passphrase=actions-pass
ran=$SK_TMP/ran.txt
seen_clipboard=$SK_TMP/clipboard-seen.txt
: >"$ran"

# The command records what it was given and, in the background (the program serves the clipboard only
# once the command has returned), what the clipboard held when it ran.
ssh_template="echo \"ssh %u@%h:%s\" >> $ran; (timeout 5 xclip -o -selection clipboard > $seen_clipboard) &"
sk_setting_set ssh-cmd "$ssh_template"
sk_setting_set cssh-cmd "echo \"cluster[%h]\" >> $ran"

sk_gpg_home
{
    sk_record acme web alpha ssh "" u1x pw-alpha
    sk_record acme web bravo ssh "" u2x pw-bravo
} | sk_encrypt_symmetric "$SK_TMP/accounts.gpg" "$passphrase"

sk_start_wm || exit 1
sk_start "$SK_TMP/accounts.gpg"
sk_wait_window 20 || { sk_fail "no window"; sk_finish; }
sk_type_passphrase "$passphrase"
sleep 1.5

alpha_command="echo \"ssh u1x@alpha:\" >> $ran; (timeout 5 xclip -o -selection clipboard > $seen_clipboard) &"

# Waits until the file has N lines; prints its last line.
ran_line() {
    local i
    for ((i = 0; i < 50; i++)); do
        [ "$(wc -l <"$ran")" -ge "$1" ] && break
        sleep 0.1
    done
    sed -n "${1}p" "$ran"
}

# The toolbar is located while no row is selected.
buttons=$(sk_toolbar_buttons)
sk_check_eq "the toolbar has seven buttons" 7 "$(grep -c . <<<"$buttons")"
toolbar() { # toolbar INDEX
    # shellcheck disable=SC2046 # "X Y"
    sk_click_window "$SK_WID" $(sed -n "$(($1 + 1))p" <<<"$buttons")
    sleep 0.4
}

# Three letters select and reveal the first match; the focus stays in the search entry.
sk_measure_tree || sk_fail "the tree area was not found"
sk_check_eq "loaded and collapsed, the tree shows its one customer row" 1 "$(sk_tree_rows_shown)"
sk_focus
sk_type u1x
sleep 0.5
# acme, web, alpha, ssh, u1x and, under the expanded group, bravo.
sk_check_eq "the match is revealed: its ancestors are expanded" 6 "$(sk_tree_rows_shown)"

toolbar 0
sk_check_eq "toolbar Copy cmd line: the row's command line" "$alpha_command" "$(sk_selection clipboard)"
toolbar 1
sk_check_eq "toolbar Copy passwd: CLIPBOARD" pw-alpha "$(sk_selection clipboard)"
sk_check_eq "toolbar Copy passwd: PRIMARY" pw-alpha "$(sk_selection primary)"

sk_menu a 0
sleep 0.4
sk_check_eq "Action menu Copy command line" "$alpha_command" "$(sk_selection clipboard)"
sk_menu a 1
sleep 0.4
sk_check_eq "Action menu Copy password: CLIPBOARD" pw-alpha "$(sk_selection clipboard)"
sk_check_eq "Action menu Copy password: PRIMARY" pw-alpha "$(sk_selection primary)"

toolbar 3
sk_check_eq "toolbar Execute runs the row's command line" "ssh u1x@alpha:" "$(ran_line 1)"
sk_menu a 3
sk_check_eq "Action menu Execute runs it again" "ssh u1x@alpha:" "$(ran_line 2)"

# Copy & Execute: with the command line on the clipboard first, the command must find the password there.
sk_menu a 0
sleep 0.4
rm -f "$seen_clipboard"
toolbar 2
sk_check_eq "toolbar Copy & Execute runs the command line" "ssh u1x@alpha:" "$(ran_line 3)"
for _ in $(seq 50); do [ -s "$seen_clipboard" ] && break; sleep 0.1; done
sk_check_eq "toolbar Copy & Execute: the command finds the password on the clipboard" pw-alpha \
    "$(cat "$seen_clipboard" 2>/dev/null)"
rm -f "$seen_clipboard"
sk_menu a 0
sleep 0.4
sk_menu a 2
sk_check_eq "Action menu Copy password & Execute runs the command line" "ssh u1x@alpha:" "$(ran_line 4)"
for _ in $(seq 50); do [ -s "$seen_clipboard" ] && break; sleep 0.1; done
sk_check_eq "Action menu Copy password & Execute: the password is on the clipboard" pw-alpha \
    "$(cat "$seen_clipboard" 2>/dev/null)"

# Several rows: View, Expand all; then from the selected user row extend the selection down to the
# other user row (u1x, bravo, ssh, u2x). Only the two user rows carry records: host list " alpha bravo".
sk_menu v 2
sleep 0.4
sk_key shift+Tab
sleep 0.3
sk_key shift+Down shift+Down shift+Down
sleep 0.3
shot=$(sk_screenshot several-selected) && sk_log "screenshot: $shot"
toolbar 3
sk_check_eq "Execute on several rows runs the cluster template over their hosts" "cluster[ alpha bravo]" \
    "$(ran_line 5)"
sk_check_eq "nothing else ran" 5 "$(wc -l <"$ran")"

sk_close_window
sk_wait_exit 10
sk_check_eq "exit status after closing" 0 "$SK_STATUS"
sk_finish
