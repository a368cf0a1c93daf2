#!/usr/bin/env bash
# Throughput benchmark of the plug-in against the agent simulator: discovery and flash of 16, 64
# and 256 generated adapters (four functions each), the trace log's floor, time per function,
# peak memory, and the memory of reading a package with a 200 MiB first member.
#
#   bash scripts/bench.sh [vxins_bench options]     e.g. --reps 9, --sizes 16,256, --journal
#
# Builds the 32-bit plug-in, the simulator and the benchmark in build-bench/ (or $BUILD_DIR)
# and runs it. It restarts and rewrites /var/log/libqrvlvxins.log, so run it as a user who may
# write there, and not while tests or other programs use the plug-in. Exit status: 0 when every
# target is met, 1 when one is missed, 2 on an error.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-bench}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target vxins_bench >/dev/null
exec "$build/bench/vxins_bench" "$@"
