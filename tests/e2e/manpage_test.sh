#!/usr/bin/env bash
# The manual page renders without a single warning, and it and the README state every settings key
# with the default that the schema really has, so the documents cannot drift from the schema.
set -euo pipefail

src=${SEALKEEP_SOURCE_DIR:?run through ctest}
work=$(mktemp -d "${SEALKEEP_SCRATCH:-/tmp}/man.XXXXXX")
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
page=$src/data/sealkeep.1

warnings=$(LC_ALL=C.UTF-8 groff -man -ww -z "$page" 2>&1) || fail "groff failed"
[ -z "$warnings" ] || fail "groff warns: $warnings"
# man adds its own checks (preconv, tbl) on top of groff's.
LC_ALL=C.UTF-8 MANWIDTH=1000 man --warnings -l "$page" >"$work/page.txt" 2>"$work/man.err" || fail "man failed"
[ ! -s "$work/man.err" ] || fail "man warns: $(cat "$work/man.err")"

for section in NAME SYNOPSIS OPTIONS "THE PASSWORD FILE" "COMMAND TEMPLATES" SETTINGS "EXIT STATUS" FILES SECURITY; do
    grep -qx "$section" "$work/page.txt" || fail "the manual page has no $section section"
done

# Each key of the schema and its default, as the schema spells them (XML entities decoded).
awk '
    match($0, /<key name="[^"]*"/) { key = substr($0, RSTART + 11, RLENGTH - 12) }
    match($0, /<default>.*<\/default>/) {
        value = substr($0, RSTART + 9, RLENGTH - 19)
        gsub(/^'\''|'\''$/, "", value)
        gsub(/&amp;/, "\\&", value); gsub(/&lt;/, "<", value); gsub(/&gt;/, ">", value)
        print key "\t" value
    }' "$src/data/net.sealkeep.Sealkeep.gschema.xml" >"$work/defaults"
[ "$(wc -l <"$work/defaults")" -eq 8 ] || fail "expected eight keys in the schema, read: $(cat "$work/defaults")"

while IFS=$'\t' read -r key value; do
    grep -qF -- "$key" "$work/page.txt" || fail "the manual page does not name the key $key"
    grep -qF -- "$value" "$work/page.txt" || fail "the manual page does not give $key's default: $value"
    grep -qF -- "$key" "$src/README.md" || fail "README.md does not name the key $key"
    grep -qF -- "$value" "$src/README.md" || fail "README.md does not give $key's default: $value"
done <"$work/defaults"

[ "$failures" -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
echo "manpage: renders cleanly; manual and README agree with the schema"
