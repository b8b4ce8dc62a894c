# Where typed secrets may not go. Keys typed while a slow load runs (a second try at the passphrase, say)
# reach no text field: not the search entry that takes the focus afterwards, nor PRIMARY. The prompt's
# masked entry gives nothing to CLIPBOARD or PRIMARY; its show toggle is off and its entry empty each time
# it is shown again, and showing it selects nothing.
source "$(dirname "$0")/../harness/lib.sh"

sk_start_wm || exit 1

passphrase=secrecy-pass
sk_gpg_home
{
    echo "not a record"
    sk_record acme web alpha ssh "" alice pw-alpha
} | sk_encrypt_symmetric "$SK_TMP/accounts.gpg" "$passphrase"

# gpg made slow: while the flag file exists it waits 3 s before the real gpg starts.
slow_flag=$SK_TMP/slow
sk_gpg_stand_in "[ -e '$slow_flag' ] && sleep 3
exec \"\$SK_REAL_GPG\" \"\$@\""

copy_password_of() { # copy_password_of USER: finds the user's row by the search and copies its password
    sk_type "$1"
    sleep 0.5
    sk_menu a 1 # Action, Copy password
    sleep 0.3
}

load_running() { pgrep -P "$SK_PID" >/dev/null; }

# Owns PRIMARY with TEXT from a process of the test's own, so that any later claim by the program shows.
own_primary() {
    printf '%s' "$1" | xclip -quiet -selection primary >/dev/null 2>&1 &
    sk_cleanup_add "kill $!"
    for _ in $(seq 30); do [ "$(sk_selection primary)" = "$1" ] && return 0; sleep 0.1; done
    return 1
}

# ---------------------------------------------------------------------------------------------------------
sk_log "case: keys typed during a slow load"
touch "$slow_flag"
sk_start "$SK_TMP/accounts.gpg"
if sk_wait_window 20; then
    sk_type_passphrase "$passphrase"
    sk_wait_child 5 >/dev/null
    # A second try at the passphrase, as an impatient person types it, and Enter.
    sk_type secret-second-try
    sk_key Return
    sk_check "the keys were typed while the load still ran" load_running
    sk_check "the load ends" sk_wait_stderr "WARNING: not matched" 15
    sk_wait_no_child 5
    sleep 0.5

    # After the load the focus is in the search entry: select all of it and copy.
    sk_key ctrl+a ctrl+c
    sleep 0.3
    sk_check_eq "the search entry holds its first text, none of the keys typed during the load" \
        "enter your search here" "$(sk_selection clipboard)"
    sk_check_not_contains "PRIMARY holds none of them" "$(sk_selection primary)" secret-second-try
    sk_check_file "one load ran, the Enter typed during it started no other" "$SK_ERR" \
        $'WARNING: not matched: not a record\n\n'
    copy_password_of alice
    sk_check_eq "the accounts are there" pw-alpha "$(sk_selection clipboard)"
    sk_close_window
    sk_wait_exit 10
    sk_check_eq "exit status after closing" 0 "$SK_STATUS"
else
    sk_fail "keys during a slow load: no window"
fi
rm -f "$slow_flag"

# ---------------------------------------------------------------------------------------------------------
sk_log "case: the prompt's entry, its show toggle, Cancel and Refresh"
sk_gpg_forget
own_primary "primary-before-start" || sk_fail "the test could not own PRIMARY"
sk_start "$SK_TMP/accounts.gpg"
if sk_wait_window 20; then
    sk_focus
    sk_check_eq "the prompt shown at start selects nothing" "primary-before-start" "$(sk_selection primary)"

    # Masked: select all and copy gives neither selection the text.
    sk_type first-typed-text
    sk_key ctrl+a ctrl+c
    sleep 0.3
    sk_check_not_contains "masked entry: CLIPBOARD does not get the text" "$(sk_selection clipboard)" first-typed-text
    sk_check_not_contains "masked entry: PRIMARY does not get the text" "$(sk_selection primary)" first-typed-text

    # The show toggle, next to the entry, turned on; back in the entry the same keys copy the text. This is
    # what the masked copy above and below is measured against.
    sk_key Tab space shift+Tab
    sleep 0.2
    sk_key ctrl+a ctrl+c
    sleep 0.3
    sk_check_eq "toggle on: the text can be copied" first-typed-text "$(sk_selection clipboard)"

    # Cancel, the last button after the toggle and OK.
    sk_key Tab Tab Tab space
    sleep 0.5
    own_primary "primary-before-refresh" || sk_fail "the test could not own PRIMARY"

    # Refresh shows the prompt again: toggle off, entry empty, nothing selected.
    sk_key ctrl+r
    sleep 0.5
    sk_check_eq "the prompt shown again by Refresh selects nothing" "primary-before-refresh" \
        "$(sk_selection primary)"
    sk_type "$passphrase"
    sk_key ctrl+a ctrl+c
    sleep 0.3
    sk_check_eq "shown again, the entry is masked: the copy leaves CLIPBOARD as it was" first-typed-text \
        "$(sk_selection clipboard)"
    sk_check_not_contains "shown again: PRIMARY does not get the passphrase" "$(sk_selection primary)" \
        "$passphrase"
    # The passphrase alone loads; text left over from before Cancel would make it a wrong one.
    sk_key Return
    sk_check "shown again, the entry was empty: the passphrase typed into it loads" \
        sk_wait_stderr "WARNING: not matched" 15
    sk_wait_no_child 5
    sleep 0.5
    copy_password_of alice
    sk_check_eq "the accounts are there" pw-alpha "$(sk_selection clipboard)"
    sk_close_window
    sk_wait_exit 10
    sk_check_eq "exit status after closing" 0 "$SK_STATUS"
else
    sk_fail "the prompt: no window"
fi

sk_finish
