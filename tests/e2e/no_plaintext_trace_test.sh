# Secrets leave no trace: the real program and every process it starts are traced during a load of a
# file whose lines are all valid and carry a marker. The marker never reaches a write to a regular file
# nor any command line, and the passphrase never stands in any command line.
source "$(dirname "$0")/../harness/lib.sh"

marker=PLAINTEXT-MARKER-7f3c
passphrase=Trace-Passphrase-91b2
trace=$SK_TMP/trace.log

sk_gpg_home
{
    sk_record "acme-$marker" web "host-$marker" ssh 22 root "pw-$marker"
    sk_record acme web host2 ssh 22 "user-$marker" "second-$marker;with;semicolons"
    sk_record beta "" host3 http "" admin "third-$marker"
} | sk_encrypt_symmetric "$SK_TMP/accounts.gpg" "$passphrase"
# Start the agent before the trace does: a daemon that the traced gpg started would keep strace alive.
gpg-connect-agent /bye >/dev/null 2>&1

sk_start_wm || exit 1
# -y names the file behind each descriptor, so writes to regular files can be told from pipes and sockets.
SK_WRAP=(strace -f -y -s 4096 -e trace=execve,openat,write,writev,pwrite64,pwritev -o "$trace")
sk_start "$SK_TMP/accounts.gpg"
SK_WRAP=()
if ! sk_wait_window 30; then
    sk_fail "no window under strace"
    sk_finish
fi
sk_type_passphrase "$passphrase"
# The load ends when gpg has ended; its plaintext passed through a pipe the trace saw.
for _ in $(seq 150); do
    grep -q "execve(.*gpg" "$trace" && grep -q "write([0-9]*<pipe:.*$marker" "$trace" && break
    sleep 0.1
done
sleep 1
sk_close_window
sk_wait_exit 20
sk_check_eq "the traced program ends with status 0" 0 "$SK_STATUS"

sk_check "the trace saw gpg started" grep -q 'execve("[^"]*gpg"' "$trace"
sk_check "the trace saw the plaintext pass through a pipe (the check below can see the marker)" \
    grep -q "write([0-9]*<pipe:.*$marker" "$trace"
sk_check_file "every line was a record: nothing on stderr" "$SK_ERR" ""

# Writes whose descriptor is a file in the file system (not a pipe, socket or device).
file_writes=$(grep -E '(write|writev|pwrite64|pwritev)\([0-9]+</' "$trace" | grep -vE '\([0-9]+</dev/')
sk_check_not_contains "no write to a regular file holds the plaintext" "$file_writes" "$marker"
sk_check_not_contains "no write to a regular file holds the passphrase" "$file_writes" "$passphrase"

execs=$(grep 'execve(' "$trace")
sk_check_not_contains "no command line holds the plaintext" "$execs" "$marker"
sk_check_not_contains "no command line holds the passphrase" "$execs" "$passphrase"

# And nothing with the marker was left behind in the session's files or the gpg home.
leftovers=$(grep -rlF -- "$marker" "$SEALKEEP_SCRATCH" "$GNUPGHOME" 2>/dev/null | grep -vxF "$trace")
sk_check_eq "no file written during the load holds the plaintext" "" "$leftovers"

sk_finish
