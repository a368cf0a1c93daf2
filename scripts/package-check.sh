#!/usr/bin/env bash
# Stage: the Debian package installs on this machine's architecture. Builds the .deb from the
# 32-bit build (build/; CPack first builds in it whatever build-test.sh has not built yet) and
# lets apt plan its install, Recommends included, as an operator's apt-get install ./....deb
# does, without installing anything: fails when apt cannot resolve it with this machine's own
# packages, or would remove one to do so. Needs i386 as a foreign architecture and the package
# lists (scripts/setup.sh); runs no i386 program.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/builds.sh
dir=$(build_dir i386)
arch=$(dpkg --print-architecture)
stage_say "the Debian package from $dir/, its install on $arch planned by apt"
configure i386
deb=$(make_package "$dir")
if ! plan=$(apt-get install --simulate --reinstall -o APT::Install-Recommends=true "./$deb" \
             2>&1); then
  printf '%s\n' "$plan" >&2
  stage_say "FAILED: apt cannot install ${deb##*/} on $arch"
  exit 1
fi
removed=$(grep '^Remv ' <<<"$plan" || true)
if [ -n "$removed" ]; then
  printf '%s\n' "$removed" >&2
  stage_say "FAILED: installing ${deb##*/} on $arch would remove the packages above"
  exit 1
fi
grep -q '^Inst qrvlvxins:i386 ' <<<"$plan" || {
  printf '%s\n' "$plan" >&2
  stage_say "FAILED: apt's plan does not install qrvlvxins"
  exit 1
}
stage_say "apt would install ${deb##*/} on $arch with $(grep -c '^Inst ' <<<"$plan") package(s)," \
  "removing none ($(stage_seconds) s)"
