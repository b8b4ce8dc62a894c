# The four accelerators pressed as real keys while the focus is in the passphrase entry and in the search
# entry: Ctrl+N and Ctrl+P step through the search matches with wrap-around (seen through the password
# copied from each), Ctrl+R brings the prompt back, Ctrl+Q ends the program with status 0.
source "$(dirname "$0")/../harness/lib.sh"

passphrase=accel-pass
sk_gpg_home
{
    sk_record acme web host-a ssh "" usr-a pa
    echo "no record here"
    sk_record acme web host-b ssh "" usr-b pb
    sk_record beta db host-c ssh "" usr-c pc
} | sk_encrypt_symmetric "$SK_TMP/accounts.gpg" "$passphrase"

sk_start_wm || exit 1

wait_loads() { sk_wait_stderr "WARNING: not matched: no record here" 15 "$1"; }
copied_password() {
    sk_menu a 1 # Action, Copy password
    sleep 0.4
    sk_selection clipboard
}

# Ctrl+Q while the focus is in the passphrase entry, as it is at start.
sk_start "$SK_TMP/accounts.gpg"
sk_wait_window 20 || { sk_fail "no window"; sk_finish; }
sk_focus
sk_type "half typed"
sk_key ctrl+q
sk_wait_exit 10
sk_check_eq "Ctrl+Q in the passphrase entry ends the program with status 0" 0 "$SK_STATUS"

# Ctrl+N, Ctrl+P and Ctrl+R in the middle of typing the passphrase leave the typed text whole.
sk_start "$SK_TMP/accounts.gpg"
sk_wait_window 20 || { sk_fail "no window"; sk_finish; }
sk_focus
sk_type "${passphrase:0:4}"
sk_key ctrl+n ctrl+p ctrl+r
sk_type "${passphrase:4}"
sk_key Return
sk_check "Ctrl+N, Ctrl+P, Ctrl+R in the passphrase entry: the passphrase stays whole and loads" wait_loads 1
sleep 0.5

# In the search entry, where the focus is after a load.
sk_type usr
sleep 0.4
sk_check_eq "search: the first match is selected" pa "$(copied_password)"
# name | key | password of the row selected afterwards
steps=(
    "Ctrl+N: the next match|ctrl+n|pb"
    "Ctrl+N: the last match|ctrl+n|pc"
    "Ctrl+N past the last match wraps to the first|ctrl+n|pa"
    "Ctrl+P before the first match wraps to the last|ctrl+p|pc"
    "Ctrl+P: the previous match|ctrl+p|pb"
)
for step in "${steps[@]}"; do
    IFS='|' read -r name key password <<<"$step"
    sk_key "$key"
    sleep 0.3
    sk_check_eq "in the search entry, $name" "$password" "$(copied_password)"
done

# Ctrl+R shows the prompt with the focus in its entry: the passphrase typed next loads again.
sk_key ctrl+r
sleep 0.5
sk_type "$passphrase"
sk_key Return
sk_check "Ctrl+R in the search entry brings back the prompt, which loads again" wait_loads 2

sleep 0.5
sk_key ctrl+q
sk_wait_exit 10
sk_check_eq "Ctrl+Q in the search entry ends the program with status 0" 0 "$SK_STATUS"
sk_finish
