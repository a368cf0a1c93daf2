#!/usr/bin/env bash
# Builds the package reader's seed corpus with the real tar tools (binary archives are never kept
# in the repository): GNU tar and bsdtar packages shaped like the test fixtures, plus variants
# around the version member. Records of one block keep each archive a few KiB.
#   fuzz/make-seeds.sh OUT_DIR
set -euo pipefail
out=$1
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# package NAME TOOL VERSION_MEMBER_TEXT [EXTRA_MEMBER_TEXT]
package() {
  local name=$1 tool=$2 text=$3 extra=${4:-}
  local stage="$work/$name"
  mkdir -p "$stage/fw"
  printf '%s' "$text" >"$stage/fw/boot.txt"
  local members=(fw/ fw/boot.txt)
  if [ -n "$extra" ]; then
    printf '%s' "$extra" >"$stage/fw/image.bin"
    members+=(fw/image.bin)
  fi
  case $tool in
    gnu) tar --format=ustar -b 1 --no-recursion -C "$stage" -cf "$out/$name" "${members[@]}" ;;
    bsd) bsdtar --format=ustar -b 1 -C "$stage" -n -cf "$out/$name" "${members[@]}" ;;
  esac
}

package gnu_plain.tar gnu $'<version>3.1.0.0</version>\n'
package bsd_plain.tar bsd $'<version>3.1.0.0</version>\n'
package gnu_no_newline.tar gnu '<version>3.2.0.0_b17</version>'
package gnu_no_close_tag.tar gnu $'<version>3.1.0.0\n'
package gnu_empty_version.tar gnu '<version></version>'
package gnu_with_image.tar gnu $'<boot>\n  <version>4.0.0.1</version>\n</boot>\n' 'BOOTIMAGE'
package bsd_reversed_tags.tar bsd '</version>3.1<version>'

# The version member first: the reader's "boot.txt" branch.
stage="$work/first"
mkdir -p "$stage"
printf '<version>3.0.0.0</version>\n' >"$stage/boot.txt"
printf 'x' >"$stage/second.txt"
tar --format=ustar -b 1 -C "$stage" -cf "$out/gnu_boot_first.tar" boot.txt second.txt

echo "make-seeds: $(ls "$out" | wc -l) packages in $out"
