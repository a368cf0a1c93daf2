#!/usr/bin/env bash
# Fails when the plug-in exports anything but the allow-list, or carries an rpath/runpath.
set -euo pipefail
lib=$1
allow=$2
actual=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TtWwDdBbRrVvi]$/ {print $3}' | sed 's/@.*//' | sort -u)
expected=$(sort -u "$allow")
if [ "$actual" != "$expected" ]; then
  echo "check-exports: $lib exports differ from $allow" >&2
  diff <(echo "$expected") <(echo "$actual") >&2 || true
  exit 1
fi
if readelf -d "$lib" | grep -E 'RPATH|RUNPATH' >&2; then
  echo "check-exports: $lib carries an rpath/runpath" >&2
  exit 1
fi
echo "check-exports: $(basename "$lib"): exactly $(echo "$actual" | wc -l) allowed exports, no RPATH/RUNPATH"
