#!/usr/bin/env bash
# Stage: every end-to-end suite (the shipped plug-in dlopen()ed into the test process, talking to
# the agent simulator) under valgrind memcheck; fails on any memory error or any definitely lost
# block. Unlike the sanitizer builds, this checks the very binaries that ship, uninstrumented.
#   scripts/valgrind.sh [i386|native] [e2e_<suite> ...]   (default: the i386 build, every suite
#                                                          CTest labels e2e)
# Each suite runs with the command, folder and environment CTest gives it; the soak suite runs
# VALGRIND_SOAK_ITERATIONS rounds (50).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/builds.sh
build=i386
case "${1:-}" in i386|native) build=$1; shift ;; esac
dir=$(build_dir "$build")
stage_say "the end-to-end suites of the $build build ($dir/) under valgrind memcheck"
[ -f "$dir/CMakeCache.txt" ] || configure "$build"
# The suites as CTest runs them: name, folder, environment and command (both shell-quoted).
mapfile -t rows < <(ctest --test-dir "$dir" -N -L '^e2e$' --show-only=json-v1 | python3 -c '
import json, shlex, sys
wanted = set(sys.argv[1:])
for t in json.load(sys.stdin)["tests"]:
    if wanted and t["name"] not in wanted:
        continue
    props = {p["name"]: p["value"] for p in t.get("properties", [])}
    env = " ".join(shlex.quote(e) for e in props.get("ENVIRONMENT", []))
    cmd = " ".join(shlex.quote(c) for c in t["command"])
    print("\x1f".join([t["name"], props["WORKING_DIRECTORY"], env, cmd]))
' "$@")
if [ ${#rows[@]} -eq 0 ] || { [ $# -gt 0 ] && [ ${#rows[@]} -ne $# ]; }; then
  echo "valgrind: no such end-to-end suite among: $(ctest --test-dir "$dir" -N -L '^e2e$' |
        sed -n 's/.*Test *#[0-9]*: //p' | tr '\n' ' ')" >&2
  exit 2
fi
suites=("${rows[@]%%$'\x1f'*}")
cmake --build "$dir" -j2 --target "${suites[@]}" >"$dir/valgrind-build.log" 2>&1 || {
  tail -30 "$dir/valgrind-build.log" >&2
  echo "valgrind: build failed" >&2
  exit 1
}

failed=0
abs_dir=$(cd "$dir" && pwd)
for row in "${rows[@]}"; do
  IFS=$'\x1f' read -r s folder env command <<<"$row"
  log="$abs_dir/valgrind-$s.log"
  start=$(date +%s)
  if (cd "$folder" && eval "exec env $env VXINS_SOAK_ITERATIONS=${VALGRIND_SOAK_ITERATIONS:-50} \
        valgrind --tool=memcheck --error-exitcode=1 --leak-check=full \
        --errors-for-leak-kinds=definite --show-leak-kinds=definite --num-callers=30 \
        --log-file=\"\$log\" $command") >"$log.out" 2>&1; then
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
[ "$failed" -eq 0 ] || exit 1
stage_say "${#suites[@]} suites of the $build build clean under valgrind ($(stage_seconds) s)"
