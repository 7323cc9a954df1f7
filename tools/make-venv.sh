#!/usr/bin/env bash
# Create (or reuse) a virtual environment with the CPython 3.X chosen by
# tools/install-python.sh (3.X: $QM_PYVER, default 3.14), and print the venv's python on the
# last stdout line.
#
# Usage: tools/make-venv.sh <venv-dir>
#
# A venv that already works with the same base interpreter and has pip is
# reused as it is (no network).  Otherwise the directory is (re)created:
#   python -m venv --without-pip <venv-dir>
# then pip is installed from the pip wheel that comes with the interpreter
# (Debian's ensurepip would look for it in the system's /usr/share/python-wheels)
# and upgraded from PyPI; a failed upgrade only warns, the bundled pip works.
#
# Environment: QM_PYVER, QM_ARCH, PYTHON and QM_TOOLCHAIN as for tools/install-python.sh. A venv
# of another architecture (QM_ARCH=aarch64) is made and checked under qemu-user
# (tools/emulate.sh), and keeps the interpreter's own pip (no upgrade: pip is slow emulated).
set -euo pipefail

SCRIPT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd -P)

log() { printf 'make-venv: %s\n' "$*" >&2; }
die() { printf 'make-venv: error: %s\n' "$*" >&2; exit 1; }

(($# == 1)) || { echo "usage: $0 <venv-dir>" >&2; exit 2; }
VENV=$1

BASE_PY=$("$SCRIPT_DIR/install-python.sh" | tail -n 1)
[[ -n $BASE_PY ]] || die "tools/install-python.sh gave no interpreter"
RUN=()
if [[ ${QM_ARCH:-x86_64} != x86_64 ]]; then
    RUN=(bash "$SCRIPT_DIR/emulate.sh" --arch "$QM_ARCH" --python "$BASE_PY")
fi
BASE_REAL=$("${RUN[@]}" "$BASE_PY" -c 'import os, sys; print(os.path.realpath(sys.executable))')
VPY=$VENV/bin/python

# True if $VENV is a working venv of BASE_PY with pip.
venv_ok() {
    [[ -f $VENV/pyvenv.cfg && -x $VPY ]] || return 1
    local base
    base=$("${RUN[@]}" "$VPY" -c 'import os, sys; print(os.path.realpath(sys._base_executable))' 2>/dev/null) || return 1
    [[ $base == "$BASE_REAL" ]] || return 1
    "${RUN[@]}" "$VPY" -m pip --version >/dev/null 2>&1
}

if venv_ok; then
    log "reusing $VENV ($("${RUN[@]}" "$VPY" -m pip --version | cut -d' ' -f1-2))"
    printf '%s\n' "$(cd "$VENV" && pwd -P)/bin/python"
    exit 0
fi

if [[ -e $VENV ]]; then
    # Only ever remove something that is recognisably a venv (or empty).
    if [[ -f $VENV/pyvenv.cfg ]] || [[ -d $VENV && -z $(ls -A "$VENV") ]]; then
        log "recreating $VENV (missing pip, broken, or made with another interpreter)"
        rm -rf "$VENV"
    else
        die "$VENV exists and is not a virtual environment; not touching it"
    fi
fi

log "creating $VENV with $BASE_PY"
"${RUN[@]}" "$BASE_PY" -m venv --without-pip "$VENV" >&2
VENV=$(cd "$VENV" && pwd -P)
VPY=$VENV/bin/python

# The pip wheel shipped with the interpreter: sysconfig's WHEEL_PKG_DIR (which
# install-python.sh points at the private root), else ensurepip's own copy.
WHEEL=$("${RUN[@]}" "$VPY" - <<'EOF'
import glob, os, sysconfig
d = sysconfig.get_config_var("WHEEL_PKG_DIR") or ""
found = sorted(glob.glob(os.path.join(d, "pip-*.whl"))) if d else []
print(found[-1] if found else "")
EOF
)
if [[ -n $WHEEL ]] && ((${#RUN[@]})); then
    # pip is pure Python, and running it emulated to install itself takes minutes: unpacked.
    log "unpacking pip from $WHEEL"
    "${RUN[@]}" "$VPY" -c 'import sys, sysconfig, zipfile
zipfile.ZipFile(sys.argv[1]).extractall(sysconfig.get_paths()["purelib"])' "$WHEEL" >&2 \
        || die "unpacking $WHEEL failed"
elif [[ -n $WHEEL ]]; then
    log "installing pip from $WHEEL"
    # A pip wheel can run itself: python <wheel>/pip install <wheel>.
    "${RUN[@]}" "$VPY" "$WHEEL/pip" install -q --no-index --no-cache-dir "$WHEEL" >&2 \
        || die "installing pip from $WHEEL failed"
else
    log "installing pip with ensurepip"
    "${RUN[@]}" "$VPY" -m ensurepip --default-pip >&2 || die "ensurepip failed"
fi

upgraded=0
for attempt in 1 2; do
    if ((${#RUN[@]})) || "$VPY" -m pip install -q --upgrade pip >&2; then
        upgraded=1
        break
    fi
    ((attempt < 2)) && sleep 5
done
((upgraded)) || log "warning: could not upgrade pip from PyPI; keeping the bundled one"

venv_ok || die "the new venv in $VENV does not work"
log "ready: $VENV ($("${RUN[@]}" "$VPY" -m pip --version | cut -d' ' -f1-2))"
printf '%s\n' "$VPY"
