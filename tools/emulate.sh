#!/usr/bin/env bash
# Run a command that starts programs of another architecture (aarch64) on this x86-64 machine,
# through qemu-user, as if they were native: child processes too (`python -m venv`, pip's build
# steps, tests that start sys.executable).
#
# Usage: tools/emulate.sh --arch aarch64 (--root <root> | --python <python>) <command> [args...]
#   --root    the unpacked interpreter tree of that architecture (tools/install-python.sh --arch
#             prints its python, <root>/usr/bin/python3.X): qemu takes the ELF interpreter
#             (/lib/ld-linux-aarch64.so.1), the C library and everything else a program of that
#             architecture opens by an absolute path (Mesa's drivers, ...) from there first;
#   --python  that interpreter, or a venv's python made with it: its tree is the root.
#
# The command runs in a private user and mount namespace with its own binfmt_misc instance, in
# which qemu-<arch> is registered for the architecture's ELF programs; nothing changes outside
# it (binfmt_misc need not be mounted on the machine). Inside an emulated command, the command
# runs as it is. QEMU_CPU defaults to max,pauth=off: Debian's aarch64 binaries carry thousands
# of pointer-authentication instructions, which qemu's default processor emulates very slowly.
set -euo pipefail

die() { printf 'emulate: error: %s\n' "$*" >&2; exit 1; }

ARCH=
ROOT=
while (($#)); do
    case "$1" in
        --arch) ARCH=${2:-}; shift 2 ;;
        --root) ROOT=${2:-}; shift 2 ;;
        --python)
            # <root>/usr/bin/python3.X, wherever the venv's links lead.
            ROOT=$(readlink -f "${2:-}") || die "no interpreter at '${2:-}'"
            ROOT=$(dirname "$(dirname "$(dirname "$ROOT")")")
            shift 2
            ;;
        *) break ;;
    esac
done
(($#)) || die "usage: $0 --arch aarch64 (--root <root> | --python <python>) <command> [args...]"
[[ -d $ROOT ]] || die "no interpreter tree at '$ROOT' (tools/install-python.sh --arch $ARCH)"

# The ELF magic and machine of each architecture (ELF64, little-endian, executable or shared
# object), in binfmt_misc's notation.
case "$ARCH" in
    aarch64)
        MAGIC='\x7fELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\xb7\x00'
        MASK='\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
        export QEMU_CPU=${QEMU_CPU:-max,pauth=off}
        ;;
    *) die "unsupported architecture '$ARCH' (aarch64)" ;;
esac
QEMU=$(command -v "qemu-$ARCH") || die "qemu-$ARCH not found: run tools/install-system-deps.sh"
export QEMU_LD_PREFIX
QEMU_LD_PREFIX=$(cd "$ROOT" && pwd -P)

if [[ -e /proc/sys/fs/binfmt_misc/qm-$ARCH ]]; then
    exec "$@"   # already inside an emulating namespace
fi
if [[ ${QM_EMULATE_NAMESPACE:-} != "$ARCH" ]]; then
    export QM_EMULATE_NAMESPACE=$ARCH
    exec unshare --user --map-root-user --mount -- bash "${BASH_SOURCE[0]}" --arch "$ARCH" \
        --root "$ROOT" "$@"
fi
mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc \
    || die "cannot mount binfmt_misc in a user namespace (Linux 6.7 or later needed)"
# F: qemu is opened now, so the registration works whatever the command's mounts later are.
printf ':qm-%s:M::%s:%s:%s:F' "$ARCH" "$MAGIC" "$MASK" "$QEMU" >/proc/sys/fs/binfmt_misc/register
exec "$@"
