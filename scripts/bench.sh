#!/usr/bin/env bash
# Throughput benchmark of the plug-in against the agent simulator: discovery and flash of 16, 64
# and 256 generated adapters (four functions each), the trace log's floor, time per function,
# peak memory, the memory of reading a package with a 200 MiB first member, and the same calls
# through vxins-host --quiet (what the host adds to the plug-in alone) with the durable commit
# of its run history timed apart.
#
#   bash scripts/bench.sh [--native] [vxins_bench options]   e.g. --reps 9, --sizes 16,256
#
# Builds the 32-bit plug-in (--native: the machine's own architecture), the simulator,
# vxins-host and the benchmark in build-bench/ (build-bench-native/, or $BUILD_DIR) and runs it.
# It restarts and rewrites /var/log/libqrvlvxins.log, so run it as a user who may write there,
# and not while tests or other programs use the plug-in. Exit status: 0 when every target is
# met, 1 when one is missed, 2 on an error.
set -euo pipefail
cd "$(dirname "$0")/.."
native=OFF
if [ "${1:-}" = "--native" ]; then
  native=ON
  shift
fi
build=${BUILD_DIR:-build-bench$([ "$native" = ON ] && echo -native || true)}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVXINS_NATIVE="$native" >/dev/null
cmake --build "$build" -j2 --target vxins_bench >/dev/null
exec "$build/bench/vxins_bench" "$@"
