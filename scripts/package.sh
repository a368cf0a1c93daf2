#!/usr/bin/env bash
# Builds the Debian package of the 32-bit plug-in, vxins-host and the simulator, and checks it
# with lintian (installed on demand). Usage: scripts/package.sh [BUILD_DIR]  (default build-deb)
# The package lands in BUILD_DIR/packages; install it with apt-get install ./qrvlvxins_*.deb
# (which also brings the i386 libraries it needs) or dpkg -i when they are already there.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-deb}
bash scripts/setup.sh
if ! command -v lintian >/dev/null; then
  echo "package: installing lintian"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends lintian >/dev/null
fi
. scripts/builds.sh
# Only what the package holds: CPack's own build of "all" (every test executable) is switched
# off in this build folder, which is the package's alone.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
  >/dev/null
deb=$(make_package "$build")
echo "package: $deb"
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'
dpkg-deb --contents "$deb"
lintian --fail-on error,warning "$deb"
echo "package: lintian passed"
