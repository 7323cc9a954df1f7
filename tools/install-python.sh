#!/usr/bin/env bash
# Make a working CPython 3.14 available and print its path on the last line of stdout.
#
# Usage: tools/install-python.sh [--private] [--force] [--verify] [-h|--help]
#
# Choice of interpreter, first match wins:
#   1. $PYTHON, if it is a 3.14 interpreter;
#   2. python3.14 on PATH, if it is a 3.14 interpreter;
#   3. a private copy in $QM_TOOLCHAIN (default: <repo>/.toolchain), installed on
#      first use from Debian unstable's binary packages and reused afterwards.
#
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
#   PYTHON               preferred interpreter (used when it is 3.14)
#   QM_TOOLCHAIN         cache directory for the private copy (default <repo>/.toolchain)
#   QM_DEBIAN_MIRROR     Debian mirror (default http://deb.debian.org/debian)
#   QM_DEBIAN_SUITE      suite to take the packages from (default sid)
#   QM_REFRESH_KEYRING=1 fetch a newer archive keyring before using the suite
#                        (done automatically when the system keyring cannot verify it)
#
# How the private copy is built (nothing outside $QM_TOOLCHAIN is changed, apart
# from installing patchelf/ca-certificates from the system's own apt sources):
#   - a private apt configuration (own sources, lists, cache; the system's sources
#     are never touched) downloads python3.14 and the libraries it needs, including
#     unstable's glibc, because unstable's python3.14 needs a newer glibc than
#     Debian 12 has;
#   - the packages are unpacked with dpkg-deb -x into $QM_TOOLCHAIN/python3.14;
#   - the interpreter binary gets the private ld.so as its ELF interpreter and
#     DT_RPATH $ORIGIN/../lib/x86_64-linux-gnu, so it and every extension module it
#     loads (the stdlib's and ours) resolve libc, libssl, libstdc++, ... inside the
#     private root;
#   - the build configuration (sysconfig data, build-details.json, pyconfig.h) is
#     pointed at the private root so that compilers, CMake's FindPython and
#     scikit-build-core find Python.h there.
set -euo pipefail

PYVER=3.14
RECIPE=1   # bump whenever the steps below change: invalidates existing caches

SCRIPT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd -P)
REPO=$(cd "$SCRIPT_DIR/.." && pwd -P)
MIRROR=${QM_DEBIAN_MIRROR:-http://deb.debian.org/debian}
SUITE=${QM_DEBIAN_SUITE:-sid}
SYSTEM_KEYRING=/usr/share/keyrings/debian-archive-keyring.gpg
MULTIARCH=x86_64-linux-gnu

# What the interpreter needs besides itself is taken from the packages' own
# dependencies; these are left out because they only carry tools, C headers of
# other libraries, or configuration that the host system already provides.
TOP_PACKAGES=(python3.14 python3.14-dev libpython3.14-dev python3.14-venv libstdc++6)
EXCLUDED_PACKAGES=(debconf openssl ca-certificates netbase dpkg perl-base
    libc-dev-bin linux-libc-dev libc6-dev libcrypt-dev rpcsvc-proto
    libexpat1-dev zlib1g-dev)
# Used if dependency resolution fails (for instance during a transition in
# unstable): the set known to give a complete interpreter.
FALLBACK_PACKAGES=(libc6 libbz2-1.0 libcrypt1 libdb5.3t64 libexpat1 libffi8 libgcc-s1
    liblzma5 libncursesw6 libreadline8t64 libsqlite3-0 libssl3t64 libtinfo6 libuuid1
    libzstd1 zlib1g libgdbm6t64 libgdbm-compat4t64 libpython3.14 libpython3.14-dev
    libpython3.14-minimal libpython3.14-stdlib python3.14 python3.14-dev
    python3.14-minimal python3.14-venv python3-pip-whl python3-setuptools-whl
    media-types tzdata libstdc++6)

log() { printf 'install-python: %s\n' "$*" >&2; }
die() { printf 'install-python: error: %s\n' "$*" >&2; exit 1; }

usage() { sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "${BASH_SOURCE[0]}"; }

PRIVATE_ONLY=0
FORCE=0
VERIFY=0
while (($#)); do
    case "$1" in
        --private) PRIVATE_ONLY=1 ;;
        --force) FORCE=1; PRIVATE_ONLY=1 ;;
        --verify) VERIFY=1 ;;
        -h|--help) usage; exit 0 ;;
        *) usage >&2; die "unknown argument: $1" ;;
    esac
    shift
done

# True if "$1" runs and is CPython 3.14.
is_py314() {
    "$1" -c 'import sys; sys.exit(0 if sys.implementation.name == "cpython" and sys.version_info[:2] == (3, 14) else 1)' \
        >/dev/null 2>&1
}

# Print the chosen interpreter (last stdout line) and optionally verify it.
finish() {
    local py=$1
    if ((VERIFY)); then
        "$SCRIPT_DIR/check-python.sh" --full "$py" >&2 || die "verification of $py failed"
    fi
    log "using $py ($("$py" -c 'import sys; print(sys.version.split()[0])'))"
    if ! "$py" -c 'import os, sys, sysconfig; sys.exit(not os.path.isfile(os.path.join(sysconfig.get_paths()["include"], "Python.h")))' 2>/dev/null; then
        log "warning: $py has no Python.h where sysconfig says; building extensions with it will fail"
    fi
    printf '%s\n' "$py"
    exit 0
}

# Retry a command a few times with growing pauses (mirror hiccups in CI).
retry() {
    local attempt=1 max=4
    until "$@"; do
        if ((attempt >= max)); then
            return 1
        fi
        log "attempt $attempt of '$1 ...' failed; retrying in $((attempt * 5)) s"
        sleep $((attempt * 5))
        attempt=$((attempt + 1))
    done
}

# ---------------------------------------------------------------------------
# 1 and 2: an interpreter that is already there.
if ((!PRIVATE_ONLY)); then
    if [[ -n ${PYTHON:-} ]]; then
        cand=$(command -v -- "$PYTHON" || true)
        if [[ -n $cand ]] && is_py314 "$cand"; then
            finish "$cand"
        fi
        log "PYTHON=$PYTHON is not a working CPython $PYVER interpreter; looking further"
    fi
    cand=$(command -v "python$PYVER" || true)
    if [[ -n $cand ]] && is_py314 "$cand"; then
        finish "$cand"
    fi
fi

# ---------------------------------------------------------------------------
# 3: the private copy.
TOOLCHAIN=${QM_TOOLCHAIN:-$REPO/.toolchain}
mkdir -p "$TOOLCHAIN"
TOOLCHAIN=$(cd "$TOOLCHAIN" && pwd -P)
ROOT=$TOOLCHAIN/python$PYVER           # unpacked Debian packages (usr/, etc/)
PY=$ROOT/usr/bin/python$PYVER
STAMP=$ROOT/.qm-installed
APTDIR=$TOOLCHAIN/apt
DEBDIR=$TOOLCHAIN/debs
STAMP_KEY="recipe=$RECIPE root=$ROOT"

# The modules whose absence would mean a broken unpack or a library that failed
# to load; also catches an interpreter that no longer starts (moved directory).
quick_check() {
    [[ -x $PY ]] && "$PY" -c '
import sys
assert sys.version_info[:2] == (3, 14), sys.version
import ssl, sqlite3, ctypes, lzma, bz2, zlib, readline, decimal, venv
' >/dev/null 2>&1
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
host_apt_install() {
    local missing=("$@")
    ((${#missing[@]})) || return 0
    if ((EUID != 0)); then
        die "missing ${missing[*]}; install them (apt-get install ${missing[*]}) or run as root"
    fi
    log "installing ${missing[*]} from the system's apt sources"
    export DEBIAN_FRONTEND=noninteractive
    local opts=(-y -q --no-install-recommends -o DPkg::Lock::Timeout=600)
    if ! apt-get install "${opts[@]}" "${missing[@]}" >&2; then
        retry apt-get update -q -o DPkg::Lock::Timeout=600 >&2 || die "apt-get update failed"
        retry apt-get install "${opts[@]}" "${missing[@]}" >&2 || die "could not install ${missing[*]}"
    fi
}
need=()
command -v patchelf >/dev/null || need+=(patchelf)
# pip and ssl in the private interpreter use the host's CA bundle.
[[ -f /etc/ssl/certs/ca-certificates.crt ]] || need+=(ca-certificates)
host_apt_install "${need[@]}"

# -- private apt configuration --------------------------------------------------
# Options added after probing: running apt's downloads as root where _apt cannot
# reach the directories (e.g. a repository under /root), and accepting an expired
# Release file from a mirror that serves a frozen snapshot (still signature-checked).
EXTRA_APT_OPTS=()
if ((EUID == 0)) && id _apt >/dev/null 2>&1 \
        && ! runuser -u _apt -- test -x "$TOOLCHAIN" >/dev/null 2>&1; then
    EXTRA_APT_OPTS+=(-o APT::Sandbox::User=root)
fi

# $1: directory, $2: suite, $3: keyring; sets APT_OPTS.
setup_private_apt() {
    local dir=$1 suite=$2 keyring=$3
    mkdir -p "$dir/etc/preferences.d" "$dir/etc/trusted.gpg.d" \
        "$dir/state/lists/partial" "$dir/cache/archives/partial"
    printf 'deb [signed-by=%s] %s %s main\n' "$keyring" "$MIRROR" "$suite" >"$dir/etc/sources.list"
    : >"$dir/etc/preferences"
    # apt drops privileges to _apt for downloads; give it the directories it writes.
    if ((EUID == 0)) && id _apt >/dev/null 2>&1; then
        chown _apt "$dir/state/lists/partial" "$dir/cache/archives/partial"
    fi
    APT_OPTS=(
        -o "Dir::Etc::sourcelist=$dir/etc/sources.list"
        -o "Dir::Etc::sourceparts=-"
        -o "Dir::Etc::preferences=$dir/etc/preferences"
        -o "Dir::Etc::preferencesparts=$dir/etc/preferences.d"
        -o "Dir::Etc::trusted=$dir/etc/trusted.gpg"
        -o "Dir::Etc::trustedparts=$dir/etc/trusted.gpg.d"
        -o "Dir::State=$dir/state"
        -o "Dir::State::status=/dev/null"
        -o "Dir::Cache=$dir/cache"
        -o "APT::Architecture=amd64"
        -o "APT::Architectures::=amd64"
        -o "APT::Get::List-Cleanup=true"
        -o "Acquire::Retries=3"
        -o "Acquire::Languages=none"
        "${EXTRA_APT_OPTS[@]}"
    )
}

# Returns 0 on success, 2 if the signature could not be verified, 3 if the
# Release file is out of its validity period, 1 otherwise.
private_apt_update() {
    local out rc=0
    out=$(apt-get "${APT_OPTS[@]}" -q update 2>&1) || rc=$?
    printf '%s\n' "$out" >&2
    if grep -qE 'NO_PUBKEY|EXPKEYSIG|KEYEXPIRED|REVKEYSIG|is not signed|signatures were invalid|signatures couldn.t be verified' <<<"$out"; then
        return 2
    fi
    if grep -qE 'Release file .* is (expired|not valid yet)' <<<"$out"; then
        return 3
    fi
    if ((rc != 0)) || grep -qE '^(W|E): (Failed to fetch|Some index files failed)' <<<"$out"; then
        return 1
    fi
    return 0
}

update_with_retries() {
    local attempt rc
    for attempt in 1 2 3 4; do
        rc=0
        private_apt_update || rc=$?
        if ((rc == 3)); then
            log "warning: the mirror's Release file is outside its validity period (a frozen"
            log "snapshot?); accepting it. Its signature is still verified."
            EXTRA_APT_OPTS+=(-o Acquire::Check-Valid-Until=false)
            APT_OPTS+=(-o Acquire::Check-Valid-Until=false)
            continue
        fi
        ((rc != 1)) && return "$rc"
        ((attempt < 4)) && { log "apt-get update failed; retrying in $((attempt * 5)) s"; sleep $((attempt * 5)); }
    done
    return 1
}

# Download .deb files of the given packages into $1 (verified by apt against the
# signed index).  apt-get download saves into its working directory, and with a
# very long working directory it silently saves somewhere else, so it runs in a
# short temporary directory.
apt_download() {
    local dest=$1 tmp n
    shift
    tmp=$(mktemp -d /tmp/qm-apt.XXXXXX)
    if ((EUID == 0)) && id _apt >/dev/null 2>&1; then
        chown _apt "$tmp"   # apt downloads as _apt when it can
    fi
    if ! (cd "$tmp" && retry apt-get "${APT_OPTS[@]}" -q download "$@" >&2); then
        rm -rf "$tmp"
        return 1
    fi
    n=$(find "$tmp" -maxdepth 1 -name '*.deb' | wc -l)
    if ((n != $#)); then
        log "expected $# packages from apt-get download, got $n"
        rm -rf "$tmp"
        return 1
    fi
    mkdir -p "$dest"
    mv "$tmp"/*.deb "$dest"/
    rm -rf "$tmp"
}

# Fetch debian-archive-keyring through a suite the system keyring can verify
# (stable, then testing), so that the suite we want is verified by current keys.
refresh_keyring() {
    local suite kdir=$APTDIR/keyring
    for suite in stable testing; do
        log "fetching debian-archive-keyring from $suite (verified with the system keyring)"
        setup_private_apt "$APTDIR/keyring-apt" "$suite" "$SYSTEM_KEYRING"
        if update_with_retries; then
            rm -rf "$kdir.tmp"
            if apt_download "$kdir.tmp/debs" debian-archive-keyring; then
                dpkg-deb -x "$kdir.tmp"/debs/debian-archive-keyring_*.deb "$kdir.tmp/root"
                if [[ -f $kdir.tmp/root$SYSTEM_KEYRING ]]; then
                    rm -rf "$kdir" && mv "$kdir.tmp" "$kdir"
                    KEYRING=$kdir/root$SYSTEM_KEYRING
                    return 0
                fi
            fi
        fi
    done
    return 1
}

KEYRING=$SYSTEM_KEYRING
if [[ ${QM_REFRESH_KEYRING:-0} == 1 ]]; then
    refresh_keyring || die "could not fetch a newer debian-archive-keyring"
elif [[ -f $APTDIR/keyring/root$SYSTEM_KEYRING ]]; then
    KEYRING=$APTDIR/keyring/root$SYSTEM_KEYRING   # fetched by an earlier run
fi
[[ -f $KEYRING ]] || die "$KEYRING not found (apt-get install debian-archive-keyring)"

setup_private_apt "$APTDIR/main" "$SUITE" "$KEYRING"
log "apt-get update ($MIRROR $SUITE, private lists in $APTDIR/main)"
rc=0
update_with_retries || rc=$?
if ((rc == 2)); then
    log "the keyring $KEYRING cannot verify $SUITE; fetching a newer one"
    refresh_keyring || die "could not fetch a newer debian-archive-keyring to verify $SUITE"
    setup_private_apt "$APTDIR/main" "$SUITE" "$KEYRING"
    rc=0
    update_with_retries || rc=$?
fi
((rc == 0)) || die "apt-get update for $MIRROR $SUITE failed (see above)"

# -- package set ---------------------------------------------------------------
resolve_packages() {
    local sim
    sim=$(apt-get "${APT_OPTS[@]}" -s -q --no-install-recommends install "${TOP_PACKAGES[@]}" 2>/dev/null) \
        || return 1
    awk '$1 == "Inst" {print $2}' <<<"$sim" | sed 's/:amd64$//' | grep -vxF -f <(printf '%s\n' "${EXCLUDED_PACKAGES[@]}")
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
LIBDIR=$ROOT/usr/lib/$MULTIARCH
LDSO=$(readlink -f "$LIBDIR/ld-linux-x86-64.so.2")
[[ -f $LDSO ]] || die "the private ld.so is missing ($LIBDIR/ld-linux-x86-64.so.2)"

# -- point the interpreter at the private libraries ------------------------------------
# DT_RPATH (not RUNPATH): it also applies to the libraries that the stdlib's
# extension modules (_ssl, _sqlite3, ...) and our own modules pull in.  Kept
# relative, so its length does not depend on where the repository lives.
patch_interpreter() {
    local interp=$1
    patchelf --set-interpreter "$interp" "$REAL_PY" \
        && patchelf --force-rpath --set-rpath "\$ORIGIN/../lib/$MULTIARCH" "$REAL_PY" \
        && "$REAL_PY" -c 'import sys' >/dev/null 2>&1
}
pristine_py() {   # restore the unpatched binary from its package
    local deb
    deb=$(ls "$DEBDIR"/python3.14-minimal_*.deb)
    # shellcheck disable=SC2094  # reads the .deb, writes the binary
    dpkg-deb --fsys-tarfile "$deb" | tar -xO "./usr/bin/$(basename "$REAL_PY")" >"$REAL_PY"
    chmod 755 "$REAL_PY"
}
if ! patch_interpreter "$LDSO"; then
    # Known workaround for very long paths: a short, per-root symlink to the ld.so.
    ((EUID == 0)) || die "patching the interpreter failed, and the /opt workaround needs root"
    short=/opt/qm-py314/ld-$(printf '%s' "$ROOT" | sha256sum | cut -c1-12).so
    log "patching with $LDSO failed; retrying with the short symlink $short"
    mkdir -p /opt/qm-py314
    ln -sfn "$LDSO" "$short"
    pristine_py
    patch_interpreter "$short" || die "the patched interpreter does not run"
fi

# pyconfig.h in include/python3.14 is Debian's multiarch wrapper, which includes
# <x86_64-linux-gnu/python3.14/pyconfig.h>.  Make that resolve relative to the
# include directory itself, so -I<root>/usr/include/python3.14 is enough.
INCDIR=$ROOT/usr/include/python$PYVER
mkdir -p "$INCDIR/$MULTIARCH/python$PYVER"
ln -sfn "../../../$MULTIARCH/python$PYVER/pyconfig.h" "$INCDIR/$MULTIARCH/python$PYVER/pyconfig.h"
[[ -f $INCDIR/$MULTIARCH/python$PYVER/pyconfig.h ]] || die "pyconfig.h not found for $MULTIARCH"

# The build configuration names /usr/...: point it at the private root, so that
# sysconfig (INCLUDEPY, LIBDIR, LIBPL, WHEEL_PKG_DIR, ...) and build-details.json
# describe this installation.
"$REAL_PY" - "$ROOT" "$ROOT/usr/lib/python$PYVER" <<'PYEOF' >&2
import glob, json, os, pprint, sys

root, stdlib = sys.argv[1], sys.argv[2]
SKIP = ("INSTALL", "MODULE_", "DTRACE")  # host tools and build-tree flags

def reloc_path(p):
    if p == "/usr" or p.startswith("/usr/"):
        return root + p
    return p

def reloc_var(key, value):
    if not isinstance(value, str) or key.startswith(SKIP):
        return value
    if key == "TZPATH":   # prefer the zoneinfo shipped in the private root
        return os.pathsep.join([root + "/usr/share/zoneinfo", value])
    return " ".join(reloc_path(tok) for tok in value.split(" "))

def reloc_tree(obj):
    if isinstance(obj, dict):
        return {k: reloc_tree(v) for k, v in obj.items()}
    if isinstance(obj, list):
        return [reloc_tree(v) for v in obj]
    if isinstance(obj, str):
        return reloc_path(obj)
    return obj

modules = [p for p in glob.glob(os.path.join(stdlib, "_sysconfigdata_*.py")) if not os.path.islink(p)]
if not modules:
    sys.exit("no _sysconfigdata module found")
for path in modules:
    ns = {}
    with open(path) as f:
        exec(compile(f.read(), path, "exec"), ns)
    data = {k: reloc_var(k, v) for k, v in ns["build_time_vars"].items()}
    with open(path + ".new", "w") as f:
        f.write("# system configuration generated and used by the sysconfig module\n")
        f.write("# (paths relocated to %s by tools/install-python.sh)\n" % root)
        f.write("build_time_vars = ")
        f.write(pprint.pformat(data, indent=4, width=100))
        f.write("\n")
    os.replace(path + ".new", path)
    print("relocated", os.path.basename(path))

for path in glob.glob(os.path.join(stdlib, "_sysconfig_vars_*.json")):
    with open(path) as f:
        data = json.load(f)
    data = {k: reloc_var(k, v) for k, v in data.items()}
    with open(path, "w") as f:
        json.dump(data, f, indent=2)
        f.write("\n")
    print("relocated", os.path.basename(path))

for path in glob.glob(os.path.join(stdlib, "build-details*.json")):
    with open(path) as f:
        data = json.load(f)
    with open(path, "w") as f:
        json.dump(reloc_tree(data), f, indent=2)
        f.write("\n")
    print("relocated", os.path.basename(path))
PYEOF
find "$ROOT/usr/lib/python$PYVER" -maxdepth 2 -name '_sysconfigdata_*.pyc' -delete

# -- check and record ---------------------------------------------------------------
quick_check || die "the installed interpreter fails its basic check: $("$PY" -c 'import ssl' 2>&1 | tail -n 3)"
"$SCRIPT_DIR/check-python.sh" "$PY" >&2 || die "the installed interpreter fails tools/check-python.sh"

{
    printf '%s\n' "$STAMP_KEY"
    printf 'installed %s from %s %s\n' "$(date -u +%Y-%m-%dT%H:%M:%SZ)" "$MIRROR" "$SUITE"
    for deb in "$DEBDIR"/*.deb; do
        # shellcheck disable=SC2016  # dpkg-deb's own ${field} syntax
        dpkg-deb --show --showformat='${Package} ${Version}\n' "$deb"
    done
} >"$STAMP"
log "installed CPython $("$PY" -c 'import sys; print(sys.version.split()[0])') in $((SECONDS - START)) s"
finish "$PY"
