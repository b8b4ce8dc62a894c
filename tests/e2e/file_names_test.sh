#!/usr/bin/env bash
# Password files whose names are no UTF-8 (Latin-1, and bytes of no encoding at all), driven with real
# keys: given on the command line they load; File ▸ Open file comes up on them and stores them; the
# store holds valid text; Setup shows the name in display form and its OK keeps the bytes; and the next
# start without arguments loads the very same file.
source "$(dirname "$0")/../harness/lib.sh"

passphrase='names-pass'
sk_gpg_home
sk_start_wm || exit 1

folder=$SK_TMP/$'d\xe9p\xf4t'
mkdir -p "$folder"
#   marker | file | what the stored URI must hold
cases=(
    "marker-latin1|$folder/$'caf\xe9.gpg'|d%E9p%F4t/caf%E9.gpg"
    "marker-bytes|$SK_TMP/$'\x80\xff name.asc'|%80%FF%20name.asc"
)

chooser_title='^Select a new password file$'

loads() { # loads MARKER: the load reports the marker line of that file
    sk_type_passphrase "$passphrase" && sk_wait_stderr "WARNING: not matched: $1" 15
}

for case in "${cases[@]}"; do
    IFS='|' read -r marker file uri_tail <<<"$case"
    file=$(eval "printf '%s' $file")
    { sk_record acme web host1 ssh 22 root pw; echo "$marker"; } | sk_encrypt_symmetric "$file" "$passphrase"
    sk_log "case: $marker"
    sk_setting_set sealkeep-file-path /nowhere.gpg

    # The command line.
    sk_start "$file"
    sk_wait_window 20 || { sk_fail "$marker: no window"; continue; }
    sk_check "$marker: the file given on the command line loads" loads "$marker"

    # File ▸ Open file comes up on the file in use, selected: Open takes it and stores it.
    sk_focus
    sk_menu f 0
    chooser=$(sk_x xdotool search --sync --onlyvisible --name "$chooser_title" | head -n 1)
    sk_check "$marker: the chooser opens" test -n "$chooser"
    sleep 1
    sk_key Return
    sleep 1
    stored=$(sk_setting_get sealkeep-file-path)
    sk_check_contains "$marker: the chooser's file is stored as a URI of its bytes" "$stored" "$uri_tail'"
    sk_check_contains "$marker: ... a file:// URI" "$stored" "'file:///"

    # Setup shows the name in display form; OK without an edit stores nothing.
    sk_focus
    sk_menu f 1
    setup=$(sk_x xdotool search --sync --onlyvisible --name '^Setup$' | head -n 1)
    sk_check "$marker: Setup opens" test -n "$setup"
    sleep 0.5
    sk_key ctrl+a ctrl+c
    sleep 0.3
    shown=$(sk_selection clipboard)
    sk_check_contains "$marker: Setup shows the name with a stand-in for bytes that are no text" "$shown" $'\xef\xbf\xbd'
    sk_check_contains "$marker: ... in its folder" "$shown" "$SK_TMP/"
    sk_key alt+o
    sleep 0.5
    sk_check_eq "$marker: Setup's OK leaves the stored path as it was" "$stored" "$(sk_setting_get sealkeep-file-path)"
    sk_check_eq "$marker: no GLib complaint" "" "$(grep -E 'CRITICAL|Invalid UTF-8' "$SK_ERR")"
    sk_key ctrl+q
    sk_wait_exit 10

    # The next start without arguments opens the same file.
    sk_start
    sk_wait_window 20 || { sk_fail "$marker: no window after the restart"; continue; }
    sk_check "$marker: after a restart the stored file loads" loads "$marker"
    sk_key ctrl+q
    sk_wait_exit 10
done
sk_finish
