#!/usr/bin/env bash
# Everything the tests need, from a fresh Debian machine: set-up, the 32-bit build and all its
# tests, then the Ansible collection's tests; the same C++ tests on a 32-bit AddressSanitizer +
# UndefinedBehaviorSanitizer build; a short run of every fuzz target; the end-to-end suites under
# valgrind memcheck.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc)
step() { echo "test.sh: $1 ($(( $(date +%s) - t0 )) s so far)"; }
t0=$(date +%s)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j2
bash ansible/tests/run.sh
step "32-bit build and tests done"

# The sanitizer build: plug-in, simulator and every test executable carry ASan and UBSan, so
# the plug-in dlopen()ed by a test shares the test's runtime. Any report fails the run: UBSan
# does not recover (-fno-sanitize-recover=all), ASan halts, and every report is also written to
# a file, so that one from a child process whose exit status a test ignores is not lost.
# LeakSanitizer runs on i386 with this GCC's runtime, so leaks are checked here too.
cmake -S . -B build-asan -DVXINS_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-asan -j"$jobs"
reports="$PWD/build-asan/sanitizer-reports"
rm -rf "$reports" && mkdir -p "$reports"
asan_rc=0
ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:log_path=$reports/asan" \
UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$reports/ubsan" \
  ctest --test-dir build-asan --output-on-failure -j2 || asan_rc=$?
if [ -n "$(ls -A "$reports")" ]; then
  for f in "$reports"/*; do echo "== $f"; cat "$f"; done
  echo "test.sh: sanitizer reports above" >&2
  exit 1
fi
[ "$asan_rc" -eq 0 ] || exit "$asan_rc"
step "sanitizer build and tests done, no report"

bash scripts/fuzz-smoke.sh
step "fuzz smoke run done"

VALGRIND_BUILD_DIR=build bash scripts/valgrind.sh
step "valgrind memcheck of the end-to-end suites done"
