#!/usr/bin/env bash
# Whether this machine runs the 32-bit (i386) programs the project builds, and making it run them
# where the kernel cannot (IA-32 emulation switched off): Debian's qemu-user-static registered in
# binfmt_misc under the project's own entry. setup.sh enables; test.sh and demo.sh ask the mode.
#   scripts/i386.sh mode      prints native (the kernel runs them), emulated (binfmt_misc hands
#                             them to an emulator) or none (they cannot run here)
#   scripts/i386.sh enable    registers the emulator where the kernel refuses i386 programs, or
#                             everywhere with VXINS_EMULATE_I386=1; says in one line what it did
#   scripts/i386.sh release   removes the project's entry again where the kernel runs i386
#                             programs itself (the trap of a run that set VXINS_EMULATE_I386=1),
#                             unless another run that registered it still goes on
# VXINS_I386_MODE=none makes any machine count as one where i386 programs cannot run, so that the
# scripts' native-only path can be tried anywhere.
set -euo pipefail

entry=qrvlvxins-i386
binfmt=/proc/sys/fs/binfmt_misc
# The process id of the run that registered the entry with VXINS_EMULATE_I386=1 (its
# VXINS_I386_OWNER): once that process is gone, the entry is a leftover any later setup removes.
owner_file=/run/qrvlvxins-i386.owner
qemu=/usr/bin/qemu-i386-static
# i386 ELF executables and position-independent ones (e_type 2 and 3), any OS/ABI byte.
magic='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

# The machine a tiny i386 program sees: x86_64 when the kernel runs it, i686 under the emulator,
# nothing when it cannot run. Built once per call of this script.
probe_dir=''
probe() {
  if [ -z "$probe_dir" ]; then
    probe_dir=$(mktemp -d "${TMPDIR:-/tmp}/vxins-i386-XXXXXX")
    trap 'rm -rf "$probe_dir"' EXIT
    printf '%s\n' '#include <stdio.h>' '#include <sys/utsname.h>' \
      'int main(void) { struct utsname u; if (uname(&u) != 0) return 1; puts(u.machine); return 0; }' \
      >"$probe_dir/probe.c"
    if ! gcc -m32 -o "$probe_dir/probe" "$probe_dir/probe.c" 2>"$probe_dir/gcc.log"; then
      echo "i386: cannot build a 32-bit program (gcc -m32): $(head -n 1 "$probe_dir/gcc.log")" >&2
      exit 1
    fi
  fi
  "$probe_dir/probe" 2>/dev/null || true
}

# The enabled binfmt_misc entries that take i386 ELF programs, one "name interpreter" per line.
i386_entries() {
  [ -r "$binfmt/status" ] || return 0
  local f
  for f in "$binfmt"/*; do
    case ${f##*/} in register|status) continue ;; esac
    [ "$(head -n 1 "$f" 2>/dev/null)" = enabled ] || continue
    local m
    m=$(sed -n 's/^magic //p' "$f")
    # ELF, 32-bit, little-endian; e_machine (bytes 18-19) 3 = i386.
    if [ "${m:0:12}" = 7f454c460101 ] && [ "${m:36:4}" = 0300 ]; then
      echo "${f##*/} $(sed -n 's/^interpreter //p' "$f")"
    fi
  done
}

mode() {
  if [ "${VXINS_I386_MODE:-}" = none ]; then echo none; return; fi
  case "$(probe)" in
    x86_64) echo native ;;
    i?86)
      # A caller under linux32's personality sees i686 too; it is emulated only through an entry.
      if [ -n "$(i386_entries)" ]; then echo emulated; else echo native; fi ;;
    *) echo none ;;
  esac
}

# One line on why the emulator could not be registered; the scripts then use the native build.
cannot() {
  echo "setup: i386 programs cannot run here and the emulator cannot be registered ($1):" \
       "the demo and tests use the native x86-64 build"
  # Asked for explicitly, the emulation is a failure when it cannot be had.
  [ "${VXINS_EMULATE_I386:-0}" = 1 ] && exit 1
  exit 0
}

enable() {
  local switch=${VXINS_EMULATE_I386:-0} now others
  if [ "${VXINS_I386_MODE:-}" = none ]; then
    echo "setup: VXINS_I386_MODE=none: taken as a machine that cannot run i386 programs;" \
         "the demo and tests use the native x86-64 build"
    return
  fi
  # An entry a switched run left behind (killed before its trap) goes where the kernel can do
  # without it; one a live run registered stays, and this run is emulated too.
  [ "$switch" = 1 ] || release
  now=$(mode)
  others=$(i386_entries | awk -v own="$entry" '$1 != own')
  if [ "$now" = native ] && [ "$switch" != 1 ]; then
    echo "setup: this kernel runs i386 programs itself"
    return
  fi
  if [ "$now" = emulated ]; then
    if [ -n "$others" ]; then
      echo "setup: i386 programs run under binfmt_misc entry $others, registered by someone else" \
           "(left as it is)"
    else
      echo "setup: i386 programs run under $qemu (binfmt_misc entry $entry, already registered)"
    fi
    return
  fi
  if [ -n "$others" ]; then
    # An entry that does not work, or (with the switch) one we must not shadow.
    echo "setup: binfmt_misc entry $others already takes i386 programs; not registering $entry" >&2
    exit 1
  fi
  [ "$(id -u)" = 0 ] || cannot "not root"
  if [ ! -x "$qemu" ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
      qemu-user-static >/dev/null || cannot "qemu-user-static could not be installed"
  fi
  if [ ! -w "$binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || cannot "binfmt_misc cannot be mounted"
    [ -w "$binfmt/register" ] || cannot "binfmt_misc is read-only"
  fi
  # F: the interpreter is opened now, so that it is found from any mount namespace or chroot;
  # P: the program keeps its own argv[0].
  printf ':%s:M::%s:%s:%s:PF' "$entry" "$magic" "$mask" "$qemu" >"$binfmt/register" ||
    cannot "the kernel refused the registration"
  if [ "$(mode)" != emulated ]; then
    echo -1 >"$binfmt/$entry"
    cannot "a 32-bit program still does not run under $qemu"
  fi
  if [ "$switch" = 1 ] && [ "$now" = native ]; then
    printf '%s\n' "${VXINS_I386_OWNER:-}" >"$owner_file"
    echo "setup: VXINS_EMULATE_I386=1: i386 programs now run under $qemu although this kernel" \
         "runs them itself (binfmt_misc entry $entry; the run that asked removes it)"
  else
    echo "setup: this kernel cannot run i386 programs; registered $qemu as binfmt_misc entry" \
         "$entry, kept until reboot (echo -1 > $binfmt/$entry removes it)"
  fi
}

release() {
  [ -e "$binfmt/$entry" ] || return 0
  local owner
  owner=$(cat "$owner_file" 2>/dev/null || true)
  # Another run that registered it is still going: its trap removes it.
  if [ -n "$owner" ] && [ "$owner" != "${VXINS_I386_OWNER:-}" ] && kill -0 "$owner" 2>/dev/null
  then
    echo "i386: binfmt_misc entry $entry kept: run $owner, which registered it, still goes on"
    return 0
  fi
  echo 0 >"$binfmt/$entry"
  if [ "$(probe)" = x86_64 ]; then
    echo -1 >"$binfmt/$entry"
    rm -f "$owner_file"
    echo "i386: removed binfmt_misc entry $entry: this kernel runs i386 programs itself"
  else
    echo 1 >"$binfmt/$entry"  # this kernel needs it
  fi
}

case "${1:-}" in
  mode) mode ;;
  enable) enable ;;
  release) release ;;
  *) echo "usage: scripts/i386.sh mode|enable|release" >&2; exit 2 ;;
esac
