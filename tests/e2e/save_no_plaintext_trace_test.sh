# A save leaves no plaintext on disk: the real program loads a file whose every line carries a marker and
# saves it with Ctrl+S, traced with every process it starts. The marker passes to gpg through a pipe and
# never reaches a write to a regular file nor a command line; the saved file decrypts to the same bytes,
# and the new file reached the disk before it took the file's name.
source "$(dirname "$0")/../harness/lib.sh"

marker=SAVE-MARKER-4e1a
passphrase=Save-Trace-Passphrase-62c9
trace=$SK_TMP/trace.log

sk_gpg_home
{
    sk_record "acme-$marker" web "host-$marker" ssh 22 root "pw-$marker"
    printf 'unmatched line %s\r\n' "$marker"
    sk_record beta "" host3 http "" admin "third-$marker"
} | sk_encrypt_symmetric "$SK_TMP/accounts.gpg" "$passphrase"
gpg --batch --quiet --pinentry-mode loopback --passphrase "$passphrase" -d "$SK_TMP/accounts.gpg" >"$SK_TMP/before.txt" 2>/dev/null
# Start the agent before the trace does: a daemon that the traced gpg started would keep strace alive.
gpg-connect-agent /bye >/dev/null 2>&1

sk_start_wm || exit 1
SK_WRAP=(strace -f -y -s 4096 -e trace=execve,openat,write,writev,pwrite64,pwritev,fsync,fdatasync,rename,renameat,renameat2 -o "$trace")
sk_start "$SK_TMP/accounts.gpg"
SK_WRAP=()
if ! sk_wait_window 30; then
    sk_fail "no window under strace"
    sk_finish
fi
sk_type_passphrase "$passphrase"
sk_check "the load ended" sk_wait_stderr "WARNING: not matched: unmatched line" 30
before_save=$(sha256sum <"$SK_TMP/accounts.gpg")
sk_focus
sk_key ctrl+s
for _ in $(seq 150); do
    [ -e "$SK_TMP/accounts.gpg~" ] && break
    sleep 0.1
done
sleep 1
sk_check "the save kept the old file as FILE~" test -e "$SK_TMP/accounts.gpg~"
sk_check_eq "FILE~ is the file as loaded" "$before_save" "$(sha256sum <"$SK_TMP/accounts.gpg~")"
sk_close_window
sk_wait_exit 20
sk_check_eq "the traced program ends with status 0" 0 "$SK_STATUS"

gpg --batch --quiet --pinentry-mode loopback --passphrase "$passphrase" -d "$SK_TMP/accounts.gpg" >"$SK_TMP/after.txt" 2>/dev/null
sk_check "the saved file decrypts to the same bytes (CRLF and the unmatched line kept)" \
    cmp -s "$SK_TMP/before.txt" "$SK_TMP/after.txt"
sk_check "the trace saw gpg encrypt" grep -q 'execve("[^"]*gpg", \[.*"--symmetric"' "$trace"
sk_check "the trace saw the plaintext pass through a pipe to gpg" grep -q "write([0-9]*<pipe:.*$marker" "$trace"

# Standard error is a file here, and the load reports the unmatched line there on purpose.
file_writes=$(grep -E '(write|writev|pwrite64|pwritev)\([0-9]+</' "$trace" | grep -vE '\([0-9]+</dev/' |
    grep -vF "($(basename "$SK_ERR")" | grep -vE '^[0-9]+ +write\(2<')
sk_check "the trace saw gpg write the new file" grep -qE 'write\([0-9]+</[^>]*\.accounts\.gpg\.new-' "$trace"
sk_check_not_contains "no write to a regular file holds the plaintext" "$file_writes" "$marker"
sk_check_not_contains "no write to a regular file holds the passphrase" "$file_writes" "$passphrase"
# A power cut after the rename must find the whole new file under the name, not an empty or partial one:
# the new file's descriptor is synced before the rename that puts it in place. Both come from the save's
# one thread, so the order of the trace's lines is the order of the calls.
renamed=$(grep -nE 'rename(at2?)?\(.*"([^"]*/)?\.accounts\.gpg\.new-[a-z0-9]+",.*"([^"]*/)?accounts\.gpg"' "$trace" |
    head -n 1)
new_name=$(grep -oE '\.accounts\.gpg\.new-[a-z0-9]+' <<<"$renamed" | head -n 1)
synced=
[ -n "$new_name" ] && synced=$(grep -nE "(fsync|fdatasync)\([0-9]+</[^>]*/${new_name//./\\.}>" "$trace" | head -n 1)
order="no rename of the new file over the old one"
if [ -n "$renamed" ]; then
    order="renamed without a sync of the new file before"
    [ -n "$synced" ] && [ "${synced%%:*}" -lt "${renamed%%:*}" ] && order="synced, then renamed"
fi
sk_check_eq "the new file is synced before it replaces the old one" "synced, then renamed" "$order"

execs=$(grep 'execve(' "$trace")
sk_check_not_contains "no command line holds the plaintext" "$execs" "$marker"
sk_check_not_contains "no command line holds the passphrase" "$execs" "$passphrase"
leftovers=$(grep -rlF -- "$marker" "$SEALKEEP_SCRATCH" "$GNUPGHOME" 2>/dev/null | grep -vxF "$trace" |
    grep -vxF "$SK_TMP/before.txt" | grep -vxF "$SK_TMP/after.txt" | grep -vxF "$SK_ERR")
sk_check_eq "no file written during the save holds the plaintext" "" "$leftovers"

sk_finish
