# The command line against the real binary: what it prints, its exit status, whether a window appears,
# and which password file a window holds (shown by a load: each file has one line that is no record,
# and the load names that line on standard error). Closing the window through the window manager ends
# the program with status 0.
source "$(dirname "$0")/../harness/lib.sh"

passphrase='start-up pass'
files=$SK_TMP/files
mkdir -p "$files"
cd "$files" || exit 1

sk_gpg_home
make_file() { # make_file PATH MARKER
    { sk_record acme web host1 ssh 22 root pw; echo "$2"; } | sk_encrypt_symmetric "$1" "$passphrase"
}
make_file "$files/a.gpg" marker-from-a
make_file "$files/b.gpg" marker-from-b
make_file "$files/stored.gpg" marker-from-stored
# A file whose name looks like an option: after "--" it is the path.
make_file "$files/-n" marker-from-dash-n
make_file "$files/--version" marker-from-dash-dash-version
sk_setting_set sealkeep-file-path "$files/stored.gpg"

sk_start_wm || exit 1

usage_of() {
    printf 'Usage: %s [options] [password_file]\n\nvalid options are:\n  -n : Do not ask password at start\n' "$1"
}

# Requests for the usage text: usage on stdout byte for byte with argv[0] as given, getopt's own
# complaint (or nothing) on stderr, status 0, and no window ever.
#   name | argv[0] | stderr | arguments (separated by ",")
usage_cases=(
    "-h|$SEALKEEP_BIN||-h"
    "-?|$SEALKEEP_BIN||-?"
    "argv[0] unchanged|./odd/../dir/sealkeep-copy||-h"
    "-x|$SEALKEEP_BIN|invalid option -- 'x'|-x"
    "-nh grouped|$SEALKEEP_BIN||-nh"
    "-n -h separate|$SEALKEEP_BIN||-n,-h"
    "-h before a file|$SEALKEEP_BIN||-h,a.gpg"
    "--help|$SEALKEEP_BIN||--help"
    "-n --help|$SEALKEEP_BIN||-n,--help"
    "--help before a file|$SEALKEEP_BIN||--help,a.gpg"
    "--help-me is no option of ours|$SEALKEEP_BIN|invalid option -- '-'|--help-me"
    "--display=:9 never reaches the toolkit|$SEALKEEP_BIN|invalid option -- '-'|--display=:9"
    "-display never reaches the toolkit|$SEALKEEP_BIN|invalid option -- 'd'|-display"
)

for case in "${usage_cases[@]}"; do
    IFS='|' read -r name argv0 complaint arglist <<<"$case"
    IFS=',' read -r -a args <<<"$arglist"
    sk_log "usage case: $name"
    SK_ARGV0=$argv0 sk_start "${args[@]}"
    sk_wait_exit 10
    sk_check_eq "$name: exit status" 0 "$SK_STATUS"
    sk_check_file "$name: usage on stdout" "$SK_OUT" "$(usage_of "$argv0")"$'\n'
    if [ -n "$complaint" ]; then
        sk_check_file "$name: getopt's complaint on stderr" "$SK_ERR" "$argv0: $complaint"$'\n'
    else
        sk_check_file "$name: nothing on stderr" "$SK_ERR" ""
    fi
done
# --version: the name and the version the build was made from (the project's version in CMake), status 0,
# wherever it stands among the options; after "--" or a file it is a path like any other.
project_version=$(sed -n 's/^project(sealkeep VERSION \([0-9.]*\).*/\1/p' "$SEALKEEP_SOURCE_DIR/CMakeLists.txt")
for arglist in --version -n,--version; do
    IFS=',' read -r -a args <<<"$arglist"
    sk_start "${args[@]}"
    sk_wait_exit 10
    sk_check_eq "$arglist: exit status" 0 "$SK_STATUS"
    sk_check_file "$arglist: the version on stdout" "$SK_OUT" "Sealkeep $project_version"$'\n'
    sk_check_file "$arglist: nothing on stderr" "$SK_ERR" ""
done

# None of them may have left a window behind.
sk_check_eq "no window after the usage cases" "" "$(_sk_main_windows)"

# Runs that open the window: what the window holds is shown by a load.
#   name | marker expected on stderr (empty: no load) | arguments (separated by ",")
# An empty list means no arguments; EMPTY stands for one empty argument.
window_cases=(
    "no arguments: the stored path|marker-from-stored|"
    "one file|marker-from-a|a.gpg"
    "two files: the first wins|marker-from-a|a.gpg,b.gpg"
    "a file then -n: -n is a path, the prompt stays|marker-from-a|a.gpg,-n"
    "-- -n: -n is the path|marker-from-dash-n|--,-n"
    "-- --version: --version is the path|marker-from-dash-dash-version|--,--version"
    "an empty argument: the empty path||EMPTY"
    "-n: no prompt, nothing loads||-n,a.gpg"
)

for case in "${window_cases[@]}"; do
    IFS='|' read -r name marker arglist <<<"$case"
    args=()
    if [ "$arglist" = EMPTY ]; then
        args=("")
    elif [ -n "$arglist" ]; then
        IFS=',' read -r -a args <<<"$arglist"
    fi
    sk_log "window case: $name"
    sk_start "${args[@]}"
    if ! sk_wait_window 20; then
        sk_fail "$name: no window appeared"
        sk_kill_program
        continue
    fi
    sk_pass "$name: the window appears"
    sk_type_passphrase "$passphrase"
    if [ -n "$marker" ]; then
        sk_wait_stderr "WARNING: not matched: $marker" 15
    else
        # Give a load the time it would take, then see that none ran.
        sleep 3
    fi
    loaded=$(grep -o 'WARNING: not matched: marker-from-[a-z-]*' "$SK_ERR" | sed 's/.*: //' | sort -u | tr '\n' ' ')
    sk_check_eq "$name: loads exactly the file that holds '$marker'" "${marker:+$marker }" "$loaded"
    sk_check_file "$name: nothing on stdout" "$SK_OUT" ""
    sk_close_window
    sk_wait_exit 10
    sk_check_eq "$name: closing the window ends the program with status 0" 0 "$SK_STATUS"
done

sk_finish
