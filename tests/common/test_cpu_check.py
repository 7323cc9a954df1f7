"""On x86-64 the modules are built for AVX2 and FMA: on an older processor, importing one raises
ImportError naming what is missing, before any AVX2 instruction runs. On aarch64 they are built
for the Armv8-A baseline and import on every processor. Checked for real by running the venv's
interpreter on processors emulated by qemu-user (tools/install-system-deps.sh installs it)."""

import importlib.util
import platform
import re
import shutil
import subprocess
import sys
import textwrap

import pytest

QMVECTOR2 = "quelm_ui.fast.qmvector2.qmvector2"
ZDISPATCH = "quelm_ui.fast.zsystem.zdispatch"
QUELM_RAYLIB = "quelm_ui.fast.raylib.quelm_raylib"
MODULES = [QMVECTOR2, ZDISPATCH, QUELM_RAYLIB]

MACHINE = platform.machine()
x86_64_only = pytest.mark.skipif(MACHINE != "x86_64", reason="the AVX2/FMA check is x86-64's")
# The oldest processor the modules must run on, and one well above it.
CAPABLE_PROCESSORS = {
    "x86_64": ["Haswell"],
    # Armv8.0 (no atomics, no dot product), and the newest, its pointer authentication computed
    # by qemu's faster implementation-defined algorithm (the architected one takes a minute here).
    "aarch64": ["cortex-a53", "max,pauth-impdef=on"],
}
# Fused multiply-add and its vector forms: -ffp-contract=off must keep every a*b+c rounded twice.
FUSED_MULTIPLY_ADD = {
    "x86_64": re.compile(r"\bvfn?m(?:add|sub)\w*"),
    "aarch64": re.compile(r"\b(?:fn?madd|fn?msub|fmla|fmls)\b"),
}


@pytest.fixture(scope="module")
def qemu() -> str:
    name = f"qemu-{MACHINE}"
    path = shutil.which(name)
    if path is None:
        pytest.fail(f"{name} is not installed: run tools/install-system-deps.sh")
    return path


def run_on(qemu: str, cpu: str, code: str) -> subprocess.CompletedProcess:
    # Emulation is slow (zdispatch imports NumPy): one short interpreter run per case.
    return subprocess.run([qemu, "-cpu", cpu, sys.executable, "-c", textwrap.dedent(code)],
                          capture_output=True, text=True, timeout=300)


def import_error_line(module: str, missing: str) -> str:
    return f"ImportError: {module} needs a processor with AVX2 and FMA; this one lacks {missing}"


@x86_64_only
@pytest.mark.no_leakcheck
@pytest.mark.parametrize("module, cpu, missing", [
    (QMVECTOR2, "Nehalem", "AVX2, FMA"),
    (ZDISPATCH, "Nehalem", "AVX2, FMA"),
    (QUELM_RAYLIB, "Nehalem", "AVX2, FMA"),
    (QMVECTOR2, "SandyBridge", "AVX2, FMA"),
    (QMVECTOR2, "Haswell,-avx2", "AVX2"),
    (QMVECTOR2, "Haswell,-fma", "FMA"),
    (QMVECTOR2, "Haswell,-avx", "AVX"),
    # CPUID capped below leaf 7 (as some hypervisors do): AVX2 cannot be seen.
    (QMVECTOR2, "Haswell,level=6", "AVX2"),
    # No XSAVE: the operating system cannot have enabled the YMM registers.
    (QMVECTOR2, "Haswell,-xsave", "operating-system support for the AVX registers"),
])
def test_older_processor_gets_import_error(qemu, module, cpu, missing):
    proc = run_on(qemu, cpu, f"import {module}")
    # A plain failed import (exit status 1), not a death by SIGILL (negative status).
    assert proc.returncode == 1, proc.stderr
    assert proc.stderr.splitlines()[-1] == import_error_line(module, missing)


@pytest.mark.no_leakcheck
@pytest.mark.parametrize("cpu", CAPABLE_PROCESSORS.get(MACHINE, []))
@pytest.mark.parametrize("module, code, expected", [
    (QMVECTOR2, "print(m.QmVector2(1, 2) + m.QmVector2(3, 4.5))", "QmVector2(4.0, 6.5)"),
    (ZDISPATCH, "zs = m.ZSystem(); zs.mark_dirty(); print(zs.is_dirty, zs.get_active_requests())",
     "True []"),
    (QUELM_RAYLIB, "m.init_raylib_pointers({}); print(len(m.__pyx_capi__))", "30"),
])
def test_capable_processor_imports_and_works(qemu, cpu, module, code, expected):
    proc = run_on(qemu, cpu, f"import {module} as m\n{code}")
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.splitlines() == [expected]


# GCC names a translation unit's dynamic initialiser _GLOBAL__sub_I_<file>; the sanitizers' own
# constructors carry a priority prefix (_GLOBAL__sub_I_00099_0_<file>) and run no module code.
DYNAMIC_INITIALISER = re.compile(r"\b_GLOBAL__sub_I_(?!\d{5}_)\S+")


@pytest.mark.no_leakcheck
@pytest.mark.parametrize("module", MODULES)
def test_no_module_code_runs_when_the_library_is_loaded(module):
    """Constructors run at load, before PyInit can check the processor: an AVX2-built one would
    fault on an older processor even if this one happens to hold no AVX2 instruction yet."""
    path = importlib.util.find_spec(module).origin
    symbols = subprocess.run(["nm", "--defined-only", path], capture_output=True, text=True,
                             check=True).stdout
    assert f" T PyInit_{module.rsplit('.', 1)[1]}\n" in symbols  # the symbol table is there
    assert DYNAMIC_INITIALISER.findall(symbols) == []


def disassembler() -> str:
    """objdump for this machine's code: the cross one first, as a host's own may not read it."""
    for name in (f"{MACHINE}-linux-gnu-objdump", "objdump"):
        if (path := shutil.which(name)) is not None:
            return path
    pytest.fail("objdump is not installed (binutils)")


@pytest.mark.no_leakcheck
@pytest.mark.parametrize("module", MODULES)
def test_no_fused_multiply_add_in_the_module(module):
    """a*b+c rounds twice in Python; GCC fuses it by default (into fmadd on aarch64, vfmadd with
    -mfma), which changes the last bit of vector lengths, dot products and hit arithmetic."""
    path = importlib.util.find_spec(module).origin
    code = subprocess.run([disassembler(), "-d", "--no-show-raw-insn", path],
                          capture_output=True, text=True, check=True).stdout
    assert re.search(r"<PyInit_\w+>:", code)  # the disassembler read the code
    assert FUSED_MULTIPLY_ADD[MACHINE].findall(code) == []
