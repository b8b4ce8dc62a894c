# A locked window over a file encrypted to a passphrase-protected key, while the user's terminal decrypts
# with the same key (the agent then holds its passphrase): the unlock still checks what is typed. A wrong
# or empty passphrase loads nothing; the right one loads the accounts.
source "$(dirname "$0")/../harness/lib.sh"

sk_start_wm || exit 1
sk_gpg_home
key_pass='key pass 7'
file=$SK_TMP/accounts.gpg
sk_record acme web alpha-host ssh 22 alice "pw-alpha" | sk_encrypt_public "$file" "$key_pass"

# What a terminal's gpg does with the key: the agent keeps its passphrase for a while.
cache_key_in_a_terminal() {
    gpg --batch --quiet --pinentry-mode loopback --passphrase-fd 3 --decrypt "$file" >/dev/null 2>&1 \
        3< <(printf '%s' "$key_pass")
}

# Types the passphrase at the prompt (nothing for an empty one), then copies the password of alice.
unlock_and_copy() {
    [ -n "$1" ] && sk_type "$1"
    sk_key Return
    sleep 3
    sk_type "alic"
    sleep 0.3
    sk_menu a 1 # Action, Copy password
    sleep 0.3
    sk_selection clipboard
}

sk_start "$file"
sk_wait_window 20 || { sk_fail "no window"; sk_finish; }
sk_focus
sk_check_eq "the right passphrase loads the file" "pw-alpha" "$(unlock_and_copy "$key_pass")"

# name | typed at the unlock | password expected on the clipboard
cases=(
    "a wrong passphrase|x|"
    "an empty passphrase||"
    "the right passphrase|$key_pass|pw-alpha"
)
for case in "${cases[@]}"; do
    IFS='|' read -r name typed expected <<<"$case"
    sk_key ctrl+l
    sleep 0.5
    sk_x xclip -selection clipboard </dev/null
    cache_key_in_a_terminal || sk_fail "$name: the terminal's gpg could not decrypt"
    # The premise: with the key cached, gpg itself takes any passphrase.
    gpg --batch --quiet --pinentry-mode loopback --passphrase x --decrypt "$file" >/dev/null 2>&1 ||
        sk_fail "$name: the agent did not cache the key"
    sk_check_eq "$name at the unlock, with the key cached elsewhere" "$expected" "$(unlock_and_copy "$typed")"
done

sk_finish
