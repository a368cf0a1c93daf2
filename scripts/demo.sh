#!/usr/bin/env bash
# One command from a fresh clone (as root): set up, build, then a whole update run of the
# plug-in against the agent simulator's built-in machine, driven by vxins-host as the host
# framework would drive it: discovery, the operator skipping one adapter, the flash with what it
# did to each adapter, a second discovery that sees the new versions, and the run history.
# Everything the run creates lies in one temporary folder, named at the end (its history too).
# VXINS_BUILD_DIR chooses the build folder (default build, or build-native on a machine that
# cannot run i386 programs).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

if [ -t 1 ]; then bold=$'\033[1m' plain=$'\033[0m'; else bold='' plain=''; fi
say() { printf '\n%s== %s%s\n' "$bold" "$*" "$plain"; }

say "Setting up and building (scripts/setup.sh, cmake)"
# With VXINS_EMULATE_I386=1 setup registers the emulator for this run only.
export VXINS_I386_OWNER=$$
[ "${VXINS_EMULATE_I386:-0}" = 1 ] && trap 'bash scripts/i386.sh release' EXIT
bash scripts/setup.sh
. scripts/builds.sh
arch=i386
case "$(bash scripts/i386.sh mode)" in
  emulated) echo "demo: the 32-bit programs run under a user-mode emulator registered in" \
                 "binfmt_misc (setup's line above says which and why)" ;;
  none) arch=native
        echo "demo: this machine cannot run the 32-bit plug-in: the demo runs the native x86-64" \
             "build of the same sources" ;;
esac
build=${VXINS_BUILD_DIR:-$(build_dir "$arch")}
native_option=()
[ "$arch" = native ] && native_option=(-DVXINS_NATIVE=ON)
cmake -S . -B "$build" "${native_option[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
host="$repo/$build/tools/vxins-host/vxins-host"
sim="$repo/$build/sim"

demo=$(mktemp -d "${TMPDIR:-/tmp}/vxins-demo-XXXXXX")
# The simulator's built-in machine; what it flashes is remembered in the demo folder.
unset DZNAJ_SIM_INVENTORY
export DZNAJ_SIM_STATE="$demo/sim-state.json"
export DZNAJ_SIM_JOURNAL="$demo/sim-journal.jsonl"
# The demo's runs go to a history of their own, not the machine's, and the reboot its flash
# leaves pending to a marker of its own.
export VXINS_HISTORY_DB="$demo/history.db"
export VXINS_REBOOT_MARKER="$demo/reboot-pending"

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

# The operator keeps the adapter the package would downgrade: all its functions are skipped at
# once by its PCI bus and device (the plug-in flashes an adapter unless all of them are skipped).
mapfile -t skip < <("$host" --json show "$disc" | python3 -c '
import json, sys
seen = []
for d in json.load(sys.stdin)["devices"]:
    if d["action"] == "Downgrade" and d["adapter"] not in seen:
        seen.append(d["adapter"])
print("\n".join(seen))')
if [ -z "${skip[0]:-}" ]; then
  echo "demo: no adapter to skip: the built-in machine is not what this demo expects" >&2
  exit 1
fi
say "The operator sets the adapter that would be downgraded (${skip[*]}) to Skip"
cp "$disc" "$demo/discovery-as-proposed.xml"
adapters=()
for a in "${skip[@]}"; do adapters+=(--adapter "$a"); done
"$host" set-action "$disc" Skip "${adapters[@]}"

say "Flash: what this call did to each adapter, from its own trace"
: >"$DZNAJ_SIM_JOURNAL"
"$host" --agent "$sim" flash "$disc" "$demo/firmware/qrvl_boot_3100.tar"
cp "$disc" "$demo/discovery-after-flash.xml"

say "Cross-check: what the agent was asked to flash (the simulator's journal)"
python3 - "$DZNAJ_SIM_JOURNAL" <<'EOF'
import json, sys
calls = [json.loads(l) for l in open(sys.argv[1]) if l.strip()]
flashes = [c for c in calls if c.get("symbol") == "hba_flashUpgrade"]
for c in flashes:
    print(f"  adapter {c['wwn']}: package {c['file']} -> result {c['result']}")
print(f"  {len(flashes)} flash operation(s); the skipped adapter is not among them")
EOF

say "Discovery again: the flashed adapters now run 3.1.0.0 (Rewrite), the skipped one does not"
"$host" --agent "$sim" --quiet discover "$disc" "$demo/firmware"

say "The history of these runs (vxins-host history show ID --log: one run with its trace)"
"$host" history

say "Done"
cat <<EOF
Everything this run created is in $demo:
  firmware/qrvl_boot_3100.tar      the package
  discovery-as-proposed.xml        the first discovery's file
  discovery-after-flash.xml        the file the flash call rewrote
  discovery.xml                    the second discovery's file
  history.db                       the runs' history: VXINS_HISTORY_DB=$demo/history.db
                                   $host history
  reboot-pending                   the flash's run, pending a reboot (VXINS_REBOOT_MARKER)
  sim-journal.jsonl, sim-state.json  the simulator's journal and flashed versions
The plug-in's trace of its last call is /var/log/libqrvlvxins.log (a fixed path).
Remove the folder with: rm -rf $demo
EOF
