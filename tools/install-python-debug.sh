#!/usr/bin/env bash
# Install Debian unstable's debug build of CPython 3.X (Py_DEBUG, sys.gettotalrefcount(),
# assertions inside the C API) into the private toolchain and print its path on the last line.
#
# Usage: tools/install-python-debug.sh [--version 3.X] [--force] [-h|--help]
#
#   --version  the CPython version (default: $QM_PYVER, else 3.14)
#   --force    reinstall even if the cached copy works
#
# The debug interpreter shares everything but its binary, its debug-ABI stdlib modules and its
# build configuration with the release one, so it is made from the private release prefix:
#   - tools/install-python.sh --private makes (or reuses) $QM_TOOLCHAIN/python3.X;
#   - python3.X-dbg and libpython3.X-dbg of exactly that prefix's version (read from its
#     stamp) are downloaded with the same private apt configuration;
#   - a copy of the release prefix becomes $QM_TOOLCHAIN/python3.X-dbg, the two packages are
#     unpacked over it (without their detached debug symbols), and python3.Xd is relocated
#     the way the release interpreter is (tools/toolchain-lib.sh).
# If the mirror no longer has the release prefix's version, this fails and says so: refresh
# the release prefix first (tools/install-python.sh --force).
#
# Environment: QM_PYVER, QM_TOOLCHAIN, QM_DEBIAN_MIRROR, QM_DEBIAN_SUITE, QM_REFRESH_KEYRING as
# for tools/install-python.sh.
set -euo pipefail

RECIPE=3   # bump whenever the steps below change: invalidates existing caches

SCRIPT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd -P)
REPO=$(cd "$SCRIPT_DIR/.." && pwd -P)

log() { printf 'install-python-debug: %s\n' "$*" >&2; }
die() { printf 'install-python-debug: error: %s\n' "$*" >&2; exit 1; }

# shellcheck source=tools/toolchain-lib.sh
source "$SCRIPT_DIR/toolchain-lib.sh"

FORCE=0
WANTED_PYVER=
while (($#)); do
    case "$1" in
        --version) WANTED_PYVER=${2:-}; shift ;;
        --force) FORCE=1 ;;
        -h | --help) sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "${BASH_SOURCE[0]}"; exit 0 ;;
        *) die "unknown argument: $1" ;;
    esac
    shift
done
select_pyver "$WANTED_PYVER"
DEBUG_PACKAGES=(python$PYVER-dbg libpython$PYVER-dbg)

"$SCRIPT_DIR/install-python.sh" --version "$PYVER" --private >/dev/null || die "the release prefix could not be installed"

TOOLCHAIN=${QM_TOOLCHAIN:-$REPO/.toolchain}
TOOLCHAIN=$(cd "$TOOLCHAIN" && pwd -P)
RELEASE_ROOT=$TOOLCHAIN/python$PYVER
ROOT=$TOOLCHAIN/python$PYVER-dbg
PY=$ROOT/usr/bin/python${PYVER}d
STAMP=$ROOT/.qm-installed
APTDIR=$TOOLCHAIN/apt
DEBDIR=$TOOLCHAIN/debs/python$PYVER-dbg

# The release prefix's stamp lists the packages it was made from, with their versions.
VERSION=$(awk -v pkg="python$PYVER" '$1 == pkg { print $2 }' "$RELEASE_ROOT/.qm-installed")
[[ -n $VERSION ]] || die "$RELEASE_ROOT/.qm-installed names no python$PYVER package"
STAMP_KEY="recipe=$RECIPE root=$ROOT version=$VERSION release=$(head -n 2 "$RELEASE_ROOT/.qm-installed" | tr '\n' ' ')"

quick_check() {
    [[ -x $PY ]] && "$PY" -c '
import importlib.machinery, sys
assert "%d.%d" % sys.version_info[:2] == sys.argv[1], sys.version
assert sys.abiflags == "d" and hasattr(sys, "gettotalrefcount")
assert f".cpython-{sys.argv[2]}-x86_64-linux-gnu.so" in importlib.machinery.EXTENSION_SUFFIXES
import ssl, sqlite3, ctypes, lzma, bz2, zlib, readline, decimal, venv
' "$PYVER" "$PYTAG" >/dev/null 2>&1
}

cached_ok() {
    ((!FORCE)) && [[ -f $STAMP ]] && [[ $(head -n 1 "$STAMP") == "$STAMP_KEY" ]] && quick_check
}

finish() {
    log "using $PY ($("$PY" -c 'import sys; print(sys.version.split()[0], sys.abiflags)'))"
    printf '%s\n' "$PY"
    exit 0
}

if cached_ok; then
    finish
fi
exec 9>"$TOOLCHAIN/.lock-dbg"
flock -w 1800 9 || die "timed out waiting for the lock on $TOOLCHAIN/.lock-dbg"
if cached_ok; then
    finish
fi

START=$SECONDS
log "installing the debug build of CPython $VERSION into $ROOT"
init_extra_apt_opts
update_private_apt

pinned=()
for pkg in "${DEBUG_PACKAGES[@]}"; do
    pinned+=("$pkg=$VERSION")
done
rm -rf "$DEBDIR.tmp"
apt_download "$DEBDIR.tmp" "${pinned[@]}" \
    || die "could not download ${pinned[*]}: if $SUITE has moved past $VERSION, refresh the release prefix first (tools/install-python.sh --force)"
rm -rf "$DEBDIR"
mv "$DEBDIR.tmp" "$DEBDIR"

rm -rf "$ROOT"
cp -a "$RELEASE_ROOT" "$ROOT"
rm -f "$STAMP"
for deb in "$DEBDIR"/*.deb; do
    dpkg-deb -x "$deb" "$ROOT"
done
rm -rf "$ROOT/usr/lib/debug"   # detached symbols for gdb, ~100 MB we never read

REAL_PY=$(readlink -f "$PY")
[[ -f $REAL_PY ]] || die "$PY missing after unpacking"
patch_python_binary "$REAL_PY" "$(ls "$DEBDIR"/python${PYVER}-dbg_*.deb)" "$ROOT"
# include/python3.Xd is a wrapper pyconfig.h plus symlinks to the release headers. g++
# canonicalises system headers' paths, so "pyconfig.h" next to a symlinked Python.h would be
# the release one (no Py_DEBUG); and CMake's FindPython reads the ABI flags off pyconfig.h. So
# the directory becomes real copies, with the arch-specific debug pyconfig.h itself.
INCDIR=$ROOT/usr/include/python${PYVER}d
cp -rL "$INCDIR" "$INCDIR.tmp"
cp -L "$ROOT/usr/include/$MULTIARCH/python${PYVER}d/pyconfig.h" "$INCDIR.tmp/pyconfig.h"
rm -rf "$INCDIR"
mv "$INCDIR.tmp" "$INCDIR"
grep -q '^#define Py_DEBUG 1' "$INCDIR/pyconfig.h" || die "$INCDIR/pyconfig.h does not define Py_DEBUG"
relocate_build_config "$REAL_PY" "$ROOT" "$RELEASE_ROOT"

quick_check || die "the debug interpreter fails its basic check: $("$PY" -c 'import ssl' 2>&1 | tail -n 3)"
"$SCRIPT_DIR/check-python.sh" --version "$PYVER" "$PY" >&2 || die "the debug interpreter fails tools/check-python.sh"
{
    printf '%s\n' "$STAMP_KEY"
    printf 'installed %s from %s %s: %s\n' "$(date -u +%Y-%m-%dT%H:%M:%SZ)" "$MIRROR" "$SUITE" "${pinned[*]}"
} >"$STAMP"
log "installed the debug build in $((SECONDS - START)) s"
finish
