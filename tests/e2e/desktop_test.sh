#!/usr/bin/env bash
# Desktop integration: the desktop entry validates, names the program and icon that the install
# provides, matches the real window's class, and `cmake --install` puts every data file where the
# desktop, man and the program itself look for it.
set -euo pipefail

src=${SEALKEEP_SOURCE_DIR:?run through ctest}
build=${SEALKEEP_BUILD_DIR:?run through ctest}
work=$(mktemp -d "${SEALKEEP_SCRATCH:-/tmp}/desktop.XXXXXX")
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
desktop=$src/data/sealkeep.desktop

# Errors and warnings fail; hints are suggestions and do not.
report=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate rejects the entry"
if grep -E ': (error|warning):' <<<"$report" >&2; then
    fail "desktop-file-validate complains"
fi

key() { sed -n "s/^$1=//p" "$desktop"; }
[ "$(key Exec)" = "sealkeep %f" ] || fail "Exec is '$(key Exec)'"
[ "$(key Icon)" = sealkeep ] || fail "Icon is '$(key Icon)'"

# The icon at the size its folder names, and an SVG that a renderer accepts.
read -r width height < <(identify -format '%w %h\n' "$src/data/icons/hicolor/48x48/apps/sealkeep.png")
[ "$width x $height" = "48 x 48" ] || fail "the 48x48 icon is $width x $height"
identify "$src/data/icons/hicolor/scalable/apps/sealkeep.svg" >/dev/null 2>&1 || fail "the SVG icon does not parse"

# The window's class is what StartupWMClass promises, so docks group the window under this entry.
"$SEALKEEP_BIN" -n >"$work/out" 2>&1 &
program=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Sealkeep$' | head -n 1 || true)
if [ -n "$window" ]; then
    class=$(timeout 5 xprop -id "$window" WM_CLASS | sed -n 's/.*= "\(.*\)", "\(.*\)"/\2/p')
    [ "$class" = "$(key StartupWMClass)" ] || fail "window class '$class', StartupWMClass '$(key StartupWMClass)'"
else
    fail "the window did not appear"
fi
kill "$program" 2>/dev/null || true
wait "$program" 2>/dev/null || true

# Install into a scratch root; the prefix is the build's own.
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
DESTDIR=$work/root cmake --install "$build" >"$work/install.log" 2>&1 || {
    cat "$work/install.log" >&2
    fail "cmake --install failed"
}
for file in \
    "$prefix/bin/sealkeep" \
    "$prefix/share/applications/sealkeep.desktop" \
    "$prefix/share/icons/hicolor/48x48/apps/sealkeep.png" \
    "$prefix/share/icons/hicolor/scalable/apps/sealkeep.svg" \
    "$prefix/share/man/man1/sealkeep.1" \
    "$prefix/share/glib-2.0/schemas/gschemas.compiled" \
    /usr/local/share/locale/fr/LC_MESSAGES/sealkeep.mo \
    /usr/local/share/locale/de/LC_MESSAGES/sealkeep.mo; do
    [ -f "$work/root$file" ] || fail "not installed: $file"
done

[ "$failures" -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
echo "desktop: entry valid, window class matches, all data files installed"
