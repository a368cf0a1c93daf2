#!/usr/bin/env bash
# The scale run (not part of the test command): the rolling-update playbook on 40 simulated
# hosts that are all this machine, ten forks, batches of ten; prints the fleet report and the
# wall time, and fails unless every host was flashed whole exactly once. As root, after a build
# (VXINS_BUILD_DIR, default build); VXINS_KEEP_FLEET=1 keeps the fleet's folder.
set -euo pipefail
. "$(dirname "$0")/common.sh"
"$python" ansible/tests/fleet/scale.py
