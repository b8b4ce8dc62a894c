#!/usr/bin/env bash
# The catalogues cover every text of the sources. The template is regenerated from the sources here,
# so a stale data/po/sealkeep.pot cannot hide a new text; each catalogue merged with it must have every
# message translated and none fuzzy; texts meant to stay untranslated must not be in the template; the
# built catalogues answer in their language; and the real program looks for its catalogue in the very
# folder that `cmake --install` fills.
set -euo pipefail

src=${SEALKEEP_SOURCE_DIR:?run through ctest}
build=${SEALKEEP_BUILD_DIR:?run through ctest}
work=$(mktemp -d "${SEALKEEP_SCRATCH:-/tmp}/po.XXXXXX")
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

"$src/data/po/make-pot.sh" "$src" "$work/sealkeep.pot"

# The msgids of a catalogue or template, one a line with C escapes, header and obsolete entries left out.
msgids() {
    msgattrib --no-obsolete --no-wrap "$1" | awk '/^msgid "/ { sub(/^msgid /, ""); if ($0 != "\"\"") print }' | sort
}
msgids "$work/sealkeep.pot" >"$work/fresh.ids"
count=$(wc -l <"$work/fresh.ids")
[ "$count" -ge 30 ] || fail "the template holds only $count texts: did xgettext find the sources?"

# The committed template is what translators start from; keep it in step with the sources.
if ! diff -u <(msgids "$src/data/po/sealkeep.pot") "$work/fresh.ids" >"$work/template.diff"; then
    fail "data/po/sealkeep.pot is stale (run: cmake --build <build> --target sealkeep_update_po):"
    cat "$work/template.diff" >&2
fi

for lang in fr de; do
    merged=$work/$lang.po
    msgmerge --quiet "$src/data/po/$lang.po" "$work/sealkeep.pot" -o "$merged"
    stats=$(LC_ALL=C msgfmt --check --check-accelerators=_ --statistics -o /dev/null "$merged" 2>&1) ||
        fail "$lang.po does not compile: $stats"
    if [ "$stats" != "$count translated messages." ]; then
        fail "$lang.po against the sources: $stats (want all $count translated, none fuzzy)"
        msgattrib --untranslated --no-obsolete "$merged" | grep '^msgid ".' | sed "s/^/  untranslated in $lang: /" >&2 || true
        msgattrib --only-fuzzy --no-obsolete "$merged" | grep '^msgid ".' | sed "s/^/  fuzzy in $lang: /" >&2 || true
    fi
done

# Texts that are deliberately left in English everywhere.
while IFS= read -r text; do
    if grep -qxF "\"$text\"" "$work/fresh.ids"; then
        fail "\"$text\" is meant to stay untranslated but passes through gettext"
    fi
done <<'EOF'
Sealkeep
Find forward.
Find back.
0.12.1
Usage: %s [options] [password_file]\n\nvalid options are:\n  -n : Do not ask password at start\n
EOF

# The built catalogues answer, in UTF-8, under the environment a user would have. LANGUAGE is
# honoured only when the locale is not plain C.
while IFS='|' read -r lang msgid want; do
    got=$(LANG=C.UTF-8 LC_ALL='' LANGUAGE=$lang TEXTDOMAINDIR=$build/locale gettext -d sealkeep "$msgid")
    [ "$got" = "$want" ] || fail "$lang: \"$msgid\" gives \"$got\", want \"$want\""
done <<'EOF'
fr|_File|_Fichier
fr|Expand all|Tout déplier
fr|Please enter your PGP Passphrase:|Veuillez saisir votre phrase secrète PGP :
de|_View|_Ansicht
de|Copy password & Execute|Passwort kopieren und ausführen
de|Password file database encrypted whith GnuPG:|Mit GnuPG verschlüsselte Passwortdatei:
EOF

# The real program, started in French and German, opens its catalogue where the install puts it.
# The install rule names the folder under the prefix the build was configured with.
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
install_dir=$(grep -o '"[^"]*/fr/LC_MESSAGES"' "$build/data/po/cmake_install.cmake" | head -n 1 | tr -d '"')
install_dir=${install_dir//\$\{CMAKE_INSTALL_PREFIX\}/$prefix}
[ -n "$install_dir" ] || fail "no install rule for the French catalogue in $build/data/po/cmake_install.cmake"
for lang in fr de; do
    want=${install_dir%/fr/LC_MESSAGES}/$lang/LC_MESSAGES/sealkeep.mo
    trace=$work/trace.$lang
    LANG=C.UTF-8 LC_ALL='' LANGUAGE=$lang strace -f -qq -e trace=open,openat -o "$trace" "$SEALKEEP_BIN" -n \
        >"$work/out.$lang" 2>&1 &
    strace_pid=$!
    window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Sealkeep$' | head -n 1 || true)
    if [ -n "$window" ]; then
        program_pid=$(timeout 5 xdotool getwindowpid "$window" || true)
        if [ -n "$program_pid" ]; then kill "$program_pid" 2>/dev/null || true; fi
    else
        fail "$lang: the window did not appear"
        kill "$strace_pid" 2>/dev/null || true
    fi
    wait "$strace_pid" || true
    grep -qF "\"$want\"" "$trace" || fail "$lang: the program never looked for $want"
done

[ "$failures" -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
echo "translations: $count texts, all translated in fr and de"
