#!/usr/bin/env bash
# Stage: builds the libFuzzer targets of fuzz/ (native, clang, ASan+UBSan) and runs each over its
# seed corpus for a short while; fails on any crash, sanitizer report, broken oracle or timeout.
# CI runs it as it is (15 s per target). Longer campaigns, e.g. ten minutes per target:
#   FUZZ_SECONDS=600 scripts/fuzz-smoke.sh [package_reader discovery_file enumeration]
# The targets are those fuzz/CMakeLists.txt builds. New corpus entries go to
# $FUZZ_BUILD_DIR/fuzz-corpus/<target>, never into the repository; a failing input is kept in
# $FUZZ_BUILD_DIR/fuzz-artifacts/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/builds.sh
build=${FUZZ_BUILD_DIR:-build-fuzz}
mkdir -p "$build"
build=$(cd "$build" && pwd)  # the targets work in a scratch folder of their own: absolute paths
seconds=${FUZZ_SECONDS:-15}
stage_say "the libFuzzer targets (native clang build, $build), $seconds s each"

cmake -S . -B "$build" -DVXINS_NATIVE=ON -DVXINS_FUZZ=ON -DVXINS_SANITIZE=ON -DVXINS_TESTS=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if [ $# -gt 0 ]; then
  targets=("$@")
else
  mapfile -t targets <"$build/fuzz/targets.txt"
fi
if ! cmake --build "$build" -j2 --target $(printf '%s_fuzzer ' "${targets[@]}") \
    >"$build/fuzz-build.log" 2>&1; then
  tail -40 "$build/fuzz-build.log" >&2
  echo "fuzz-smoke: build failed" >&2
  exit 1
fi

seeds="$build/fuzz-seeds"
rm -rf "$seeds"
# The seeds made from the test fixtures, the inventories and the tar tools; fuzz/corpus holds the
# rest.
bash fuzz/make-seeds.sh "$seeds" >/dev/null

export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
failed=0
for t in "${targets[@]}"; do
  corpus="$build/fuzz-corpus/$t"
  artifacts="$build/fuzz-artifacts/$t"
  log="$build/fuzz-$t.log"
  mkdir -p "$corpus" "$artifacts"
  dirs=("$corpus" "$PWD/fuzz/corpus/$t")
  [ -d "$seeds/$t" ] && dirs+=("$seeds/$t")
  start=$(date +%s)
  if "$build/fuzz/${t}_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len=16384 -dict="$PWD/fuzz/dict/$t.dict" -artifact_prefix="$artifacts/" \
      -print_final_stats=1 "${dirs[@]}" >"$log" 2>&1; then
    status=ok
  else
    status=FAILED
    failed=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -1 || true)
  units=$(ls "$corpus" | wc -l)
  echo "fuzz-smoke: $t: $status, ${runs:-?} executions in $(( $(date +%s) - start )) s," \
       "${cov:-cov: ?}, $units new corpus entries"
  if [ "$status" != ok ]; then
    grep -E 'ERROR|SUMMARY|oracle failed|runtime error|Test unit written' "$log" | sed -n 1,20p >&2 || true
    echo "fuzz-smoke: full log in $log" >&2
  fi
done
[ "$failed" -eq 0 ] || exit 1
stage_say "${#targets[@]} targets ran clean ($(stage_seconds) s)"
