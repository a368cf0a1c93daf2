# Sourced by run.sh and scale.sh, which run the plug-in through vxins-host on this machine.
# The plug-in's trace log is one file for the machine: as root, the caller is run again with a
# /var/log of its own (a tmpfs in a private mount namespace), so that nothing else writing the
# log meanwhile can change what vxins-host reads back, and with a /run of its own, so that no
# simulated host writes the machine's reboot-pending marker or run lock (each names its own in
# its environment). Then: the repository as the current folder, no __pycache__ in the tree (nor
# in the collection built from it), and $python, the Python that Ansible runs on (the tests
# import Ansible; it need not be the first python3 on PATH).
if [ -z "${VXINS_PRIVATE_LOG:-}" ] && [ "$(id -u)" = 0 ] &&
   unshare --mount --propagation private true 2>/dev/null; then
  exec env VXINS_PRIVATE_LOG=1 unshare --mount --propagation private \
    bash -c 'mount -t tmpfs -o mode=0755 vxins-test-log /var/log &&
             mount -t tmpfs -o mode=0755 vxins-test-run /run && exec bash "$0" "$@"' "$0" "$@"
fi
cd "$(dirname "$0")/../.."
export PYTHONDONTWRITEBYTECODE=1
python=$(ansible --version | sed -n 's/^ *python version = .*(\(.*\))$/\1/p')
: "${python:?ansible --version names no Python}"
