#!/usr/bin/env bash
# Run a Windows x64 program (the official Windows CPython, a venv's python.exe) under Wine on
# this Linux machine, headless and apart from everything else on it.
#
# Usage: tools/wine.sh [--prefix <dir>] <program.exe> [args...]
#   --prefix  the Wine prefix (default: $QM_WINE_PREFIX, else <repo>/.toolchain/wine): made on
#             first use by `wineboot --init`
#
# The program runs in a private user and mount namespace in which /dev is read-only (an
# emulator running as root must not touch the machine's device files). Debian's wineserver keeps
# its socket in a folder below TMPDIR: here <prefix>.tmp, so that each prefix has its own server
# and nothing of Wine's lands in the machine's temporary folder, where other users' and other
# checkouts' servers would meet it. Wine's debug output, its desktop integration (menus, file
# associations) and the .NET and HTML engines it would offer to install are off. Standard output
# and error reach the program through pipes: Wine gives a Windows process an invalid handle for
# a redirected regular file, and the interpreter then fails at start-up. The exit status is the
# program's.
set -euo pipefail

SCRIPT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd -P)
REPO=$(cd "$SCRIPT_DIR/.." && pwd -P)

die() { printf 'wine: error: %s\n' "$*" >&2; exit 1; }

PREFIX=${QM_WINE_PREFIX:-$REPO/.toolchain/wine}
if [[ ${1:-} == --prefix ]]; then
    PREFIX=${2:-}
    shift 2
fi
(($#)) || die "usage: $0 [--prefix <dir>] <program.exe> [args...]"
command -v wine >/dev/null || die "wine not found: run tools/install-system-deps.sh --arch win_amd64"

export WINEPREFIX=$PREFIX WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"

if [[ ${QM_WINE_NAMESPACE:-} != 1 ]]; then
    export QM_WINE_NAMESPACE=1
    exec unshare --user --map-root-user --mount -- bash "${BASH_SOURCE[0]}" --prefix "$PREFIX" "$@"
fi

# Inside the namespace: /dev read-only (its device nodes still open for writing).
mount --rbind /dev /dev
mount -o remount,bind,ro /dev
export TMPDIR=$PREFIX.tmp
mkdir -p -m 700 "$TMPDIR"

if [[ ! -f $PREFIX/system.reg ]]; then
    mkdir -p "$PREFIX"
    exec 9>"$PREFIX/.lock"
    flock 9
    if [[ ! -f $PREFIX/system.reg ]]; then
        wineboot --init >/dev/null 2>&1 || die "wineboot --init failed for $PREFIX"
        wineserver -w
        # Wine's own DLLs load zlib1.dll, which wineboot takes from Debian's MinGW zlib.
        [[ -f $PREFIX/drive_c/windows/system32/zlib1.dll ]] \
            || die "no zlib1.dll in $PREFIX: install libz-mingw-w64 and remove the prefix"
    fi
    exec 9>&-
fi

status=0
wine "$@" > >(cat) 2> >(cat >&2) || status=$?
wait
exit "$status"
