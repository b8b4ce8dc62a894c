#!/usr/bin/env bash
# An install under a prefix that is not on the schema search path still finds its schema; without
# any schema the program says so in one line and exits 1, with no core dump.
set -u
build=${SEALKEEP_BUILD_DIR:?}
# A staged install (DESTDIR) under a prefix of its own: nothing is written outside the scratch folder.
destdir=$SEALKEEP_SCRATCH/stage
prefix=$destdir/opt/sealkeep
fail=0

DESTDIR=$destdir cmake --install "$build" --prefix /opt/sealkeep >"$SEALKEEP_SCRATCH/install.log" 2>&1 || {
    echo "FAIL: install into $prefix"; cat "$SEALKEEP_SCRATCH/install.log"; exit 1; }

run_installed() {
    # Only the system's own data folders: neither the build tree nor the prefix is on the search path.
    # No display either: the settings are opened before the toolkit, which then gives up on its own
    # (--help and --version answer without the settings, so they cannot tell).
    env -u GSETTINGS_SCHEMA_DIR -u DISPLAY XDG_DATA_DIRS=/usr/share timeout 20 "$prefix/bin/sealkeep" \
        >"$SEALKEEP_SCRATCH/out" 2>"$SEALKEEP_SCRATCH/err"
}

run_installed
status=$?
if grep -q 'settings schema' "$SEALKEEP_SCRATCH/err" || ! grep -q 'cannot open display' "$SEALKEEP_SCRATCH/err"; then
    echo "FAIL: schema under the install prefix not found (status $status)"; cat "$SEALKEEP_SCRATCH/err"; fail=1
fi

rm -f "$prefix"/share/glib-2.0/schemas/*
ulimit -c 0
run_installed
status=$?
expected="Sealkeep: the settings schema net.sealkeep.Sealkeep is not installed. Reinstall Sealkeep (its package, or scripts/run from the sources) or compile the schema with glib-compile-schemas into a folder on GSETTINGS_SCHEMA_DIR."
if [ "$status" -ne 1 ]; then echo "FAIL: missing schema gave status $status, not 1"; fail=1; fi
if [ "$(cat "$SEALKEEP_SCRATCH/err")" != "$expected" ]; then
    echo "FAIL: missing schema message:"; cat "$SEALKEEP_SCRATCH/err"; fail=1
fi
if [ -s "$SEALKEEP_SCRATCH/out" ]; then echo "FAIL: output on stdout without a schema"; fail=1; fi

[ "$fail" -eq 0 ] && echo "schema_prefix: passed"
exit "$fail"
