#!/usr/bin/env bash
# Stage: every CTest suite on an AddressSanitizer + UndefinedBehaviorSanitizer build.
#   scripts/sanitize.sh [i386|native]       (build-asan/ or build-asan-native/)
# Plug-in, simulator and every test executable carry ASan and UBSan, so the plug-in dlopen()ed
# by a test shares the test's runtime. Any report fails the stage: UBSan does not recover
# (-fno-sanitize-recover=all), ASan halts, and every report is also written to a file, so that
# one from a child process whose exit status a test ignores is not lost. LeakSanitizer runs on
# both architectures with this GCC's runtime, so leaks are checked too.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/builds.sh
build=${1:-i386}-asan
dir=$(build_dir "$build")
stage_say "the $build build ($dir/) and all its suites"
configure "$build"
cmake --build "$dir" -j"$(nproc)"
reports="$PWD/$dir/sanitizer-reports"
rm -rf "$reports" && mkdir -p "$reports"
rc=0
ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:log_path=$reports/asan" \
UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$reports/ubsan" \
  ctest --test-dir "$dir" --output-on-failure -j2 || rc=$?
if [ -n "$(ls -A "$reports")" ]; then
  for f in "$reports"/*; do echo "== $f"; cat "$f"; done
  stage_say "sanitizer reports above" >&2
  exit 1
fi
[ "$rc" -eq 0 ] || exit "$rc"
report_skips "$dir"
stage_say "$build build: all suites passed, no sanitizer report ($(stage_seconds) s)"
