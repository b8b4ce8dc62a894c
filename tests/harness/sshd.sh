# Real ssh servers for the Log in tests: Debian's sshd on loopback addresses, run by the test, with test
# users of its own whose homes lie in a folder of the test. Sourced after harness/lib.sh; needs root.
#   users=(NAME...) and password=([NAME]=PASSWORD...) name the users; server_dir is where everything goes.

# sk_sshd_users: makes the users (removed again at the test's end), the folder and the host key.
sk_sshd_users() {
    server_dir=$(mktemp -d /tmp/sk-login-sshd.XXXXXX)
    chmod 755 "$server_dir"
    sk_cleanup_add "rm -rf '$server_dir'"
    for user in "${users[@]}"; do
        userdel -f "$user" >/dev/null 2>&1 || true
        useradd -M -d "$server_dir/home-$user" -s /bin/sh "$user" || { sk_fail "useradd $user"; sk_finish; }
        # A session still open (a cluster terminal) would keep the user from going.
        sk_cleanup_add "pkill -KILL -u '$user'; sleep 0.2; userdel -f '$user'"
        mkdir "$server_dir/home-$user"
        chown "$user" "$server_dir/home-$user"
        # chpasswd reads the password from standard input: it is on no command line.
        printf '%s:%s\n' "$user" "${password[$user]}" | chpasswd
    done
    if [ ! -d /run/sshd ]; then
        mkdir -p /run/sshd
        chmod 755 /run/sshd
        sk_cleanup_add "rmdir /run/sshd"
    fi
    ssh-keygen -q -t ed25519 -N '' -f "$server_dir/host_key" </dev/null
}

# sk_start_sshd NAME "ADDRESS..." AUTHENTICATION-LINES...: an sshd on a free port on these addresses with
# these lines, its port in $port; the test fails when none starts.
sk_start_sshd() {
    local name=$1 addresses=$2 pid= address
    address=${addresses##* } # the last one: listening there means listening on all
    shift 2
    for _ in 1 2 3 4 5; do
        port=$((20000 + RANDOM % 30000))
        {
            echo "Port $port"
            for listen in $addresses; do echo "ListenAddress $listen"; done
            echo "HostKey $server_dir/host_key"
            echo "PidFile $server_dir/$name.pid"
            printf '%s\n' "$@"
            echo "PubkeyAuthentication no"
            echo "AuthorizedKeysFile none"
            echo "PermitRootLogin no"
            echo "StrictModes no"
            echo "AllowUsers ${users[*]}"
            echo "LogLevel VERBOSE"
        } >"$server_dir/$name.config"
        /usr/sbin/sshd -D -e -f "$server_dir/$name.config" 2>"$server_dir/$name.log" &
        pid=$!
        for _ in $(seq 50); do
            grep -q "Server listening on $address" "$server_dir/$name.log" 2>/dev/null && break
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        grep -q "Server listening on $address" "$server_dir/$name.log" && break
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        pid=
    done
    [ -n "$pid" ] || { sk_fail "sshd $name did not start: $(cat "$server_dir/$name.log")"; sk_finish; }
    sk_cleanup_add "kill $pid"
    sk_log "sshd $name on $address port $port (pid $pid)"
}


# sk_watch_for_passwords PASSWORD...: from now on, notes every process whose command line or environment
# holds one of them; sk_passwords_seen stops watching and prints those files of /proc.
sk_watch_for_passwords() {
    printf '%s\n' "$@" >"$SK_TMP/patterns"
    : >"$SK_TMP/leaks"
    (
        while [ ! -e "$SK_TMP/stop-watching" ]; do
            grep -a -l -F -f "$SK_TMP/patterns" /proc/[0-9]*/cmdline /proc/[0-9]*/environ 2>/dev/null >>"$SK_TMP/leaks"
            sleep 0.05
        done
    ) &
    SK_WATCHER=$!
    sk_cleanup_add "touch '$SK_TMP/stop-watching'; kill $SK_WATCHER"
}

sk_passwords_seen() {
    touch "$SK_TMP/stop-watching"
    wait "$SK_WATCHER" 2>/dev/null
    sort -u "$SK_TMP/leaks"
}

# sk_check_no_password_left: no process's command line or environment held one of the users' passwords
# while watched, and neither selection holds one now.
sk_check_no_password_left() {
    local selection held user
    sk_check_eq "no process's command line or environment held a password" "" "$(sk_passwords_seen)"
    for selection in clipboard primary; do
        held=$(sk_selection "$selection")
        for user in "${users[@]}"; do
            sk_check_not_contains "the $selection does not hold $user's password" "$held" "${password[$user]}"
        done
    done
}

# sk_ssh_client [HOST-BLOCKS]: the client's configuration in $cfg: these Host blocks (from standard input),
# then the test's defaults for every host (the server's port, host keys accepted into a file of the
# test's, passwords only). ssh reads the configuration of the account it runs as, not $HOME's: a stand-in
# first on PATH hands this one over to every ssh, the one Sealkeep asks how it reaches a host (ssh -G)
# among them.
sk_ssh_client() {
    cfg=$SK_TMP/ssh_config
    {
        cat
        cat <<CONFIG
Host *
    Port $port
    StrictHostKeyChecking accept-new
    UserKnownHostsFile $SK_TMP/known_hosts
    GlobalKnownHostsFile /dev/null
    PubkeyAuthentication no
    PreferredAuthentications password
    ConnectTimeout 10
CONFIG
    } >"$cfg"
    mkdir -p "$SK_TMP/bin"
    printf '#!/bin/sh\nexec /usr/bin/ssh -F %q "$@"\n' "$cfg" >"$SK_TMP/bin/ssh"
    chmod +x "$SK_TMP/bin/ssh"
    export PATH="$SK_TMP/bin:$PATH"
}
