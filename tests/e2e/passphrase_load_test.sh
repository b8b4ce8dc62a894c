# Loading a real encrypted file as a person does: the passphrase typed into the real window and Enter.
# The accounts are seen through the search and the clipboard; the one line that is no record is reported
# on stderr, and nothing of gpg's own talk is. A wrong or empty passphrase leaves an empty tree.
source "$(dirname "$0")/../harness/lib.sh"

sk_start_wm || exit 1

# Characters the shell would act on, a blank and a non-ASCII letter: the passphrase must reach gpg as typed.
odd_passphrase='pa$$ "wörd" `x` \ ;'

# name | encryption | passphrase of the file (or of its key) | passphrase typed | accounts expected
cases=(
    "symmetric|symmetric|$odd_passphrase|$odd_passphrase|yes"
    "public key with a protected secret key|public|key pass 1|key pass 1|yes"
    "symmetric, wrong passphrase|symmetric|right one|wrong one|no"
    "public key, wrong passphrase|public|right one|wrong one|no"
    "symmetric, empty passphrase|symmetric|right one||no"
)

for case in "${cases[@]}"; do
    IFS='|' read -r name kind file_passphrase typed expected <<<"$case"
    sk_log "case: $name"
    # A fresh home per case: the agent would otherwise remember a key's passphrase from an earlier case.
    sk_gpg_home
    file=$SK_TMP/accounts-$SK_RUNS.gpg
    {
        sk_record acme web alpha-host ssh 22 alice "pw-$kind-alpha"
        echo "no record here"
        sk_record beta db beta-host ssh 2222 bobby "pw-$kind-beta"
    } | "sk_encrypt_$kind" "$file" "$file_passphrase"

    sk_start "$file"
    if ! sk_wait_window 20; then
        sk_fail "$name: no window"
        continue
    fi
    sk_focus
    [ -n "$typed" ] && sk_type "$typed"
    sk_key Return

    if [ "$expected" = yes ]; then
        sk_wait_stderr "WARNING: not matched" 15
        sk_check_file "$name: stderr reports the one line that is no record, and nothing else" \
            "$SK_ERR" $'WARNING: not matched: no record here\n\n'
    else
        sleep 3
        sk_check_file "$name: nothing on stderr" "$SK_ERR" ""
    fi

    # After a load the focus is in the search entry: typing selects the first match, here a user row.
    sleep 0.3
    sk_type "bobb"
    sleep 0.3
    sk_menu a 1 # Action, Copy password
    sleep 0.3
    if [ "$expected" = yes ]; then
        sk_check_eq "$name: the account is there (clipboard)" "pw-$kind-beta" "$(sk_selection clipboard)"
        sk_check_eq "$name: the account is there (primary)" "pw-$kind-beta" "$(sk_selection primary)"
    else
        sk_check_eq "$name: the tree is empty, nothing is copied" "" "$(sk_selection clipboard)"
    fi

    if [ "$kind" = symmetric ] && [ "$expected" = yes ]; then
        # Refresh brings the prompt back; its entry was emptied by the load, so typing the passphrase
        # once more loads again (text left in the entry would make it a wrong passphrase). Halfway the
        # user clicks the show toggle (right of the entry) to look, and types on: the rest goes into the
        # entry too.
        sk_key ctrl+r
        sleep 0.5
        sk_type "${typed:0:5}"
        eval "$(sk_x xdotool getwindowgeometry --shell "$SK_WID" | grep '^WIDTH=')"
        sk_click_window "$SK_WID" $((WIDTH - 16)) 64
        sleep 0.3
        sk_type "${typed:5}"
        sk_key Return
        sk_check "$name: after Refresh the emptied entry takes the passphrase again and loads" \
            sk_wait_stderr "WARNING: not matched" 15 2
        shot=$(sk_screenshot loaded) && sk_log "screenshot: $shot"
    fi

    sk_close_window
    sk_wait_exit 10
    sk_check_eq "$name: exit status after closing" 0 "$SK_STATUS"
done

sk_finish
