#!/usr/bin/env bash
# Stage: one build of everything and all its CTest suites.
#   scripts/build-test.sh [i386|native] [--build-only]
# i386 (default) is build/, the plug-in as it ships; native is build-native/, the same sources
# for this machine's architecture, which catches pointer-width assumptions. --build-only stops
# after the build (which checks the plug-in's exports), for a machine that cannot run it.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/builds.sh
build=${1:-i386}
dir=$(build_dir "$build")
stage_say "the $build build ($dir/) and all its suites"
configure "$build"
cmake --build "$dir" -j"$(nproc)"
if [ "${2:-}" = --build-only ]; then
  stage_say "$build build done, its exports checked, nothing run ($(stage_seconds) s)"
  exit 0
fi
ctest --test-dir "$dir" --output-on-failure -j2
report_skips "$dir"
stage_say "$build build and all its suites passed ($(stage_seconds) s)"
