# Log in on a cluster with the real cluster program: Debian's clusterssh (cssh) opening an xterm per host,
# started by the default cluster template, over three accounts with three users and passwords on a real
# sshd. Each ssh in its terminal reaches the helper and gets its own account's password; a command typed
# once into cssh's control window then runs on every host as that host's own user. No process's command
# line or environment and neither selection holds a password meanwhile.
# Needs root (users are made and removed), openssh-server, clusterssh and xterm.
source "$(dirname "$0")/../harness/lib.sh"

if [ "$(id -u)" -ne 0 ] || [ ! -x /usr/sbin/sshd ] || ! command -v cssh >/dev/null || ! command -v xterm >/dev/null; then
    sk_fail "this test needs root, /usr/sbin/sshd (openssh-server), cssh (clusterssh) and xterm"
    sk_finish
fi

passphrase=cluster-pass
users=(sk-cluster-a sk-cluster-b sk-cluster-c)
declare -A password=([sk-cluster-a]=Pw-ca-4Rt8Lx2 [sk-cluster-b]=Pw-cb-9Wq3Zn6 [sk-cluster-c]=Pw-cc-2Hv7Jk5)
declare -A address=([sk-cluster-a]=127.0.0.1 [sk-cluster-b]=127.0.0.2 [sk-cluster-c]=127.0.0.3)

source "$(dirname "$0")/../harness/sshd.sh"
sk_sshd_users
sk_start_sshd sshd "127.0.0.1 127.0.0.2 127.0.0.3" "UsePAM no" "PasswordAuthentication yes" \
    "KbdInteractiveAuthentication no"

# No User lines: each host's user comes from the host list Log in hands the cluster program.
sk_ssh_client </dev/null

sk_gpg_home
for user in "${users[@]}"; do
    sk_record lab srv "${address[$user]}" ssh "" "$user" "${password[$user]}"
done | sk_encrypt_symmetric "$SK_TMP/accounts.gpg" "$passphrase"

sk_watch_for_passwords "${password[@]}"
sk_cleanup_add "pkill -f '^/usr/bin/perl.*cssh' ; pkill -x xterm"

sk_start_wm || exit 1
sk_start "$SK_TMP/accounts.gpg"
sk_wait_window 20 || { sk_fail "no window"; sk_finish; }
sk_type_passphrase "$passphrase"
sleep 1.5
sk_check_eq "the cluster template is the default one" "'cssh%h &'" "$(sk_setting_get cssh-cmd)"

# Every row shown (View > Expand all), all of them selected in the tree (the focus goes there from the
# search entry, which has it after a load), then Action > Log in.
sk_menu v 2
sleep 0.5
sk_focus
sk_key shift+Tab
sleep 0.3
sk_key ctrl+a
sleep 0.3
sk_menu a 4

# cssh opens a terminal per host, named after it, and its control window.
for _ in $(seq 150); do
    [ "$(sk_x xdotool search --name '^CSSH: ' 2>/dev/null | wc -l)" -ge 3 ] && break
    sleep 0.2
done
terminals=$(sk_x xdotool search --name '^CSSH: ' getwindowname %@ 2>/dev/null | sort | tr '\n' ' ')
sk_check_eq "cssh opened one terminal per host, as that host's account's user" \
    "CSSH: sk-cluster-a@127.0.0.1 CSSH: sk-cluster-b@127.0.0.2 CSSH: sk-cluster-c@127.0.0.3 " "$terminals"

# Once every ssh is in (the server logs each accepted password), one command into the control window
# runs on all hosts.
for _ in $(seq 150); do
    [ "$(grep -c "Accepted password for sk-cluster-" "$server_dir/sshd.log" 2>/dev/null)" -ge 3 ] && break
    sleep 0.2
done
sleep 1
control=$(sk_x xdotool search --name '^CSSH \[' 2>/dev/null | head -n 1)
if [ -n "$control" ]; then
    sk_x xdotool windowactivate --sync "$control" >/dev/null 2>&1 || true
    sleep 0.5
    sk_x xdotool type --delay 40 'id -un > reached'
    sk_x xdotool key Return
else
    sk_fail "cssh's control window did not appear"
fi
for user in "${users[@]}"; do
    for _ in $(seq 100); do
        [ -s "$server_dir/home-$user/reached" ] && break
        sleep 0.1
    done
    sk_check_file "$user's host is logged into as $user" "$server_dir/home-$user/reached" "$user"$'\n'
    sk_check_contains "sshd accepted $user's own password" "$(cat "$server_dir/sshd.log")" "Accepted password for $user"
done
sk_screenshot cluster >/dev/null

sk_check_no_password_left
sk_finish
