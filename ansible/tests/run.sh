#!/usr/bin/env bash
# The Ansible collection's tests: the modules' main() with vxins-host's answers as data and the
# fleet report's filters (unit tests), then the collection built and installed with
# ansible-galaxy, its documentation, and the example playbook against five hosts that are all
# this machine (tests/fleet). Needs ansible-core (scripts/setup.sh) and a build with vxins-host
# and the simulator: VXINS_BUILD_DIR, default build. VXINS_KEEP_FLEET=1 keeps the fleet's
# folder (inventory, journals, report).
set -euo pipefail
# The fleet's hosts run the plug-in, whose trace log is one file for the machine: as root, the
# tests get a /var/log of their own (a tmpfs in a private mount namespace), so that nothing else
# writing the log meanwhile can change what vxins-host reads back.
if [ -z "${VXINS_PRIVATE_LOG:-}" ] && [ "$(id -u)" = 0 ] &&
   unshare --mount --propagation private true 2>/dev/null; then
  exec env VXINS_PRIVATE_LOG=1 unshare --mount --propagation private \
    bash -c 'mount -t tmpfs -o mode=0755 vxins-test-log /var/log && exec bash "$0" "$@"' "$0" "$@"
fi
cd "$(dirname "$0")/../.."
start=$(date +%s)
echo "== run.sh: the Ansible collection's unit and fleet tests (${VXINS_BUILD_DIR:-build}/)"
export PYTHONDONTWRITEBYTECODE=1  # no __pycache__ in the tree, nor in the collection built from it
# The modules' tests import Ansible itself: they run on the Python that Ansible runs on, which
# need not be the first python3 on PATH.
python=$(ansible --version | sed -n 's/^ *python version = .*(\(.*\))$/\1/p')
"${python:?ansible --version names no Python}" -m unittest discover -v -s ansible/tests/unit \
  -t ansible/tests/unit
"$python" ansible/tests/fleet/test_fleet.py -v
echo "== run.sh: the Ansible tests passed ($(( $(date +%s) - start )) s)"
