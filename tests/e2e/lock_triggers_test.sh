# Locking the real program from outside, over the real protocols: logind's Lock and PrepareForSleep
# from a stand-in that owns org.freedesktop.login1 on a private system bus, and the screen saver's
# ActiveChanged on the session bus. The program holds logind's delay lock on sleep, lets it go only once
# it has locked, and takes it again when the machine wakes. After each lock the copied password is off the clipboard and the
# process's memory (read with gcore) holds no account text; a wrong or empty passphrase for the
# key-encrypted file opens nothing (the agent forgot the key's passphrase), the right one brings the
# selected row back.
source "$(dirname "$0")/../harness/lib.sh"

passphrase=Key-Pass-4471
account=hostq9zz
password=Pw-Qk83-secret

# A system bus of our own, and logind's stand-in on it.
cat >"$SK_TMP/system.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$SK_TMP/system_bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
dbus-daemon --config-file="$SK_TMP/system.conf" --nofork --nopidfile >"$SK_TMP/system-bus.log" 2>&1 &
sk_cleanup_add "kill $!"
for _ in $(seq 50); do [ -S "$SK_TMP/system_bus" ] && break; sleep 0.1; done
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$SK_TMP/system_bus"

mkfifo "$SK_TMP/logind.in"
"$SEALKEEP_LOGIND_STAND_IN" <"$SK_TMP/logind.in" >"$SK_TMP/logind.out" 2>&1 &
sk_cleanup_add "kill $!"
exec {logind}>"$SK_TMP/logind.in"
for _ in $(seq 50); do grep -q ready "$SK_TMP/logind.out" && break; sleep 0.1; done
sk_check "the logind stand-in owns its name" grep -q ready "$SK_TMP/logind.out"

sk_gpg_home
sk_record zyxcorp web "$account" ssh "" usr "$password" | sk_encrypt_public "$SK_TMP/accounts.gpg" "$passphrase"

sk_start_wm || exit 1
sk_start "$SK_TMP/accounts.gpg"
sk_wait_window 20 || { sk_fail "no window: $(sk_stderr)"; sk_finish; }
sk_type_passphrase "$passphrase"
sleep 2
sk_measure_tree || sk_fail "the tree cannot be measured"
sk_search usr
sleep 0.5

# Copies the password of the selected row by the Action menu; prints what the clipboard holds then.
copy_password() {
    sk_menu a 1 >/dev/null
    sleep 0.5
    sk_selection clipboard
}

# Waits for the clipboard to be empty (the lock cleared it); fails after five seconds.
wait_cleared() {
    local i
    for ((i = 0; i < 50; i++)); do
        [ -z "$(sk_selection clipboard)" ] && [ "$(sk_selection primary)" != "$password" ] && return 0
        sleep 0.1
    done
    return 1
}

# The account's server name anywhere in the process's memory (it is not in the search entry).
in_memory() {
    rm -f "$SK_TMP/core".*
    timeout 60 gcore -o "$SK_TMP/core" "$SK_PID" >/dev/null 2>&1 || { echo "gcore failed"; return; }
    grep -c -a -F -e "$account" -e "$password" "$SK_TMP/core".* | awk -F: '{ n += $NF } END { print n + 0 }'
    rm -f "$SK_TMP/core".*
}

# Waits for the stand-in to have printed LINE at least COUNT times; fails after five seconds.
wait_logind() { # wait_logind LINE COUNT
    local i
    for ((i = 0; i < 50; i++)); do
        [ "$(grep -c -x -F "$1" "$SK_TMP/logind.out")" -ge "$2" ] && return 0
        sleep 0.1
    done
    return 1
}

sk_check "the program delays sleep until it has locked" wait_logind "inhibit sleep delay" 1
sk_check_eq "the password is copied after the first load" "$password" "$(copy_password)"
sk_check_contains "the copy carries the password manager hint" \
    "$(sk_x xclip -o -selection clipboard -t TARGETS)" "x-kde-passwordManagerHint"

lock_ways=(
    "logind's Lock for our session|echo lock >&$logind"
    "logind's PrepareForSleep(true)|echo sleep >&$logind"
    "the screen saver's ActiveChanged(true)|gdbus emit --session --object-path /org/freedesktop/ScreenSaver --signal org.freedesktop.ScreenSaver.ActiveChanged true"
)
for way in "${lock_ways[@]}"; do
    name=${way%%|*}
    sk_log "lock by $name"
    [ "$(sk_selection clipboard)" = "$password" ] || copy_password >/dev/null
    eval "${way#*|}"
    if [[ $name == *PrepareForSleep* ]]; then
        # The sleep may go on once the delay is let go; by then the lock has taken the password away.
        sk_check "$name: the delay on sleep is let go" wait_logind released 1
        sk_check_eq "$name: when the delay is let go, the clipboard is already empty" "" "$(sk_selection clipboard)"
        echo wake >&$logind
        sk_check "after waking, the next sleep is delayed again" wait_logind "inhibit sleep delay" 2
    fi
    sk_check "$name clears the copied password" wait_cleared
    sleep 0.5
    sk_check_eq "$name leaves no account text in memory" 0 "$(in_memory)"

    for wrong in "Wrong-Pass" ""; do
        sk_type_passphrase "$wrong"
        sleep 2.5
        sk_check_eq "after $name, the passphrase '$wrong' opens nothing" 0 "$(in_memory)"
    done
    sk_type_passphrase "$passphrase"
    sleep 2.5
    # The row selected before the lock is selected again: copying works without a new search.
    sk_check_eq "after $name, the passphrase brings the selected row back" "$password" "$(copy_password)"
done

sk_key ctrl+q
sk_wait_exit 20
sk_check_eq "Quit ends with status 0" 0 "$SK_STATUS"
sk_check_eq "Quit leaves nothing of ours on the clipboard" "" "$(sk_selection clipboard)"
sk_finish
