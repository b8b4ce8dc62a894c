# Editing accounts in the real window with real keys and clicks: Edit by F2 and by double-click, Add by
# Insert with Generate, Duplicate, Delete (one at once, several after a question), Change password on a
# customer; refused values keep the account dialog open; the placement rules; Generate's choices stored
# in the settings. What the edits made is read back through the clipboard and the commands the rows run.
source "$(dirname "$0")/../harness/lib.sh"

passphrase=edit-pass
ran=$SK_TMP/ran.txt
: >"$ran"
sk_setting_set ssh-cmd "ssh %u@%h:%s"
sk_setting_set ftp-cmd "ftp %u@%h:%s"
# Several rows run this once, with their hosts in the order of the tree.
sk_setting_set cssh-cmd "echo \"%h\" >> $ran"

sk_gpg_home
{
    sk_record acme web alpha ssh "" root pw-root
    sk_record acme web alpha ssh "" bob pw-bob
    sk_record beta-co "" gamma ftp 21 carol pw-carol
    sk_record beta-co "" gamma2 ftp 21 dan pw-dan
    sk_record acme db delta ssh "" bob pw-bob-db
} | sk_encrypt_symmetric "$SK_TMP/accounts.gpg" "$passphrase"

sk_start_wm || exit 1
sk_start "$SK_TMP/accounts.gpg"
sk_wait_window 20 || { sk_fail "no window"; sk_finish; }
sk_type_passphrase "$passphrase"
sleep 1.5
sk_measure_tree || sk_fail "the tree area was not found"

copy_command() { sk_menu a 0; sleep 0.4; sk_selection clipboard; }
copy_password() { sk_menu a 1; sleep 0.4; sk_selection clipboard; }
# The search entry: all of its text replaced; the first match becomes the selected row.
search() { sk_search "$1"; sleep 0.5; }
# Waits for a window other than the main one to be active (a dialog); prints its name.
wait_dialog() {
    local i active
    for ((i = 0; i < 30; i++)); do
        active=$(sk_x xdotool getactivewindow 2>/dev/null)
        if [ -n "$active" ] && [ "$active" != "$SK_WID" ]; then
            sk_x xdotool getwindowname "$active"
            return 0
        fi
        sleep 0.1
    done
    return 1
}
wait_main_active() {
    local i
    for ((i = 0; i < 30; i++)); do
        [ "$(sk_x xdotool getactivewindow 2>/dev/null)" = "$SK_WID" ] && return 0
        sleep 0.1
    done
    return 1
}
# The hosts of every account row in tree order: View, Expand all; select all rows; Execute runs the
# cluster template over them.
tree_hosts() {
    local before
    before=$(wc -l <"$ran")
    sk_menu v 2
    sleep 0.3
    sk_focus
    sk_search "   " # the focus in the search entry, no search
    sk_key shift+Tab ctrl+a
    sleep 0.3
    sk_menu a 3
    for _ in $(seq 50); do [ "$(wc -l <"$ran")" -gt "$before" ] && break; sleep 0.1; done
    tail -n 1 "$ran"
}

sk_check_eq "the tree as loaded" " alpha alpha alpha gamma gamma2 delta" "$(tree_hosts)"

# ---- Edit by F2 (the focus in the search entry: F2 is no key of an entry) ----
search root
sk_key F2
sk_check_eq "F2 opens the account dialog" "Edit account" "$(wait_dialog)"
sk_key alt+p ctrl+a
sk_type new-root-pw
sk_key Return
wait_main_active
sk_check_eq "the edited password" new-root-pw "$(copy_password)"
sk_check_eq "the edited row is still root's" "ssh root@alpha:" "$(copy_command)"

# ---- Add by Insert: the dialog starts with the selected row's branch; a refused value keeps it open ----
sk_key Insert
sk_check_eq "Insert opens the account dialog" "Add account" "$(wait_dialog)"
add_dialog=$(sk_x xdotool getactivewindow)
sk_key alt+u
sk_type "e;ve"
sk_key Return
sleep 0.5
sk_check_eq "a semicolon in the user: Enter does not close the dialog" "$add_dialog" "$(sk_x xdotool getactivewindow)"
printf 'eve\nx' | sk_x xclip -selection clipboard
sk_key alt+u ctrl+a ctrl+v Return
sleep 0.5
sk_check_eq "a pasted line break: Enter does not close the dialog" "$add_dialog" "$(sk_x xdotool getactivewindow)"
sk_key alt+u ctrl+a
sk_type "  eve  "
# Generate: 12 characters, letters and digits only (the punctuation box unticked).
sk_key alt+n
sk_check_eq "Generate opens its options" "Generate password" "$(wait_dialog)"
sk_key alt+l ctrl+a
sk_type 12
sk_key alt+p
sleep 0.2
sk_key Return
sleep 0.5
sk_key Return
wait_main_active
generated=$(copy_password)
sk_check_eq "the generated password has the length chosen" 12 "${#generated}"
sk_check "the generated password has letters and digits only: $generated" grep -qE '^[A-Za-z0-9]{12}$' <<<"$generated"
sk_check_eq "the new account, trimmed, is selected" "ssh eve@alpha:" "$(copy_command)"
sk_check_eq "the length is stored" 12 "$(sk_setting_get generate-length)"
sk_check_eq "the unticked class is stored" false "$(sk_setting_get generate-punctuation)"
sk_check_eq "the other classes stay" true "$(sk_setting_get generate-digits)"

# Placement: eve stands after bob, the last account of her branch.
sk_focus
sk_search "   "
sk_key shift+Tab
sleep 0.2
sk_key Up
sleep 0.2
sk_check_eq "the row above the new one is bob's" "ssh bob@alpha:" "$(copy_command)"

# ---- Duplicate from the Edit menu; Generate again uses the stored choice ----
search eve
sk_menu e 2
sk_check_eq "Duplicate opens the account dialog" "Duplicate account" "$(wait_dialog)"
sk_key alt+u ctrl+a
sk_type eve2
sk_key alt+n
wait_dialog >/dev/null
sk_key Return
sleep 0.5
sk_key Return
wait_main_active
generated=$(copy_password)
sk_check "Generate remembers 12 letters and digits: $generated" grep -qE '^[A-Za-z0-9]{12}$' <<<"$generated"
sk_check_eq "the duplicate is selected" "ssh eve2@alpha:" "$(copy_command)"

# ---- Placement: a new server of a known customer goes after that customer's last line; a new customer
# at the end ----
search eve2
sk_key Insert
wait_dialog >/dev/null
sk_key alt+s ctrl+a
sk_type newhost
sk_key alt+u ctrl+a
sk_type neu
sk_key alt+p
sk_type pw-neu
sk_key Return
wait_main_active
sk_key Insert
wait_dialog >/dev/null
sk_key alt+m ctrl+a
sk_type zeta
sk_key alt+g ctrl+a alt+s ctrl+a
sk_type zhost
sk_key alt+u ctrl+a
sk_type z
sk_key Return
wait_main_active
sk_check_eq "after the edits, in tree order" " alpha alpha alpha alpha alpha gamma gamma2 delta newhost zhost" "$(tree_hosts)"

# ---- Double-click on a user row edits it ----
search carol
sleep 0.3
shot=$(sk_screenshot carol-selected) && sk_log "screenshot: $shot"
# The selected row is the band of the selection colour near the tree's right side, left of the scroll bar
# and right of every text.
picture=$SK_TMP/selected.png
sk_x import -window "$SK_WID" "$picture"
width=$(identify -format '%w' "$picture")
row_y=$(convert "$picture" -crop "1x$((SK_TREE_BOTTOM - SK_TREE_TOP))+$((width - 40))+$SK_TREE_TOP" +repage -depth 8 txt:- |
    awk -F'[,:]' '!/#FFFFFF/ && NR > 1 { if (!first) first = $2; last = $2 } END { print int(SK_TOP + (first + last) / 2) }' SK_TOP="$SK_TREE_TOP")
sk_x xdotool mousemove --window "$SK_WID" 120 "$row_y" sleep 0.2 click --repeat 2 --delay 80 1
sk_check_eq "a double-click on a user row opens the account dialog" "Edit account" "$(wait_dialog)"
sk_key alt+p ctrl+a
sk_type pw-carol-2
sk_key Return
wait_main_active
sk_check_eq "the double-clicked account has its new password" pw-carol-2 "$(copy_password)"
sk_check_eq "and is carol's" "ftp carol@gamma:21" "$(copy_command)"

# ---- Change password on a customer: only the named user's accounts under it ----
search acme
sk_menu e 4
sk_check_eq "Change password opens its dialog" "Change password" "$(wait_dialog)"
sk_key alt+u ctrl+a
sk_type bob
sk_key alt+p
sk_type pw-bob-new
sk_key Return
wait_main_active
search bob
sk_check_eq "bob under the selected customer has the new password" pw-bob-new "$(copy_password)"
sk_menu a 5 # the next match: bob on delta, under the second acme row
sleep 0.4
sk_check_eq "the next bob is on delta" "ssh bob@delta:" "$(copy_command)"
sk_check_eq "bob under the other customer row keeps his password" pw-bob-db "$(copy_password)"
search root
sk_check_eq "root under the customer keeps his password" new-root-pw "$(copy_password)"

# ---- Delete: one account at once; several after a question ----
search eve2
sk_key shift+Tab
sleep 0.2
sk_key Delete
sleep 0.5
sk_check_eq "one account deleted without a question" "$SK_WID" "$(sk_x xdotool getactivewindow)"
# The search entry takes Delete as its own key: the tree is untouched.
search beta-co
sk_key Home Delete
sleep 0.5
sk_check_eq "Delete in the search entry deletes a character, not accounts" " alpha alpha alpha alpha gamma gamma2 delta newhost zhost" "$(tree_hosts)"
search beta-co
sk_key shift+Tab
sleep 0.2
sk_key Delete
wait_dialog >/dev/null
sk_check "several accounts: a question first" test "$(sk_x xdotool getactivewindow)" != "$SK_WID"
sk_key Escape
wait_main_active
sk_check_eq "cancelled: nothing deleted" " alpha alpha alpha alpha gamma gamma2 delta newhost zhost" "$(tree_hosts)"
search beta-co
sk_key shift+Tab
sleep 0.2
sk_key Delete
wait_dialog >/dev/null
shot=$(sk_screenshot delete-question) && sk_log "screenshot: $shot"
sk_key alt+d
wait_main_active
sk_check_eq "confirmed: the customer's two accounts are gone" " alpha alpha alpha alpha delta newhost zhost" "$(tree_hosts)"

# Edits not saved: the title carries the mark, and closing asks before they go.
sk_check_eq "the title marks unsaved edits" "*Sealkeep" "$(sk_x xdotool getwindowname "$SK_WID")"
sk_close_window
asked=no
wait_dialog >/dev/null && asked=yes
sk_check_eq "closing with unsaved edits asks first" yes "$asked"
sk_key Escape
wait_main_active
sk_check_eq "Cancel keeps the window" "*Sealkeep" "$(sk_x xdotool getwindowname "$SK_WID")"
sk_close_window
wait_dialog >/dev/null
sk_key alt+d
sk_wait_exit 10
sk_check_eq "exit status after closing and discarding" 0 "$SK_STATUS"
sk_finish
