# Rows appear only once gpg has vouched for the whole plaintext. A 2,000-account file cut in the middle and
# one with a byte flipped in the middle both make gpg write real plaintext before it fails; neither may
# show a row, nor put any of that plaintext on the program's output. A wrong passphrase brings the prompt
# back with the focus in its emptied entry, so the right one typed next loads.
source "$(dirname "$0")/../harness/lib.sh"

sk_start_wm || exit 1

passphrase=verify-pass
sk_gpg_home

# A line that is no record comes first: a load that handled lines before gpg's verdict would report it.
plaintext=$SK_TMP/plain.txt
{
    echo "early-plaintext-line"
    for i in $(seq -w 1 2000); do
        sk_record acme "group$((10#$i % 20))" "host$i" ssh 22 "user$i" "pw-$i"
    done
} >"$plaintext"

sk_encrypt_symmetric "$SK_TMP/intact.gpg" "$passphrase" <"$plaintext"

# Both broken files are made uncompressed: gpg then writes all the plaintext before the damage as it goes
# (cut inside compressed data, gpg gives up before writing any), and only the integrity check at the end,
# or the missing end, makes it fail.
sk_encrypt_symmetric "$SK_TMP/whole.gpg" "$passphrase" --compress-algo none <"$plaintext"
size=$(stat -c %s "$SK_TMP/whole.gpg")
head -c $((size / 2)) "$SK_TMP/whole.gpg" >"$SK_TMP/truncated.gpg"

cp "$SK_TMP/whole.gpg" "$SK_TMP/tampered.gpg"
size=$(stat -c %s "$SK_TMP/tampered.gpg")
offset=$((size / 2))
byte=$(od -An -tu1 -j "$offset" -N 1 "$SK_TMP/tampered.gpg" | tr -d ' ')
printf "\\$(printf '%03o' $((byte ^ 0x20)))" |
    dd of="$SK_TMP/tampered.gpg" bs=1 seek="$offset" conv=notrunc status=none

# What gpg itself makes of the broken files: plaintext out, and a failure.
for broken in truncated tampered; do
    gpg --batch --quiet --pinentry-mode loopback --passphrase "$passphrase" --decrypt \
        "$SK_TMP/$broken.gpg" >"$SK_TMP/$broken.out" 2>/dev/null
    status=$?
    sk_gpg_forget
    sk_check "$broken: gpg fails on it" [ "$status" -ne 0 ]
    sk_check "$broken: yet writes plaintext first (user0001)" grep -q "user0001" "$SK_TMP/$broken.out"
done

# name | file | loads
cases=(
    "intact file|intact|yes"
    "file cut in the middle|truncated|no"
    "file with a byte flipped in the middle|tampered|no"
)

for case in "${cases[@]}"; do
    IFS='|' read -r name file loads <<<"$case"
    sk_log "case: $name"
    sk_start "$SK_TMP/$file.gpg"
    if ! sk_wait_window 20; then
        sk_fail "$name: no window"
        continue
    fi
    sk_type_passphrase "$passphrase"
    sk_wait_child 5 >/dev/null
    sk_wait_no_child 30 || sk_fail "$name: gpg still runs after 30 s"
    sleep 1
    sk_measure_tree || sk_fail "$name: the tree area was not found"
    if [ "$loads" = yes ]; then
        sk_check_eq "$name: loaded and collapsed, the tree shows its one customer" 1 "$(sk_tree_rows_shown)"
    else
        sk_check_eq "$name: the tree shows no row" 0 "$(sk_tree_rows_shown)"
    fi

    # An account of the first lines, which gpg wrote before failing.
    sk_search user0001
    sleep 0.5
    sk_menu a 1 # Action, Copy password
    sleep 0.3
    if [ "$loads" = yes ]; then
        sk_check_eq "$name: the first account is found and copied" pw-0001 "$(sk_selection clipboard)"
        sk_check_file "$name: stderr reports the line that is no record, and nothing else" "$SK_ERR" \
            $'WARNING: not matched: early-plaintext-line\n\n'
    else
        sk_check_eq "$name: nothing is found, nothing copied" "" "$(sk_selection clipboard)"
        output=$(sk_stdout; sk_stderr)
        leaked=
        for text in early-plaintext customer= acme user0 pw-0 host0; do
            [[ "$output" == *"$text"* ]] && leaked+=" $text"
        done
        sk_check_eq "$name: stdout and stderr hold none of the plaintext (pieces found:$leaked)" "" "$leaked"
        [ -n "$leaked" ] && sk_log "program output: $(printf '%q' "$output")"
    fi
    sk_close_window
    sk_wait_exit 10
    sk_check_eq "$name: exit status after closing" 0 "$SK_STATUS"
done

# ---------------------------------------------------------------------------------------------------------
# A wrong passphrase, then the right one typed straight away: no click, no focus given by the test.
sk_log "case: wrong passphrase, then the right one"
sk_gpg_forget
sk_start "$SK_TMP/intact.gpg"
if sk_wait_window 20; then
    sk_type_passphrase "wrong-one"
    sk_wait_child 5 >/dev/null
    sk_wait_no_child 15
    sleep 1
    sk_check_eq "wrong passphrase: nothing on stderr" "" "$(sk_stderr)"
    sk_type "$passphrase"
    sk_key Return
    sk_check "wrong passphrase: the right one typed into the prompt that came back loads" \
        sk_wait_stderr "WARNING: not matched" 30
    sk_wait_no_child 15
    sleep 0.5
    sk_type user1999
    sleep 0.5
    sk_menu a 1
    sleep 0.3
    sk_check_eq "wrong passphrase: then the accounts are there, the focus in the search entry" pw-1999 \
        "$(sk_selection clipboard)"
    sk_close_window
    sk_wait_exit 10
    sk_check_eq "wrong passphrase: exit status after closing" 0 "$SK_STATUS"
else
    sk_fail "wrong passphrase: no window"
fi

sk_finish
