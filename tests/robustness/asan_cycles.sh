#!/usr/bin/env bash
# Leaks and descriptors over many loads: builds the GUI tests with AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer (its own build directory, only the targets it needs) and runs 200 load,
# search, copy and Refresh cycles with real gpg in one process. LeakSanitizer checks at exit; the
# toolkit's own one-time allocations are suppressed by lsan.supp beside this script, nothing of ours.
#   tests/robustness/asan_cycles.sh [build-dir]      (default: build-asan in the source tree)
set -euo pipefail

source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build_dir=${1:-$source_dir/build-asan}

cmake -S "$source_dir" -B "$build_dir" -DSEALKEEP_SANITIZE=ON -DSEALKEEP_WERROR=ON -DSEALKEEP_TESTS=ON >/dev/null
cmake --build "$build_dir" --target test_gui sealkeep_schema -j"$(nproc 2>/dev/null || echo 2)"

# GLib's slice allocator would hand out leaked blocks from pages it keeps anyway, out of the checker's
# sight: every block goes through malloc instead.
export G_SLICE=always-malloc
export G_DEBUG=gc-friendly
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:detect_odr_violation=0:fast_unwind_on_malloc=0
export LSAN_OPTIONS=suppressions=$source_dir/tests/robustness/lsan.supp:print_suppressions=1:report_objects=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export SEALKEEP_CYCLES=${SEALKEEP_CYCLES:-200}
export GSETTINGS_SCHEMA_DIR=$build_dir/schemas

exec "$source_dir/tests/harness/session.sh" "$build_dir/tests/test_gui" --gtest_filter='RobustnessCycles.*'
