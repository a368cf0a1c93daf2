#!/usr/bin/env bash
# One command from a fresh clone (as root): set up, build, then a whole update run of the
# plug-in against the agent simulator's built-in machine, driven by vxins-host as the host
# framework would drive it: discovery, the operator skipping one adapter, the flash, and a
# second discovery that sees the new versions. Everything the run creates lies in one
# temporary folder, named at the end. VXINS_BUILD_DIR chooses the build folder (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
build=${VXINS_BUILD_DIR:-build}

if [ -t 1 ]; then bold=$'\033[1m' plain=$'\033[0m'; else bold='' plain=''; fi
say() { printf '\n%s== %s%s\n' "$bold" "$*" "$plain"; }

say "Setting up and building (scripts/setup.sh, cmake)"
bash scripts/setup.sh
cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
host="$repo/$build/tools/vxins-host/vxins-host"
sim="$repo/$build/sim"

demo=$(mktemp -d "${TMPDIR:-/tmp}/vxins-demo-XXXXXX")
# The simulator's built-in machine; what it flashes is remembered in the demo folder.
unset DZNAJ_SIM_INVENTORY
export DZNAJ_SIM_STATE="$demo/sim-state.json"
export DZNAJ_SIM_JOURNAL="$demo/sim-journal.jsonl"

say "Making the firmware package (a ustar archive, as the vendor ships it)"
mkdir -p "$demo/package/fw" "$demo/firmware"
printf '<version>3.1.0.0</version>\n' >"$demo/package/fw/boot.txt"
# First member the folder, second the text that names the version.
tar --format=ustar --no-recursion -C "$demo/package" -cf "$demo/firmware/qrvl_boot_3100.tar" \
  fw fw/boot.txt
tar -tvf "$demo/firmware/qrvl_boot_3100.tar"

disc="$demo/discovery.xml"
say "Discovery: what the plug-in proposes for each adapter function"
"$host" --agent "$sim" discover "$disc" "$demo/firmware"

# The operator keeps the adapter the package would downgrade: every function of it is skipped,
# since the plug-in flashes an adapter as soon as one of its functions is not skipped.
mapfile -t skip < <("$host" show "$disc" |
  awk '$1 ~ /^(Eth|FC|FCoE)$/ && $(NF-1) == "Downgrade" { print $2 }')
if [ ${#skip[@]} -eq 0 ]; then
  echo "demo: no adapter to skip: the built-in machine is not what this demo expects" >&2
  exit 1
fi
say "The operator sets the adapter that would be downgraded to Skip"
cp "$disc" "$demo/discovery-as-proposed.xml"
"$host" set-action "$disc" Skip "${skip[@]}"

say "Flash: the plug-in reads the edited file back and flashes the other adapters"
: >"$DZNAJ_SIM_JOURNAL"
"$host" --agent "$sim" flash "$disc" "$demo/firmware/qrvl_boot_3100.tar"
cp "$disc" "$demo/discovery-after-flash.xml"
cat <<'EOF'
(The plug-in rewrites the file from a fresh enumeration with one action status for the
whole pass, and the active version of the file's first device, on every device; the
journal and the next discovery below show what each adapter really got.)
EOF

say "What the agent was asked to flash (from the simulator's journal)"
python3 - "$DZNAJ_SIM_JOURNAL" <<'EOF'
import json, sys
calls = [json.loads(l) for l in open(sys.argv[1]) if l.strip()]
flashes = [c for c in calls if c.get("symbol") == "hba_flashUpgrade"]
for c in flashes:
    print(f"  adapter {c['wwn']}: package {c['file']} -> result {c['result']}")
print(f"  {len(flashes)} flash operation(s); the skipped adapter is not among them")
EOF

say "The rewritten discovery file, first device as written"
sed -n '/<device>/,/<\/device>/p;/<\/device>/q' "$disc"

say "Discovery again: the flashed adapters now run 3.1.0.0 (Rewrite), the skipped one does not"
"$host" --agent "$sim" discover "$disc" "$demo/firmware"

say "Done"
cat <<EOF
Everything this run created is in $demo:
  firmware/qrvl_boot_3100.tar      the package
  discovery-as-proposed.xml        the first discovery's file
  discovery-after-flash.xml        the file the flash call rewrote
  discovery.xml                    the second discovery's file
  sim-journal.jsonl, sim-state.json  the simulator's journal and flashed versions
The plug-in's trace of its last call is /var/log/libqrvlvxins.log (a fixed path).
Remove the folder with: rm -rf $demo
EOF
