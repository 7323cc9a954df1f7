#!/usr/bin/env bash
# Make a working CPython 3.X (3.13, 3.14 or 3.15; 3.14 unless asked otherwise) available and
# print its path on the last line of stdout.
#
# Usage: tools/install-python.sh [--version 3.X] [--arch ARCH] [--private] [--force] [--verify]
#                                [-h|--help]
#
# Choice of interpreter, first match wins:
#   1. $PYTHON, if it is a 3.X interpreter;
#   2. python3.X on PATH, if it is a 3.X interpreter;
#   3. a private copy in $QM_TOOLCHAIN/python3.X (default: <repo>/.toolchain/python3.X),
#      installed on first use from Debian unstable's binary packages and reused afterwards.
#      Each version has its own prefix and package folder, so they live side by side.
#
#   --version  the CPython version (default: $QM_PYVER, else 3.14)
#   --arch     the architecture (default: $QM_ARCH, else x86_64). Another one than this
#              machine's (aarch64) is always a private copy, in $QM_TOOLCHAIN/python3.X-<arch>,
#              run under qemu-user (tools/emulate.sh) and never patched: its ELF interpreter
#              (/lib/ld-linux-aarch64.so.1) and libraries are found through qemu's root, the
#              tree itself. It also holds Mesa's software OpenGL and the X client libraries of
#              that architecture, for raylib's window in the real-raylib tests.
#   --private  skip 1 and 2 and always use the private copy
#   --force    reinstall the private copy even if the cached one works
#   --verify   after choosing, run tools/check-python.sh --full on the interpreter
#              (stdlib modules, a C++ extension, a venv with numpy and pytest)
#
# Only the interpreter path goes to stdout; progress and errors go to stderr, so
#   PY=$(tools/install-python.sh | tail -n 1)
# is the intended way to call it.
#
# Environment:
#   QM_PYVER             the CPython version when --version is not given (default 3.14)
#   PYTHON               preferred interpreter (used when it is of that version)
#   QM_TOOLCHAIN         cache directory for the private copy (default <repo>/.toolchain)
#   QM_DEBIAN_MIRROR     Debian mirror (default http://deb.debian.org/debian)
#   QM_DEBIAN_SUITE      suite to take the packages from (default sid)
#   QM_REFRESH_KEYRING=1 fetch a newer archive keyring before using the suite
#                        (done automatically when the system keyring cannot verify it)
#
# How the private copy is built (nothing outside $QM_TOOLCHAIN is changed, apart
# from installing patchelf/ca-certificates from the system's own apt sources):
#   - a private apt configuration (own sources, lists, cache; the system's sources
#     are never touched) downloads python3.X and the libraries it needs, including
#     unstable's glibc, because unstable's python3.X needs a newer glibc than
#     Debian 12 has;
#   - the packages are unpacked with dpkg-deb -x into $QM_TOOLCHAIN/python3.X;
#   - the interpreter binary gets the private ld.so as its ELF interpreter and
#     DT_RPATH $ORIGIN/../lib/x86_64-linux-gnu, so it and every extension module it
#     loads (the stdlib's and ours) resolve libc, libssl, libstdc++, ... inside the
#     private root;
#   - the build configuration (sysconfig data, build-details.json, pyconfig.h) is
#     pointed at the private root so that compilers, CMake's FindPython and
#     scikit-build-core find Python.h there.
set -euo pipefail

RECIPE=1   # bump whenever the steps below change: invalidates existing caches

SCRIPT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd -P)
REPO=$(cd "$SCRIPT_DIR/.." && pwd -P)

log() { printf 'install-python: %s\n' "$*" >&2; }
die() { printf 'install-python: error: %s\n' "$*" >&2; exit 1; }
# shellcheck source=tools/toolchain-lib.sh
source "$SCRIPT_DIR/toolchain-lib.sh"

usage() { sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "${BASH_SOURCE[0]}"; }

PRIVATE_ONLY=0
FORCE=0
VERIFY=0
WANTED_PYVER=
WANTED_ARCH=
while (($#)); do
    case "$1" in
        --version) WANTED_PYVER=${2:-}; shift ;;
        --arch) WANTED_ARCH=${2:-}; shift ;;
        --private) PRIVATE_ONLY=1 ;;
        --force) FORCE=1; PRIVATE_ONLY=1 ;;
        --verify) VERIFY=1 ;;
        -h|--help) usage; exit 0 ;;
        *) usage >&2; die "unknown argument: $1" ;;
    esac
    shift
done
select_pyver "$WANTED_PYVER"
select_arch "$WANTED_ARCH"
FOREIGN=0
if [[ -n $ARCH_SUFFIX ]]; then
    FOREIGN=1
    PRIVATE_ONLY=1
fi

# What the interpreter needs besides itself is taken from the packages' own
# dependencies; these are left out because they only carry tools, C headers of
# other libraries, or configuration that the host system already provides.
TOP_PACKAGES=(python$PYVER python$PYVER-dev libpython$PYVER-dev python$PYVER-venv libstdc++6)
EXCLUDED_PACKAGES=(debconf openssl ca-certificates netbase dpkg perl-base
    libc-dev-bin linux-libc-dev libc6-dev libcrypt-dev rpcsvc-proto
    libexpat1-dev zlib1g-dev)
# Used if dependency resolution fails (for instance during a transition in
# unstable): the set known to give a complete interpreter.
FALLBACK_PACKAGES=(libc6 libbz2-1.0 libcrypt1 libdb5.3t64 libexpat1 libffi8 libgcc-s1
    liblzma5 libncursesw6 libreadline8t64 libsqlite3-0 libssl3t64 libtinfo6 libuuid1
    libzstd1 zlib1g libgdbm6t64 libgdbm-compat4t64 libpython$PYVER libpython$PYVER-dev
    libpython$PYVER-minimal libpython$PYVER-stdlib python$PYVER python$PYVER-dev
    python$PYVER-minimal python$PYVER-venv python3-pip-whl python3-setuptools-whl
    media-types tzdata libstdc++6)
# For another architecture: what raylib's window needs, as tools/install-system-deps.sh installs
# it on the machine itself.
GL_PACKAGES=(libgl1 libglx-mesa0 libgl1-mesa-dri libegl1 libegl-mesa0 libx11-6 libxrandr2
    libxinerama1 libxcursor1 libxi6 libxext6)
if ((FOREIGN)); then
    TOP_PACKAGES+=("${GL_PACKAGES[@]}")
fi

# True if "$1" runs and is CPython $PYVER.
is_wanted_python() {
    "${TARGET_RUN[@]}" "$1" -c 'import sys; sys.exit(sys.implementation.name != "cpython" or "%d.%d" % sys.version_info[:2] != sys.argv[1])' \
        "$PYVER" >/dev/null 2>&1
}

# Print the chosen interpreter (last stdout line) and optionally verify it.
finish() {
    local py=$1
    if ((VERIFY)); then
        "$SCRIPT_DIR/check-python.sh" --full --version "$PYVER" --arch "$ARCH" "$py" >&2 \
            || die "verification of $py failed"
    fi
    log "using $py ($("${TARGET_RUN[@]}" "$py" -c 'import sys; print(sys.version.split()[0])'))"
    if ! "${TARGET_RUN[@]}" "$py" -c 'import os, sys, sysconfig; sys.exit(not os.path.isfile(os.path.join(sysconfig.get_paths()["include"], "Python.h")))' 2>/dev/null; then
        log "warning: $py has no Python.h where sysconfig says; building extensions with it will fail"
    fi
    printf '%s\n' "$py"
    exit 0
}

# ---------------------------------------------------------------------------
# 1 and 2: an interpreter that is already there.
if ((!PRIVATE_ONLY)); then
    if [[ -n ${PYTHON:-} ]]; then
        cand=$(command -v -- "$PYTHON" || true)
        if [[ -n $cand ]] && is_wanted_python "$cand"; then
            finish "$cand"
        fi
        log "PYTHON=$PYTHON is not a working CPython $PYVER interpreter; looking further"
    fi
    cand=$(command -v "python$PYVER" || true)
    if [[ -n $cand ]] && is_wanted_python "$cand"; then
        finish "$cand"
    fi
fi

# ---------------------------------------------------------------------------
# 3: the private copy.
TOOLCHAIN=${QM_TOOLCHAIN:-$REPO/.toolchain}
mkdir -p "$TOOLCHAIN"
TOOLCHAIN=$(cd "$TOOLCHAIN" && pwd -P)
ROOT=$TOOLCHAIN/python$PYVER$ARCH_SUFFIX   # unpacked Debian packages (usr/, etc/)
PY=$ROOT/usr/bin/python$PYVER
STAMP=$ROOT/.qm-installed
APTDIR=$TOOLCHAIN/apt$ARCH_SUFFIX
DEBDIR=$TOOLCHAIN/debs/python$PYVER$ARCH_SUFFIX
STAMP_KEY="recipe=$RECIPE root=$ROOT"
if ((FOREIGN)); then
    TARGET_RUN=(bash "$SCRIPT_DIR/emulate.sh" --arch "$ARCH" --root "$ROOT")
fi

# The modules whose absence would mean a broken unpack or a library that failed
# to load; also catches an interpreter that no longer starts (moved directory).
quick_check() {
    [[ -x $PY ]] && "${TARGET_RUN[@]}" "$PY" -c '
import sys
assert "%d.%d" % sys.version_info[:2] == sys.argv[1], sys.version
import ssl, sqlite3, ctypes, lzma, bz2, zlib, readline, decimal, venv
' "$PYVER" >/dev/null 2>&1
}

cached_ok() {
    ((!FORCE)) && [[ -f $STAMP ]] && [[ $(head -n 1 "$STAMP") == "$STAMP_KEY" ]] && quick_check
}

if cached_ok; then
    finish "$PY"
fi

# Serialise concurrent runs (several engineers / build steps may call this).
exec 9>"$TOOLCHAIN/.lock"
if ! flock -w 1800 9; then
    die "timed out waiting for the lock on $TOOLCHAIN/.lock"
fi
if cached_ok; then   # someone else finished the install while we waited
    finish "$PY"
fi
FORCE=0

START=$SECONDS
log "installing CPython $PYVER from Debian $SUITE into $ROOT"
[[ $(uname -m) == x86_64 ]] || die "only x86_64 is supported (this is $(uname -m))"
if ! command -v apt-get >/dev/null || ! command -v dpkg-deb >/dev/null; then
    die "apt-get and dpkg-deb are required (a Debian-based system)"
fi

# -- host tools --------------------------------------------------------------
need=()
command -v patchelf >/dev/null || need+=(patchelf)
((FOREIGN)) && ! command -v "qemu-$ARCH" >/dev/null && need+=(qemu-user)
# pip and ssl in the private interpreter use the host's CA bundle.
[[ -f /etc/ssl/certs/ca-certificates.crt ]] || need+=(ca-certificates)
host_apt_install "${need[@]}"

# -- private apt configuration --------------------------------------------------
init_extra_apt_opts
update_private_apt

# -- package set ---------------------------------------------------------------
resolve_packages() {
    local sim
    sim=$(apt-get "${APT_OPTS[@]}" -s -q --no-install-recommends install "${TOP_PACKAGES[@]}" 2>/dev/null) \
        || return 1
    awk '$1 == "Inst" {print $2}' <<<"$sim" | sed "s/:$DEB_ARCH\$//" | grep -vxF -f <(printf '%s\n' "${EXCLUDED_PACKAGES[@]}")
}
if pkgs=$(resolve_packages) && [[ -n $pkgs ]]; then
    mapfile -t PACKAGES <<<"$pkgs"
else
    log "dependency resolution in $SUITE failed; using the known package list"
    PACKAGES=("${FALLBACK_PACKAGES[@]}")
fi
log "packages: ${PACKAGES[*]}"

# -- download --------------------------------------------------------------------
rm -rf "$DEBDIR.tmp"
log "downloading ${#PACKAGES[@]} packages"
apt_download "$DEBDIR.tmp" "${PACKAGES[@]}" || die "apt-get download failed"
rm -rf "$DEBDIR"
mv "$DEBDIR.tmp" "$DEBDIR"

# -- unpack ------------------------------------------------------------------------
rm -rf "$ROOT"
mkdir -p "$ROOT"
for deb in "$DEBDIR"/*.deb; do
    dpkg-deb -x "$deb" "$ROOT"
done

REAL_PY=$(readlink -f "$PY")
[[ -f $REAL_PY ]] || die "$PY missing after unpacking"

# -- point the interpreter at the private libraries ------------------------------------
if ((FOREIGN)); then
    # qemu looks up the ELF interpreter, /lib/<ld.so>, under its root: merged /usr.
    [[ -e $ROOT/lib ]] || ln -s usr/lib "$ROOT/lib"
    [[ -f $ROOT/lib/$LDSO ]] || die "the ELF interpreter $LDSO is missing from $ROOT"
else
    patch_python_binary "$REAL_PY" "$(ls "$DEBDIR"/python${PYVER}-minimal_*.deb)" "$ROOT"
fi
link_multiarch_pyconfig "$ROOT/usr/include/python$PYVER"
relocate_build_config "$REAL_PY" "$ROOT"

# -- check and record ---------------------------------------------------------------
quick_check || die "the installed interpreter fails its basic check: $("${TARGET_RUN[@]}" "$PY" -c 'import ssl' 2>&1 | tail -n 3)"
"$SCRIPT_DIR/check-python.sh" --version "$PYVER" --arch "$ARCH" "$PY" >&2 \
    || die "the installed interpreter fails tools/check-python.sh"

{
    printf '%s\n' "$STAMP_KEY"
    printf 'installed %s from %s %s\n' "$(date -u +%Y-%m-%dT%H:%M:%SZ)" "$MIRROR" "$SUITE"
    for deb in "$DEBDIR"/*.deb; do
        # shellcheck disable=SC2016  # dpkg-deb's own ${field} syntax
        dpkg-deb --show --showformat='${Package} ${Version}\n' "$deb"
    done
} >"$STAMP"
log "installed CPython $("${TARGET_RUN[@]}" "$PY" -c 'import sys; print(sys.version.split()[0])') in $((SECONDS - START)) s"
finish "$PY"
