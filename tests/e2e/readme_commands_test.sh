#!/usr/bin/env bash
# The README's first command as a new user meets it: a fresh clone of the tree under test (no build/ in
# it), `scripts/run --demo` with no display, installed into a throwaway prefix. It must end well and
# leave a picture of the demo accounts loaded and expanded.
source "$(dirname "$0")/../harness/lib.sh"

src=${SEALKEEP_SOURCE_DIR:?}

# The tree under test: its last commit, and on top of it what is changed or new and not yet committed.
clone=$SK_TMP/clone
git clone --quiet --no-hardlinks "$src" "$clone" || { sk_fail "git clone of $src failed"; sk_finish; }
git -C "$src" diff HEAD --binary >"$SK_TMP/uncommitted.diff"
[ -s "$SK_TMP/uncommitted.diff" ] && git -C "$clone" apply --whitespace=nowarn "$SK_TMP/uncommitted.diff"
git -C "$src" ls-files -z --others --exclude-standard | (cd "$src" && xargs -0 -r cp --parents -t "$clone")
sk_check "the clone has no build folder" test ! -e "$clone/build"

prefix=$SK_TMP/prefix
start=$(sk_now)
env -u DISPLAY -u WAYLAND_DISPLAY SEALKEEP_PREFIX="$prefix" "$clone/scripts/run" --demo \
    >"$SK_TMP/run.out" 2>&1 </dev/null
status=$?
took=$(sk_since "$start")
sk_log "scripts/run --demo on a fresh clone took $took s; its last lines:"
tail -n 15 "$SK_TMP/run.out" | sed 's/^/#   /'
sk_check_eq "scripts/run --demo ends with exit status 0" 0 "$status"

for file in bin/sealkeep bin/sealkeep-askpass share/glib-2.0/schemas/gschemas.compiled \
    share/locale/fr/LC_MESSAGES/sealkeep.mo; do
    sk_check "the install under the chosen prefix holds $file" test -f "$prefix/$file"
done
# cmake's install manifest names every file the install wrote.
sk_check_eq "the install wrote nothing outside the chosen prefix" "" \
    "$(grep -v "^$prefix/" "$clone/build/install_manifest.txt" 2>&1)"

shot=$clone/build/demo/screenshot.png
sk_check "the demo left its screenshot" test -s "$shot"
if [ -f "$shot" ]; then
    mkdir -p "$SK_SHOT_DIR" && cp "$shot" "$SK_SHOT_DIR/$SK_NAME-demo.png"
    # Loaded and expanded, the tree shows rows far beyond its three customers; the prompt alone shows
    # none. The expanded tree is taller than the window: its scroll bar is cut off, so that the tree's
    # white stands at the picture's right edge.
    convert "$shot" -gravity East -chop 24x0 "$SK_TMP/tree.png"
    if sk_measure_tree "$SK_TMP/tree.png"; then
        rows=$(sk_tree_rows_shown "$SK_TMP/tree.png")
        sk_log "the screenshot's tree shows $rows rows"
        sk_check "the screenshot shows the demo tree loaded and expanded (more than 20 rows)" test "$rows" -gt 20
    else
        sk_fail "the screenshot shows no tree area"
    fi
fi
sk_finish
