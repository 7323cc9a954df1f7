#!/usr/bin/env bash
# Install the Debian packages that the real-raylib tests and `make demo` need:
#   - an X server without a screen (Xvfb) and the tools to talk to it (xauth, xdpyinfo);
#   - Mesa's software OpenGL (llvmpipe/softpipe through libGL/GLX/EGL), so raylib can open
#     a window and render on a machine without a GPU;
#   - the X client libraries that raylib's window layer loads at run time;
#   - patchelf, which tools/install-python.sh uses to relocate the private interpreter;
#   - qemu-user (qemu-x86_64), which runs the interpreter on an emulated processor without AVX2
#     for the test of the modules' processor check;
#   - with --arch aarch64: the cross compiler g++-aarch64-linux-gnu (and its binutils, whose
#     objdump reads aarch64 code); qemu-user's qemu-aarch64 runs what it builds;
#   - with --arch win_amd64: Wine (64-bit; tools/wine.sh runs the Windows interpreter with it),
#     its fonts, the MinGW build of zlib that Wine's own DLLs load, and osslsigncode, which checks
#     the Windows interpreter's signatures (tools/install-windows.sh). The compiler, zig, comes
#     from PyPI.
#
# Usage: tools/install-system-deps.sh [--check] [--arch ARCH]... [-h|--help]
#   --check   only report what is missing (exit 1 if anything is), install nothing
#   --arch    also what building and testing for ARCH needs (x86_64, the default, aarch64 or
#             win_amd64); may be given more than once
#
# Idempotent: packages that are already installed are left alone, and apt is not
# touched at all when nothing is missing. Needs root (or sudo) to install. Runs on
# Debian 12 (bookworm) and later; package names are the bookworm ones.
set -euo pipefail

PACKAGES=(
    xvfb            # the virtual X server (binary Xvfb)
    xauth           # used by xvfb-run and for authorised displays
    x11-utils       # xdpyinfo: tells when the display accepts connections
    libgl1          # GL dispatch (glvnd)
    libglx-mesa0    # Mesa's GLX vendor library
    libgl1-mesa-dri # Mesa's DRI drivers, including the software rasteriser (swrast/llvmpipe)
    libegl1         # EGL dispatch (glvnd)
    libegl-mesa0    # Mesa's EGL vendor library
    libx11-6        # X client libraries loaded by raylib's window layer
    libxrandr2
    libxinerama1
    libxcursor1
    libxi6
    libxext6
    patchelf  # relocates the private CPython toolchain
    qemu-user # qemu-x86_64: emulated older processors for tests/common/test_cpu_check.py
)

log() { printf 'install-system-deps: %s\n' "$*" >&2; }
die() { printf 'install-system-deps: error: %s\n' "$*" >&2; exit 1; }

CHECK_ONLY=0
while (($#)); do
    case "$1" in
        --check) CHECK_ONLY=1 ;;
        --arch)
            case "${2:-}" in
                x86_64) ;;
                aarch64) PACKAGES+=(g++-aarch64-linux-gnu binutils-aarch64-linux-gnu) ;;
                win_amd64) PACKAGES+=(wine wine64 libwine fonts-wine libz-mingw-w64 osslsigncode) ;;
                *) die "unknown architecture: ${2:-}" ;;
            esac
            shift
            ;;
        -h | --help) sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "${BASH_SOURCE[0]}"; exit 0 ;;
        *) die "unknown argument: $1" ;;
    esac
    shift
done

command -v dpkg-query >/dev/null 2>&1 || die "dpkg-query not found: this script needs a Debian system"

missing=()
for pkg in "${PACKAGES[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$pkg" 2>/dev/null || true)
    if [[ $status != ii* ]]; then
        missing+=("$pkg")
    fi
done

if ((${#missing[@]} == 0)); then
    log "all ${#PACKAGES[@]} packages present"
    exit 0
fi

if ((CHECK_ONLY)); then
    log "missing: ${missing[*]}"
    exit 1
fi

SUDO=()
if ((EUID != 0)); then
    command -v sudo >/dev/null 2>&1 || die "missing packages (${missing[*]}) and not root; run as root"
    SUDO=(sudo -n)
fi

export DEBIAN_FRONTEND=noninteractive

# Retry a command a few times with growing pauses (mirror hiccups in CI).
retry() {
    local attempt=1 max=4
    until "$@"; do
        if ((attempt >= max)); then
            return 1
        fi
        log "attempt $attempt of '$*' failed; retrying in $((attempt * 5)) s"
        sleep $((attempt * 5))
        attempt=$((attempt + 1))
    done
}

log "installing: ${missing[*]}"
# A fresh machine may have no package lists yet (or stale ones): refresh first.
retry "${SUDO[@]}" apt-get update -qq || die "apt-get update failed"
retry "${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" \
    || die "apt-get install failed for: ${missing[*]}"

command -v Xvfb >/dev/null 2>&1 || die "Xvfb is still not on PATH after installing xvfb"
command -v qemu-x86_64 >/dev/null 2>&1 || die "qemu-x86_64 is still not on PATH after installing qemu-user"
log "done"
