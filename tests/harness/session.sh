#!/usr/bin/env bash
# Runs one test command in a private desktop session: a throwaway HOME (set before the bus starts,
# since dconf-service writes where its bus daemon's environment points), its own Xvfb display,
# a private D-Bus session bus with real dconf, and an empty GNUPGHOME.
set -euo pipefail

scratch=$(mktemp -d /tmp/sk.XXXXXX)
xvfb_pid=
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    GNUPGHOME="$scratch/g" gpgconf --kill gpg-agent >/dev/null 2>&1 || true
    rm -rf "$scratch"
}
trap cleanup EXIT

mkdir -p "$scratch/home" "$scratch/config" "$scratch/runtime" "$scratch/g"
chmod 700 "$scratch/runtime" "$scratch/g"
export HOME="$scratch/home"
export XDG_CONFIG_HOME="$scratch/config"
export XDG_RUNTIME_DIR="$scratch/runtime"
export XDG_CACHE_HOME="$scratch/home/.cache"
export GNUPGHOME="$scratch/g"
export SEALKEEP_SCRATCH="$scratch"
export NO_AT_BRIDGE=1

if [ -z "${SEALKEEP_USE_DISPLAY:-}" ]; then
    # -displayfd picks a free display number and tells us which. Two sessions starting at once (ctest -j)
    # may pick the same one, and the second Xvfb then gives up: it is started again.
    display=
    for _attempt in 1 2 3; do
        exec {dfd}<> <(:)
        Xvfb -displayfd "$dfd" -screen 0 1280x1024x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
        xvfb_pid=$!
        for _ in $(seq 100); do
            if read -r -t 0.1 display <&"$dfd" && [ -n "$display" ]; then break; fi
            kill -0 "$xvfb_pid" 2>/dev/null || break
        done
        exec {dfd}>&-
        [ -n "$display" ] && break
        kill "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=
        sleep 0.$((RANDOM % 9 + 1))
    done
    [ -n "$display" ] || { echo "session.sh: Xvfb did not start" >&2; cat "$scratch/xvfb.log" >&2; exit 1; }
    export DISPLAY=":$display"
fi

set +e
dbus-run-session -- "$@"
status=$?
exit $status
