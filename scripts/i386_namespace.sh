#!/usr/bin/env bash
# Runs a command where i386 programs start although the kernel runs none: in a user and mount
# namespace of its own, whose own binfmt_misc hands i386 ELF programs to qemu-i386. Nothing
# outside changes; the registration goes with the namespace. binfmt_misc per user namespace
# needs Linux 6.7 or later. Install packages before: inside, root is only a mapped user.
# The command always runs; MARLIN_I386_NAMESPACE tells it "qemu-i386" when the namespace is set
# up, else why not.
#
#   bash scripts/i386_namespace.sh COMMAND [ARGS...]
set -uo pipefail

if [ "${1:-}" = --inside ]; then
  shift
  qemu=$1
  shift
  binfmt=/proc/sys/fs/binfmt_misc
  # i386 executables and shared objects (e_type 2 or 3), as Debian's qemu-user-binfmt matches
  # them. F: the interpreter is opened now, so it serves every mount namespace below this one.
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  if ! why=$(mount -t binfmt_misc binfmt_misc "$binfmt" 2>&1); then
    MARLIN_I386_NAMESPACE="no binfmt_misc of its own in a user namespace (Linux 6.7 or later): $why"
  elif ! why=$(printf '%s' ":qemu-i386:M::$magic:$mask:$qemu:F" 2>&1 >"$binfmt/register"); then
    MARLIN_I386_NAMESPACE="qemu-i386 was not registered for i386 programs: $why"
  else
    MARLIN_I386_NAMESPACE="qemu-i386"
  fi
  export MARLIN_I386_NAMESPACE
  exec "$@"
fi

[ $# -gt 0 ] || { echo "usage: bash scripts/i386_namespace.sh COMMAND [ARGS...]" >&2; exit 2; }
if ! qemu=$(command -v qemu-i386); then
  export MARLIN_I386_NAMESPACE="qemu-i386 is not installed (bash scripts/deps.sh com)"
  exec "$@"
fi
if ! why=$(unshare --user --map-root-user --mount true 2>&1); then
  export MARLIN_I386_NAMESPACE="no user namespace of its own: $why"
  exec "$@"
fi
exec unshare --user --map-root-user --mount --fork bash "$0" --inside "$qemu" "$@"
