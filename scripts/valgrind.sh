#!/usr/bin/env bash
# Runs every end-to-end suite (the shipped 32-bit plug-in dlopen()ed into the test process,
# talking to the agent simulator) under valgrind memcheck, and fails on any memory error or any
# definitely lost block. Unlike the sanitizer build, this checks the very binaries that ship,
# uninstrumented. The soak suite runs VALGRIND_SOAK_ITERATIONS rounds (50).
#   scripts/valgrind.sh [e2e_<suite> ...]        (default: every end-to-end suite)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VALGRIND_BUILD_DIR:-build}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
if [ $# -gt 0 ]; then
  suites=("$@")
else
  suites=(e2e_discovery e2e_flash e2e_fault_matrix e2e_soak e2e_disk_full e2e_host_cli e2e_recorder
          e2e_replay)
fi
cmake --build "$build" -j2 --target "${suites[@]}" >"$build/valgrind-build.log" 2>&1 || {
  tail -30 "$build/valgrind-build.log" >&2
  echo "valgrind: build failed" >&2
  exit 1
}

failed=0
abs_build=$(cd "$build" && pwd)
for s in "${suites[@]}"; do
  log="$abs_build/valgrind-$s.log"
  # The recorder's suite loads the recorder by its plain name, which then forwards to the
  # simulator; every other suite loads the simulator.
  agent_dir="$abs_build/sim"
  [ "$s" = e2e_recorder ] && agent_dir="$abs_build/recorder"
  start=$(date +%s)
  if (cd "$abs_build/tests/e2e" &&
      LD_LIBRARY_PATH="$agent_dir" VXINS_SOAK_ITERATIONS=${VALGRIND_SOAK_ITERATIONS:-50} \
      valgrind --tool=memcheck --error-exitcode=1 --leak-check=full \
        --errors-for-leak-kinds=definite --show-leak-kinds=definite --num-callers=30 \
        --log-file="$log" "./$s" >"$log.out" 2>&1); then
    status=ok
  else
    status=FAILED
    failed=1
  fi
  errors=$(sed -n 's/.*ERROR SUMMARY: \([0-9,]*\) errors.*/\1/p' "$log" | tail -1)
  lost=$(sed -n 's/.*definitely lost: \([0-9,]*\) bytes in \([0-9,]*\) blocks.*/\1 bytes in \2 blocks/p' "$log" | tail -1)
  heap=$(sed -n 's/.*total heap usage: \(.*\)/\1/p' "$log" | tail -1)
  # awk reads to the end: a reader that stops early would kill the script with SIGPIPE (141)
  # exactly when a suite failed and printed many lines.
  tests=$(awk '/^\[  (PASSED|FAILED)  \]/ && n++ < 2 { printf "%s ", $0 }' "$log.out")
  echo "valgrind: $s: $status in $(( $(date +%s) - start )) s; ${errors:-?} errors;" \
       "definitely lost: ${lost:-0 bytes in 0 blocks}; heap: ${heap:-?}; $tests"
  if [ "$status" != ok ]; then
    grep -E 'Invalid|uninitialised|definitely lost|FAILED' "$log" "$log.out" | sed -n 1,20p >&2 || true
    echo "valgrind: full report in $log" >&2
  fi
done
exit $failed
