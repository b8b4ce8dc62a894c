# The settings schema: without it the program says which schema is missing and exits 1 (not GLib's abort
# and core dump), whatever the window's options (--help and --version answer without it); installed under
# its own prefix but off the search path, it is still found; and GSETTINGS_BACKEND set by the user is overridden, so the values come from dconf.
source "$(dirname "$0")/../harness/lib.sh"

empty=$SK_TMP/empty
mkdir -p "$empty"
no_schema_env=(env GSETTINGS_SCHEMA_DIR="$empty" XDG_DATA_DIRS="$empty")

# The program also looks in the fixed install folder; where an install put the schema there, a private
# mount namespace hides it for these runs.
installed=/usr/local/share/glib-2.0/schemas
hide_installed=()
if [ -d "$installed" ]; then
    hide_installed=(unshare --mount sh -c 'mount -t tmpfs none "$0" && shift && exec "$@"' "$installed" _)
fi

# A prefix holding the binary alone, so that no schema stands beside it either.
bare=$SK_TMP/bare
mkdir -p "$bare/bin"
cp "$SEALKEEP_BIN" "$bare/bin/sealkeep"

sk_start_wm || exit 1

# --help and --version answer without the settings: a package unpacked without its trigger still tells
# what it is.
for args in "-h" "--help" "--version"; do
    name="no schema, arguments '$args'"
    sk_log "$name"
    SK_WRAP=("${hide_installed[@]}" "${no_schema_env[@]}")
    SEALKEEP_BIN=$bare/bin/sealkeep sk_start $args
    sk_wait_exit 10
    SK_WRAP=()
    sk_check_eq "$name: exit status 0" 0 "$SK_STATUS"
    sk_check_file "$name: nothing on stderr" "$SK_ERR" ""
    sk_check_contains "$name: the answer names the program" "$(sk_stdout)" "ealkeep"
done

for args in "" "-n"; do
    name="no schema, arguments '$args'"
    sk_log "$name"
    SK_WRAP=("${hide_installed[@]}" "${no_schema_env[@]}")
    # shellcheck disable=SC2086 # the arguments are single words
    SEALKEEP_BIN=$bare/bin/sealkeep sk_start $args
    sk_wait_exit 10
    SK_WRAP=()
    sk_check_eq "$name: exit status 1 (no abort, no core dump)" 1 "$SK_STATUS"
    sk_check_eq "$name: exactly one line on stderr" 1 "$(wc -l <"$SK_ERR")"
    sk_check_contains "$name: the line names the schema" "$(sk_stderr)" "net.sealkeep.Sealkeep"
    sk_check_file "$name: nothing on stdout (settings come before the options)" "$SK_OUT" ""
done

# Installed under a prefix that is not on the schema search path: found beside the binary.
prefix=$SK_TMP/prefix
mkdir -p "$prefix/bin" "$prefix/share/glib-2.0/schemas"
cp "$SEALKEEP_BIN" "$prefix/bin/sealkeep"
cp "$GSETTINGS_SCHEMA_DIR"/gschemas.compiled "$prefix/share/glib-2.0/schemas/"
SK_WRAP=("${hide_installed[@]}" "${no_schema_env[@]}")
SEALKEEP_BIN=$prefix/bin/sealkeep sk_start
SK_WRAP=()
sk_check "schema beside the binary's prefix: the window appears" sk_wait_window 20
sk_close_window
sk_wait_exit 10
sk_check_eq "schema beside the binary's prefix: exit status after closing" 0 "$SK_STATUS"
sk_check_file "schema beside the binary's prefix: nothing on stderr" "$SK_ERR" ""

# A user's GSETTINGS_BACKEND=memory would hide every stored value; the path stored in dconf must be the
# one that loads.
sk_gpg_home
passphrase=backend-pass
{ sk_record acme web host1 ssh 22 root pw; echo marker-from-dconf; } |
    sk_encrypt_symmetric "$SK_TMP/stored.gpg" "$passphrase"
sk_setting_set sealkeep-file-path "$SK_TMP/stored.gpg"
SK_WRAP=(env GSETTINGS_BACKEND=memory)
sk_start
SK_WRAP=()
if sk_wait_window 20; then
    sk_type_passphrase "$passphrase"
    sk_check "GSETTINGS_BACKEND=memory is overridden: the path stored in dconf loads" \
        sk_wait_stderr "WARNING: not matched: marker-from-dconf" 15
    sk_close_window
    sk_wait_exit 10
else
    sk_fail "GSETTINGS_BACKEND=memory: no window appeared"
    cat "$SK_ERR"
fi

sk_finish
