#!/usr/bin/env bash
# Builds every seed that is made from something else in the repository, one folder per fuzz
# target under OUT_DIR (fuzz/corpus keeps only the seeds that exist nowhere else):
#   package_reader/  packages made with the real tar tools (binary archives are never kept in the
#                    repository): GNU tar and bsdtar packages shaped like the test fixtures, plus
#                    variants around the version member; records of one block keep each a few KiB
#   discovery_file/  the test fixtures' discovery files and golden files, as they are
#   enumeration/     the agent answers of every test and simulator inventory (inventory_to_seed.py)
#   fuzz/make-seeds.sh OUT_DIR
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
root=$1
mkdir -p "$root/package_reader" "$root/discovery_file" "$root/enumeration"
cp "$repo"/tests/fixtures/discovery/*.xml "$repo"/tests/fixtures/golden/*.xml "$root/discovery_file/"
for inventory in "$repo"/tests/fixtures/inventories/*.json "$repo"/sim/inventories/*.json; do
  python3 "$repo/fuzz/inventory_to_seed.py" "$inventory" >"$root/enumeration/$(basename "$inventory")"
done

out=$root/package_reader
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

for t in package_reader discovery_file enumeration; do
  echo "make-seeds: $(ls "$root/$t" | wc -l) seeds in $root/$t"
done
