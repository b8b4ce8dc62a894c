# Log in against real ssh servers: Debian's sshd on loopback addresses with test users of its own (one
# server asks for passwords through keyboard-interactive and PAM only), the real ssh client and the real
# program. Log in on one account (Ctrl+Return from the search entry), on the keyboard-interactive server,
# and on a cluster of two users (Action menu) reaches the server, whose users write a file; a wrong
# password is answered once; a host-key question and keyboard-interactive questions other than the
# password are declined. Meanwhile no process's command line or environment and neither selection holds
# a password. A launch's token, read from the launched command's environment, gets nothing for another
# user's process, after its account was answered, or after a lock.
# Needs root (users are made and removed) and openssh-server.
source "$(dirname "$0")/../harness/lib.sh"

if [ "$(id -u)" -ne 0 ] || [ ! -x /usr/sbin/sshd ]; then
    sk_fail "this test needs root and /usr/sbin/sshd (openssh-server)"
    sk_finish
fi

helper=$(dirname "$SEALKEEP_BIN")/sealkeep-askpass
passphrase=login-pass
users=(sk-login-a sk-login-b sk-login-c sk-login-d sk-login-e sk-login-f sk-login-g sk-login-h)
declare -A password=(
    [sk-login-a]=Pw-a-7Qm2xV9 [sk-login-b]=Pw-b-K4t8sL1 [sk-login-c]=Pw-c-Z6r3nH5
    [sk-login-d]=Pw-d-W1y5pJ8 [sk-login-e]=Pw-e-B9u2cF4 [sk-login-f]=Pw-f-R8d3kT6
    [sk-login-g]=Pw-g-H2m6vQ3 [sk-login-h]=Pw-h-T5n9wE7)
wrong_password=Pw-wrong-N3v7gD2

# ---- the servers: users with homes in a folder of the test, host key and configs in a scratch folder ----
source "$(dirname "$0")/../harness/sshd.sh"
sk_sshd_users

# Passwords through keyboard-interactive only, as PAM asks for them ("Password: "), on 127.0.0.6.
sk_start_sshd keyboard 127.0.0.6 "UsePAM yes" "PasswordAuthentication no" "KbdInteractiveAuthentication yes"
keyboard_port=$port
# Passwords through ssh's password authentication, on the other five addresses.
sk_start_sshd sshd "127.0.0.1 127.0.0.2 127.0.0.3 127.0.0.4 127.0.0.5" "UsePAM no" "PasswordAuthentication yes" \
    "KbdInteractiveAuthentication no"

# ---- the client: users for the cluster's hosts and the host-key question come from its config ----
sk_ssh_client <<CONFIG
Host 127.0.0.2
    User sk-login-b
Host 127.0.0.3
    User sk-login-c
Host 127.0.0.4
    StrictHostKeyChecking ask
    UserKnownHostsFile /dev/null
Host 127.0.0.6
    Port $keyboard_port
    PreferredAuthentications keyboard-interactive
Host sk-alias
    HostName 127.0.0.1
Host sk-behind-jump
    HostName 127.0.0.1
    ProxyJump sk-login-b@127.0.0.2
CONFIG

# Each launch notes where its helper asks and with which token (the token is no secret; the test reuses
# it below), then runs ssh in a session of its own without a terminal.
remote="'id -un > reached'"
sk_setting_set ssh-cmd "echo \"\$SEALKEEP_LOGIN_SOCKET \$SEALKEEP_LOGIN_TOKEN\" > $SK_TMP/launch-%u-%h; setsid -w ssh -F $cfg %u@%h $remote > $SK_TMP/ssh-%u-%h.log 2>&1 < /dev/null"
sk_setting_set cssh-cmd "for h in %h; do setsid -w ssh -F $cfg \$h $remote >> $SK_TMP/cluster.log 2>&1 < /dev/null; done"

sk_gpg_home
{
    sk_record lab srv 127.0.0.1 ssh "" sk-login-a "${password[sk-login-a]}"
    sk_record lab srv 127.0.0.2 ssh "" sk-login-b "${password[sk-login-b]}"
    sk_record lab srv 127.0.0.3 ssh "" sk-login-c "${password[sk-login-c]}"
    sk_record lab srv 127.0.0.4 ssh "" sk-login-d "${password[sk-login-d]}"
    sk_record lab srv 127.0.0.5 ssh "" sk-login-e "$wrong_password"
    sk_record lab srv 127.0.0.6 ssh "" sk-login-f "${password[sk-login-f]}"
    sk_record lab alias sk-alias ssh "" sk-login-g "${password[sk-login-g]}"
    sk_record lab jump sk-behind-jump ssh "" sk-login-h "${password[sk-login-h]}"
} | sk_encrypt_symmetric "$SK_TMP/accounts.gpg" "$passphrase"

# ---- watching /proc for the passwords while the logins run ----
sk_watch_for_passwords "${password[@]}" "$wrong_password"

sk_start_wm || exit 1
sk_start "$SK_TMP/accounts.gpg"
sk_wait_window 20 || { sk_fail "no window"; sk_finish; }
sk_type_passphrase "$passphrase"
sleep 1.5

# wait_for FILE [SECONDS]: until the file exists and is not empty.
wait_for() {
    local i
    for ((i = 0; i < ${2:-20} * 10; i++)); do
        [ -s "$1" ] && return 0
        sleep 0.1
    done
    return 1
}

# ask_as [RUNNER...] -- USER HOST [PROMPT]: runs the helper as ssh would, with the socket and token the
# launch for USER@HOST was given, on ssh's password prompt or PROMPT; prints what it answered, then
# "status N".
ask_as() {
    local runner=()
    while [ "$1" != -- ]; do runner+=("$1"); shift; done
    shift
    local socket token prompt="$1@$2's password: "
    [ -z "${3:-}" ] || prompt=$3
    read -r socket token <"$SK_TMP/launch-$1-$2"
    "${runner[@]}" env SEALKEEP_LOGIN_SOCKET="$socket" SEALKEEP_LOGIN_TOKEN="$token" \
        "$helper" "$prompt" 2>/dev/null
    echo "status $?"
}

select_account() { # select_account USER: the search selects its row; the focus stays in the search entry
    sk_focus
    sk_key ctrl+a BackSpace
    sk_type "$1"
    sleep 0.6
}

buttons=$(sk_toolbar_buttons)
sk_check_eq "the toolbar has seven buttons" 7 "$(grep -c . <<<"$buttons")"
toolbar() { # toolbar INDEX
    # shellcheck disable=SC2046 # "X Y"
    sk_click_window "$SK_WID" $(sed -n "$(($1 + 1))p" <<<"$buttons")
    sleep 0.4
}

# ---- a host key to confirm: declined, and the account's password is still unspent ----
select_account sk-login-d
toolbar 4
wait_for "$SK_TMP/ssh-sk-login-d-127.0.0.4.log" 20
sleep 1
log_d=$(cat "$SK_TMP/ssh-sk-login-d-127.0.0.4.log" 2>/dev/null)
sk_check_contains "host-key question: ssh gives up on the unconfirmed key" "$log_d" "Host key verification failed"
sk_check_contains "host-key question: the helper declined it" "$log_d" "Not ssh's password prompt"
sk_check_not_contains "host-key question: no answer came back to ssh" "$log_d" "Please type"
sk_check "host-key question: the server never ran the command" test ! -e "$server_dir/home-sk-login-d/reached"

# Another user's process cannot reach the socket's folder; with the folder opened to it by mistake,
# Sealkeep still refuses it by its uid.
sk_check_eq "another user's process gets nothing" "status 1" "$(ask_as setpriv --reuid=nobody --regid=nogroup --clear-groups -- sk-login-d 127.0.0.4)"
read -r socket _ <"$SK_TMP/launch-sk-login-d-127.0.0.4"
opened=("$SEALKEEP_SCRATCH" "$XDG_RUNTIME_DIR" "$(dirname "$socket")")
chmod o+x "${opened[@]}"
chmod o+rw "$socket"
sk_check_eq "another user's process on an opened socket gets nothing" "status 1" \
    "$(ask_as setpriv --reuid=nobody --regid=nogroup --clear-groups -- sk-login-d 127.0.0.4)"
chmod o-x "${opened[@]}"
chmod o-rw "$socket"
# Keyboard-interactive text behind ssh's "(user@host) ": a server's other question gets nothing, its
# password question gets the password of the account ssh names, once.
for question in "Verification code: " "One-time password: " "Welcome! Password: "; do
    sk_check_eq "keyboard-interactive '$question' gets nothing" "status 1" \
        "$(ask_as -- sk-login-d 127.0.0.4 "(sk-login-d@127.0.0.4) $question")"
done
sk_check_eq "the launch's own user gets the account's password once, for a keyboard-interactive question" \
    "${password[sk-login-d]} status 0" \
    "$(ask_as -- sk-login-d 127.0.0.4 "(sk-login-d@127.0.0.4) Password: " | tr '\n' ' ' | sed 's/ $//')"
sk_check_eq "and not a second time" "status 1" "$(ask_as -- sk-login-d 127.0.0.4)"

# ---- one account: Ctrl+Return with the focus in the search entry ----
select_account sk-login-a
sk_key ctrl+Return
wait_for "$server_dir/home-sk-login-a/reached" 20
sk_check_file "Log in on one account reaches the server as its user" "$server_dir/home-sk-login-a/reached" \
    $'sk-login-a\n'
sk_check_contains "sshd accepted the password" "$(cat "$server_dir/sshd.log")" "Accepted password for sk-login-a"
sk_check_eq "the launch's token is refused after its login" "status 1" "$(ask_as -- sk-login-a 127.0.0.1)"

# ---- a server that asks through keyboard-interactive only (PAM's "Password: ") ----
select_account sk-login-f
sk_key ctrl+Return
wait_for "$server_dir/home-sk-login-f/reached" 20
sk_check_file "Log in through keyboard-interactive reaches the server as its user" \
    "$server_dir/home-sk-login-f/reached" $'sk-login-f\n'
sk_check_contains "sshd accepted the password through keyboard-interactive" "$(cat "$server_dir/keyboard.log")" \
    "Accepted keyboard-interactive/pam for sk-login-f"

# ---- a host alias: ssh's prompt names the host the alias stands for ----
select_account sk-login-g
sk_key ctrl+Return
wait_for "$server_dir/home-sk-login-g/reached" 20
sk_check_file "Log in on an alias (Host sk-alias, HostName 127.0.0.1) reaches the server" \
    "$server_dir/home-sk-login-g/reached" $'sk-login-g\n'

# ---- a jump host that is not selected gets no password ----
select_account sk-login-h
sk_key ctrl+Return
wait_for "$SK_TMP/ssh-sk-login-h-sk-behind-jump.log" 20
for _ in $(seq 100); do
    grep -q "Sealkeep gave no password" "$SK_TMP/ssh-sk-login-h-sk-behind-jump.log" 2>/dev/null && break
    sleep 0.1
done
sleep 1
log_jump=$(cat "$SK_TMP/ssh-sk-login-h-sk-behind-jump.log" 2>/dev/null)
sk_check_contains "jump host: its password prompt was declined" "$log_jump" "Sealkeep gave no password"
sk_check "jump host: nobody logged into it" test ! -e "$server_dir/home-sk-login-b/reached"
sk_check "jump host: the target behind it was not reached" test ! -e "$server_dir/home-sk-login-h/reached"
sk_check_not_contains "jump host: sshd accepted no password for its user" "$(cat "$server_dir/sshd.log")" \
    "Accepted password for sk-login-b"

# ---- a wrong password: answered once, then declined ----
select_account sk-login-e
sk_key ctrl+Return
# ssh's first refusal comes before its last question: wait for both declines (or give up after 20 s).
for _ in $(seq 200); do
    [ "$(grep -c "Sealkeep gave no password" "$SK_TMP/ssh-sk-login-e-127.0.0.5.log" 2>/dev/null)" -ge 2 ] && break
    sleep 0.1
done
log_e=$(cat "$SK_TMP/ssh-sk-login-e-127.0.0.5.log" 2>/dev/null)
sk_check_contains "wrong password: the server refused it" "$log_e" "Permission denied"
sk_check_contains "wrong password: ssh's second question was declined" "$log_e" "Sealkeep gave no password"
# ssh asks three times; after a declined question it sends an empty password, which the server counts too.
sk_check_eq "wrong password: answered once, the two questions after it declined" 2 \
    "$(grep -c "Sealkeep gave no password" <<<"$log_e")"
sk_check "wrong password: the server never let the user in" test ! -e "$server_dir/home-sk-login-e/reached"

# ---- a launch whose account is still unanswered, for the lock below ----
select_account sk-login-d
rm -f "$SK_TMP/launch-sk-login-d-127.0.0.4"
toolbar 4
wait_for "$SK_TMP/launch-sk-login-d-127.0.0.4" 20
lock_launch=$(date +%s)

# ---- a cluster of two users: the Action menu's Log in over both rows ----
select_account sk-login-b
sk_menu v 2
sleep 0.4
select_account sk-login-b
sk_key shift+Tab
sleep 0.3
sk_key shift+Down shift+Down shift+Down
sleep 0.3
sk_menu a 4
wait_for "$server_dir/home-sk-login-b/reached" 20
wait_for "$server_dir/home-sk-login-c/reached" 20
sk_check_file "cluster: the first host is logged into as its own user" "$server_dir/home-sk-login-b/reached" \
    $'sk-login-b\n'
sk_check_file "cluster: the second host is logged into as its own user" "$server_dir/home-sk-login-c/reached" \
    $'sk-login-c\n'

# ---- a lock revokes that launch's token, still within its minute ----
sk_key ctrl+l
sleep 0.5
sk_check_eq "a token is refused after a lock" "status 1" "$(ask_as -- sk-login-d 127.0.0.4)"
sk_check "the lock came within the token's minute" test $(($(date +%s) - lock_launch)) -lt 50

sk_check_no_password_left

sk_close_window
sk_wait_exit 10
sk_check_eq "exit status after closing" 0 "$SK_STATUS"
sk_finish
