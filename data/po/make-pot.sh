#!/usr/bin/env bash
# Extracts the translatable texts of Sealkeep's sources into a template: make-pot.sh SOURCE_DIR OUTPUT.pot
# The catalogue test runs it too, so the keywords here are the ones the translations are checked against.
set -euo pipefail
source_dir=$1
output=$(realpath -m "$2")
cd "$source_dir"
version=$(sed -n 's/^project(sealkeep VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
mapfile -t sources < <(find src -name '*.cpp' -o -name '*.h' | LC_ALL=C sort)
xgettext --keyword=_ --keyword=g_dgettext:2 --keyword=N_ --keyword=P_:1,2 --from-code=UTF-8 --language=C++ \
    --package-name=sealkeep --package-version="$version" --add-comments=TRANSLATORS: \
    --output="$output" "${sources[@]}"
