#!/usr/bin/env bash
# Everything the tests need, from a fresh Debian machine: set-up, then the stages, each a script
# that runs alone too:
#   build-test.sh i386     the 32-bit build as it ships and all its suites
#   package-check.sh       the .deb made from the 32-bit build, its install planned by apt
#   build-test.sh native   the same sources built for x86-64 and all their suites
#   ansible/tests/run.sh   the Ansible collection's unit and fleet tests
#   sanitize.sh            all suites on an ASan + UBSan build
#   fuzz-smoke.sh          a short run of every fuzz target
#   valgrind.sh            the end-to-end suites under valgrind memcheck
# The checks run on the 32-bit build where this kernel runs i386 programs itself, and on the
# native build where they run under an emulator (where ASan hangs and valgrind cannot run) or not
# at all. A machine that cannot run them at all still builds them, runs everything else, and then
# fails: a passing run always means the shipped library was tested.
set -euo pipefail
cd "$(dirname "$0")/.."
t0=$(date +%s)
# With VXINS_EMULATE_I386=1 setup registers the emulator for this run only.
export VXINS_I386_OWNER=$$
[ "${VXINS_EMULATE_I386:-0}" = 1 ] && trap 'bash scripts/i386.sh release' EXIT
bash scripts/setup.sh
. scripts/builds.sh
mode=$(bash scripts/i386.sh mode)
case "$mode" in
  native) runs=i386 checks=i386 how="run by the kernel" ;;
  emulated) runs=i386 checks=native how="run under the emulator" ;;
  *) runs=native checks=native how="" ;;
esac

done_lines=()
ran() { done_lines+=("$(printf '%-52s %s' "$1" "($(( $(date +%s) - t0 )) s so far)")"); }

if [ "$mode" = none ]; then
  bash scripts/build-test.sh i386 --build-only
  ran "32-bit build: built and exports checked, not run"
else
  bash scripts/build-test.sh i386
  ran "32-bit build: all suites, $how"
fi
bash scripts/package-check.sh
ran "Debian package: its install planned by apt"
bash scripts/build-test.sh native
ran "native x86-64 build: all suites"
VXINS_BUILD_DIR=$(build_dir "$runs") bash ansible/tests/run.sh
ran "Ansible tests: on the $runs build"
bash scripts/sanitize.sh "$checks"
ran "ASan + UBSan: the $checks build, all suites"
bash scripts/fuzz-smoke.sh
ran "fuzz targets: the native clang build"
bash scripts/valgrind.sh "$checks"
ran "valgrind memcheck: the $checks build's e2e suites"

echo "test.sh: which build each check ran on (i386 programs here: $mode)"
printf '  %s\n' "${done_lines[@]}"
if [ "$mode" = none ]; then
  echo "test.sh: FAILED: the shipped 32-bit library was not run on this machine" >&2
  exit 1
fi
echo "test.sh: passed in $(( $(date +%s) - t0 )) s"
