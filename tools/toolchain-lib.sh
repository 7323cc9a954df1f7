# Functions shared by tools/install-python.sh (the release interpreter) and
# tools/install-python-debug.sh (the debug interpreter): the private apt configuration,
# downloads, and relocation of an unpacked interpreter into its private root.
#
# Sourced, not run. The sourcing script defines log and die, calls select_pyver, and sets
# TOOLCHAIN and APTDIR before calling the other functions.

# The CPython versions the project builds for, and the one used when none is asked for.
SUPPORTED_PYVERS=(3.13 3.14 3.15)
DEFAULT_PYVER=3.14

# The version to install: $1 if given, else $QM_PYVER, else the default. Sets PYVER (3.14) and
# PYTAG (314, as in the extension suffix and the wheel tag); dies on an unsupported version.
select_pyver() {
    local wanted=${1:-${QM_PYVER:-$DEFAULT_PYVER}} version
    for version in "${SUPPORTED_PYVERS[@]}"; do
        if [[ $version == "$wanted" ]]; then
            PYVER=$version
            PYTAG=${version//./}
            return 0
        fi
    done
    die "CPython $wanted is not supported (supported: ${SUPPORTED_PYVERS[*]})"
}

# The processor architectures the project builds for: x86-64, this machine's own, and aarch64,
# built with Debian's cross compiler and run under qemu-user (tools/emulate.sh).
SUPPORTED_ARCHS=(x86_64 aarch64)
DEFAULT_ARCH=x86_64
# Windows x64, the third platform: cross-built with zig's clang and run under Wine
# (tools/install-windows.sh, tools/windows.mk), for the versions whose official Windows build can
# be installed here and so tested.
WINDOWS_ARCH=win_amd64
WINDOWS_PYVERS=(3.13)

# The architecture to install for: $1 if given, else $QM_ARCH, else the default. Sets ARCH (as
# uname -m names it), DEB_ARCH (Debian's name), MULTIARCH (the library and include folder), LDSO
# (the ELF interpreter's file name) and ARCH_SUFFIX (empty for x86-64, else -<arch>: the private
# roots and package folders of another architecture sit beside x86-64's under that suffix).
select_arch() {
    local wanted=${1:-${QM_ARCH:-$DEFAULT_ARCH}}
    case "$wanted" in
        x86_64) DEB_ARCH=amd64 LDSO=ld-linux-x86-64.so.2 ;;
        aarch64) DEB_ARCH=arm64 LDSO=ld-linux-aarch64.so.1 ;;
        *) die "architecture $wanted is not supported (supported: ${SUPPORTED_ARCHS[*]})" ;;
    esac
    ARCH=$wanted
    MULTIARCH=$ARCH-linux-gnu
    ARCH_SUFFIX=
    [[ $ARCH == "$DEFAULT_ARCH" ]] || ARCH_SUFFIX=-$ARCH
}

# The command prefix that runs the interpreter being installed: empty for x86-64, and
# tools/emulate.sh for another architecture (set by tools/install-python.sh).
TARGET_RUN=()

# Where the packages come from, the same for both interpreters.
MIRROR=${QM_DEBIAN_MIRROR:-http://deb.debian.org/debian}
SUITE=${QM_DEBIAN_SUITE:-sid}
SYSTEM_KEYRING=/usr/share/keyrings/debian-archive-keyring.gpg
DEB_ARCH=amd64
LDSO=ld-linux-x86-64.so.2
MULTIARCH=x86_64-linux-gnu

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

# Options added after probing: running apt's downloads as root where _apt cannot
# reach the directories (e.g. a repository under /root), and accepting an expired
# Release file from a mirror that serves a frozen snapshot (still signature-checked).
init_extra_apt_opts() {
    EXTRA_APT_OPTS=()
    if ((EUID == 0)) && id _apt >/dev/null 2>&1 \
            && ! runuser -u _apt -- test -x "$TOOLCHAIN" >/dev/null 2>&1; then
        EXTRA_APT_OPTS+=(-o APT::Sandbox::User=root)
    fi
}

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
        -o "APT::Architecture=$DEB_ARCH"
        -o "APT::Architectures::=$DEB_ARCH"
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

# The private apt lists of $SUITE in $APTDIR/main, verified with the system keyring or a
# newer one fetched through stable/testing; sets KEYRING and APT_OPTS.
update_private_apt() {
    local rc
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
}

# Point an unpacked interpreter binary at the private ld.so and libraries.
# DT_RPATH (not RUNPATH): it also applies to the libraries that the stdlib's
# extension modules (_ssl, _sqlite3, ...) and our own modules pull in.  Kept
# relative, so its length does not depend on where the repository lives.
# $1: the binary (symlinks resolved), $2: the .deb it comes from, $3: the root.
patch_python_binary() {
    local binary=$1 deb=$2 root=$3 ldso short
    ldso=$(readlink -f "$root/usr/lib/$MULTIARCH/$LDSO")
    [[ -f $ldso ]] || die "the private ld.so is missing ($root/usr/lib/$MULTIARCH/$LDSO)"
    if _patch_interpreter "$binary" "$ldso"; then
        return 0
    fi
    # Known workaround for very long paths: a short, per-root symlink to the ld.so.
    ((EUID == 0)) || die "patching the interpreter failed, and the /opt workaround needs root"
    short=/opt/qm-toolchain/ld-$(printf '%s' "$root" | sha256sum | cut -c1-12).so
    log "patching with $ldso failed; retrying with the short symlink $short"
    mkdir -p /opt/qm-toolchain
    ln -sfn "$ldso" "$short"
    # Restore the unpatched binary from its package first.
    # shellcheck disable=SC2094  # reads the .deb, writes the binary
    dpkg-deb --fsys-tarfile "$deb" | tar -xO "./usr/bin/$(basename "$binary")" >"$binary"
    chmod 755 "$binary"
    _patch_interpreter "$binary" "$short" || die "the patched interpreter does not run"
}

_patch_interpreter() {
    local binary=$1 interp=$2
    patchelf --set-interpreter "$interp" "$binary" \
        && patchelf --force-rpath --set-rpath "\$ORIGIN/../lib/$MULTIARCH" "$binary" \
        && "$binary" -c 'import sys' >/dev/null 2>&1
}

# pyconfig.h in include/python3.X (and python3.Xd) is Debian's multiarch wrapper, which
# includes <x86_64-linux-gnu/python3.X/pyconfig.h>.  Make that resolve relative to the
# include directory itself, so -I<root>/usr/include/python3.14 is enough.
# $1: the include directory, <root>/usr/include/<name>.
link_multiarch_pyconfig() {
    local incdir=$1 name
    name=$(basename "$incdir")
    mkdir -p "$incdir/$MULTIARCH/$name"
    ln -sfn "../../../$MULTIARCH/$name/pyconfig.h" "$incdir/$MULTIARCH/$name/pyconfig.h"
    [[ -f $incdir/$MULTIARCH/$name/pyconfig.h ]] || die "pyconfig.h not found for $MULTIARCH in $incdir"
}

# The build configuration names /usr/...: point it at the private root, so that
# sysconfig (INCLUDEPY, LIBDIR, LIBPL, WHEEL_PKG_DIR, ...) and build-details.json
# describe this installation.  A root copied from another private root also has
# that root's paths in the files relocated before; they are moved over too.
# $1: a python that runs (any), $2: the root, $3: the root it was copied from (optional).
relocate_build_config() {
    local py=$1 root=$2 old_root=${3:-}
    "${TARGET_RUN[@]}" "$py" - "$root" "$root/usr/lib/python$PYVER" "$old_root" <<'PYEOF' >&2
import glob, json, os, pprint, sys

root, stdlib, old_root = sys.argv[1], sys.argv[2], sys.argv[3]
SKIP = ("INSTALL", "MODULE_", "DTRACE")  # host tools and build-tree flags

def reloc_path(p):
    if old_root and (p == old_root or p.startswith(old_root + "/")):
        return root + p[len(old_root):]
    if p == "/usr" or p.startswith("/usr/"):
        return root + p
    return p

def reloc_var(key, value):
    if not isinstance(value, str) or key.startswith(SKIP):
        return value
    if key == "TZPATH":   # prefer the zoneinfo shipped in the private root
        kept = [d for d in value.split(os.pathsep) if not (old_root and d.startswith(old_root + "/"))]
        return os.pathsep.join([root + "/usr/share/zoneinfo"] + kept)
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
    find "$root/usr/lib/python$PYVER" -maxdepth 2 -name '_sysconfigdata_*.pyc' -delete
}
