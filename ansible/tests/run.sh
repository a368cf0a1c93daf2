#!/usr/bin/env bash
# The Ansible collection's tests: the modules' main() with vxins-host's answers as data and the
# fleet reports' filters (unit tests), then the collection built and installed with
# ansible-galaxy, its documentation, and its playbooks against simulated hosts that are all
# this machine (tests/fleet). Needs ansible-core (scripts/setup.sh) and a build with vxins-host
# and the simulator: VXINS_BUILD_DIR, default build. VXINS_KEEP_FLEET=1 keeps the fleet's
# folder (inventory, journals, reports). The scale run is scale.sh, not part of these tests.
set -euo pipefail
. "$(dirname "$0")/common.sh"
start=$(date +%s)
echo "== run.sh: the Ansible collection's unit and fleet tests (${VXINS_BUILD_DIR:-build}/)"
"$python" -m unittest discover -v -s ansible/tests/unit -t ansible/tests/unit
"$python" ansible/tests/fleet/test_fleet.py -v
echo "== run.sh: the Ansible tests passed ($(( $(date +%s) - start )) s)"
