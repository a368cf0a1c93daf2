#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine (run as root). Idempotent and
# quick when everything is already there.
set -euo pipefail
cd "$(dirname "$0")/.."

native=$(dpkg --print-architecture)
packages=(
  # the 32-bit plug-in, its simulator, tools and tests
  g++-multilib cmake make pkg-config file binutils tar libarchive-tools python3
  libjsoncpp-dev:i386 libgtest-dev:i386 libgmock-dev:i386 libtinyxml2-dev:i386
  valgrind libc6-dbg:i386
  # vxins-host's run history (its bodies gzip-compressed), and the command operators and tests
  # read it with
  libsqlite3-dev:i386 "libsqlite3-dev:$native" sqlite3 zlib1g-dev:i386 "zlib1g-dev:$native"
  # the native build of the same sources: sanitizers and fuzzers
  "libjsoncpp-dev:$native" "libgtest-dev:$native" "libgmock-dev:$native"
  "libtinyxml2-dev:$native" clang libclang-rt-14-dev
  # the Ansible collection (ansible/) and its fleet test
  ansible-core
)

missing=()
# Outputs captured first: with pipefail, a grep -q that stops reading early could fail the test.
if ! grep -qx i386 <<<"$(dpkg --print-foreign-architectures)"; then
  dpkg --add-architecture i386
  need_update=1
fi
for p in "${packages[@]}"; do
  if [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" != "install ok installed" ]; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#packages[@]} packages present"
else
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  echo "setup: done"
fi
# The 32-bit programs: run by the kernel, or by an emulator registered here (scripts/i386.sh).
bash scripts/i386.sh enable
