#!/usr/bin/env bash
# Check that a CPython 3.X interpreter is fit for building and testing this project.
#
# Usage: tools/check-python.sh [--full] [--version 3.X] [--arch ARCH] <python>
#
#   --version  the version it must be (default: $QM_PYVER, else 3.14)
#   --arch     the architecture it is built for (default: $QM_ARCH, else x86_64); another than
#              x86-64 (aarch64) runs under qemu-user (tools/emulate.sh) and builds with
#              <arch>-linux-gnu-g++
#
# Always (offline, a few seconds):
#   - it is CPython 3.X and the stdlib modules with native parts import
#     (ssl, sqlite3, ctypes, lzma, bz2, zlib, readline, decimal);
#   - sysconfig names an include directory that holds Python.h and the
#     extension suffix .cpython-3X-<arch>-linux-gnu.so (3Xd on a debug build, which
#     must also load the release suffix);
#   - a small C++ extension built by hand with $CXX (default g++) against those
#     headers imports and runs, C++ exceptions included; when the interpreter
#     ships its own libstdc++, that is the one the extension gets.
# With --full (needs PyPI): a venv made by tools/make-venv.sh installs numpy and
#   pytest, imports them, runs a tiny pytest file and repeats the checks above
#   from inside the venv.
set -euo pipefail

SCRIPT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd -P)

log() { printf 'check-python: %s\n' "$*" >&2; }
fail() { printf 'check-python: FAILED: %s\n' "$*" >&2; exit 1; }
die() { fail "$@"; }
# shellcheck source=tools/toolchain-lib.sh
source "$SCRIPT_DIR/toolchain-lib.sh"

FULL=0
WANTED_PYVER=
WANTED_ARCH=
USAGE="usage: $0 [--full] [--version 3.X] [--arch ARCH] <python>"
while [[ ${1:-} == --* ]]; do
    case "$1" in
        --full) FULL=1 ;;
        --version) WANTED_PYVER=${2:-}; shift ;;
        --arch) WANTED_ARCH=${2:-}; shift ;;
        *) echo "$USAGE" >&2; exit 2 ;;
    esac
    shift
done
(($# == 1)) || { echo "$USAGE" >&2; exit 2; }
select_pyver "$WANTED_PYVER"
select_arch "$WANTED_ARCH"
PY=$1
# Another architecture's interpreter runs under qemu-user, with its own tree as the emulator's
# root.
RUN=()
if [[ -n $ARCH_SUFFIX ]]; then
    RUN=(bash "$SCRIPT_DIR/emulate.sh" --arch "$ARCH" --python "$PY")
    CXX=${CXX:-$MULTIARCH-g++}
fi
CXX=${CXX:-g++}

WORK=$(mktemp -d "${TMPDIR:-/tmp}/qm-check-python.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

cat >"$WORK/qmcheck.cpp" <<'EOF'
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Sum 1..n as a decimal string; n < 0 throws, to exercise C++ unwinding.
PyObject* triangle(PyObject*, PyObject* arg) noexcept {
    try {
        const long n = PyLong_AsLong(arg);
        if (n == -1 && PyErr_Occurred()) {
            return nullptr;
        }
        if (n < 0) {
            throw std::invalid_argument("n must not be negative");
        }
        std::vector<long> values(static_cast<std::size_t>(n));
        std::iota(values.begin(), values.end(), 1L);
        const std::string text = std::to_string(std::accumulate(values.begin(), values.end(), 0L));
        return PyUnicode_FromString(text.c_str());
    } catch (const std::exception& e) {
        PyErr_SetString(PyExc_ValueError, e.what());
        return nullptr;
    }
}

PyMethodDef methods[] = {
    {"triangle", triangle, METH_O, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module = {PyModuleDef_HEAD_INIT, "qmcheck", nullptr, -1, methods,
                      nullptr, nullptr, nullptr, nullptr};

}  // namespace

PyMODINIT_FUNC PyInit_qmcheck() noexcept { return PyModule_Create(&module); }
EOF

cat >"$WORK/check.py" <<'EOF'
import contextlib, os, sys, sysconfig

assert sys.implementation.name == "cpython", sys.implementation.name
assert "%d.%d" % sys.version_info[:2] == sys.argv[1], sys.version
tag = sys.argv[1].replace(".", "")
import ssl, sqlite3, ctypes, lzma, bz2, zlib, readline, decimal  # noqa: E401,F401

assert decimal.Decimal("1.1") + decimal.Decimal("2.2") == decimal.Decimal("3.3")
assert lzma.decompress(lzma.compress(b"x" * 100)) == b"x" * 100
assert bz2.decompress(bz2.compress(b"y" * 100)) == b"y" * 100
ssl.create_default_context()
with contextlib.closing(sqlite3.connect(":memory:")) as db:
    db.execute("select 1").fetchone()
multiarch = sys.argv[2]

inc = sysconfig.get_paths()["include"]
incpy = sysconfig.get_config_var("INCLUDEPY")
ext = sysconfig.get_config_var("EXT_SUFFIX")
for d in (inc, incpy):
    assert os.path.isfile(os.path.join(d, "Python.h")), f"no Python.h in {d}"
assert os.path.realpath(inc) == os.path.realpath(incpy), (inc, incpy)
base = os.path.realpath(sys.base_prefix)
if not base.startswith("/usr"):  # a private installation must describe itself
    assert os.path.realpath(incpy).startswith(base + os.sep), (incpy, base)
assert ext == f".cpython-{tag}{sys.abiflags}-{multiarch}.so", ext
if sys.abiflags == "d":  # a debug build: counts references and also loads release-ABI modules
    import importlib.machinery
    assert hasattr(sys, "gettotalrefcount")
    assert f".cpython-{tag}-{multiarch}.so" in importlib.machinery.EXTENSION_SUFFIXES
print(inc)
print(ext)
print(sys.version.split()[0], file=sys.stderr)
EOF

cat >"$WORK/load.py" <<'EOF'
import os, sys

sys.path.insert(0, sys.argv[1])
import qmcheck

assert qmcheck.triangle(10) == "55", qmcheck.triangle(10)
try:
    qmcheck.triangle(-1)
except ValueError as e:
    assert str(e) == "n must not be negative", e
else:
    raise AssertionError("no exception from the C++ side")

with open("/proc/self/maps") as f:
    maps = {line.split()[-1] for line in f if "libstdc++" in line}
own = os.path.realpath(os.path.join(sys.base_prefix, "lib", sys.argv[2], "libstdc++.so.6"))
if os.path.exists(own):
    assert {os.path.realpath(m) for m in maps} == {own}, (maps, own)
print("libstdc++:", *sorted(maps), file=sys.stderr)
EOF

# $1: interpreter; runs the offline checks with it.
basic_checks() {
    local py=$1 out inc ext
    out=$("${RUN[@]}" "$py" "$WORK/check.py" "$PYVER" "$MULTIARCH") || fail "stdlib/sysconfig check with $py"
    inc=$(sed -n 1p <<<"$out")
    ext=$(sed -n 2p <<<"$out")
    log "$py: stdlib modules ok, include=$inc suffix=$ext"
    if ! command -v "$CXX" >/dev/null; then
        log "no $CXX: C++ extension check skipped"
        return 0
    fi
    rm -rf "$WORK/ext" && mkdir "$WORK/ext"
    "$CXX" -std=c++20 -O1 -Wall -Wextra -Werror -shared -fPIC -I"$inc" \
        "$WORK/qmcheck.cpp" -o "$WORK/ext/qmcheck$ext" || fail "building the C++ extension"
    "${RUN[@]}" "$py" "$WORK/load.py" "$WORK/ext" "$MULTIARCH" || fail "loading the C++ extension into $py"
    log "$py: C++ extension built with $("$CXX" -dumpfullversion) loads and runs"
}

basic_checks "$PY"

if ((FULL)); then
    VENV=$WORK/venv
    VPY=$(QM_PYVER=$PYVER QM_ARCH=$ARCH PYTHON=$PY "$SCRIPT_DIR/make-venv.sh" "$VENV" | tail -n 1) \
        || fail "make-venv.sh"
    log "installing numpy and pytest into $VENV"
    "${RUN[@]}" "$VPY" -m pip install -q numpy pytest >&2 || fail "pip install numpy pytest"
    "${RUN[@]}" "$VPY" -c '
import numpy, pytest
a = numpy.arange(12, dtype=numpy.float64).reshape(3, 4)
assert float((a @ a.T).trace()) == 506.0
assert float(a.sum()) == 66.0
print("numpy", numpy.__version__, "pytest", pytest.__version__)
' >&2 || fail "importing numpy/pytest in the venv"
    cat >"$WORK/test_smoke.py" <<'EOF'
import numpy as np
import pytest


@pytest.mark.parametrize("n", [1, 5, 100])
def test_sum(n):
    assert int(np.arange(n + 1).sum()) == n * (n + 1) // 2
EOF
    (cd "$WORK" && "${RUN[@]}" "$VPY" -m pytest -q -p no:cacheprovider test_smoke.py >&2) || fail "pytest in the venv"
    basic_checks "$VPY"
fi
log "all checks passed for $PY"
