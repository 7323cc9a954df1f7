"""The zdispatch module: what it binds at import, its import-time failures (each in a fresh
interpreter), the record sizes other modules rely on, and its typing stub."""

import subprocess
import sys

import numpy as np
import pytest

from quelm_ui.core.enums import BindType
from quelm_ui.fast.zsystem import zdispatch
from quelm_ui.fast.zsystem.zdispatch import ZRequest, ZSystem

from .conftest import vtable_address

PATH = "quelm_ui.fast.zsystem.zdispatch"


def test_globals_and_types():
    assert zdispatch.np is np and zdispatch.weakref is sys.modules["weakref"]
    assert zdispatch.BindType is BindType
    assert (ZRequest.__basicsize__, ZSystem.__basicsize__) == (88, 496)
    assert ZRequest.__module__ == ZSystem.__module__ == PATH
    assert ZRequest.__weakrefoffset__ == 80 and ZSystem.__weakrefoffset__ == 0
    assert vtable_address(ZRequest) and vtable_address(ZSystem)


def test_methods_carry_signatures():
    assert ZSystem.cycle.__text_signature__ == (
        "($self, /, mouse_pos, mouse_down, mouse_up, any_wheel, wheel_down)")
    assert ZSystem.add.__qualname__ == "ZSystem.add" and ZSystem.add.__module__ == PATH
    assert zdispatch.__pyx_unpickle_ZRequest.__text_signature__ == (
        "(__pyx_type, __pyx_checksum, __pyx_state)")


@pytest.mark.no_leakcheck
def test_second_initialisation_is_refused(run_python):
    proc = run_python(f"""
        import importlib, sys
        first = importlib.import_module({PATH!r})
        del sys.modules[{PATH!r}]
        try:
            importlib.import_module({PATH!r})
        except RuntimeError as exc:
            print(exc)
        print(first.ZSystem().get_active_requests())
    """)
    assert proc.stdout.splitlines() == [
        "Module 'zdispatch' has already been imported. Re-initialisation is not supported.", "[]"]


@pytest.mark.no_leakcheck
def test_missing_bind_type(run_python):
    proc = run_python(f"""
        import quelm_ui.core.enums as enums
        del enums.BindType
        try:
            import {PATH}
        except ImportError as exc:
            print(type(exc).__name__, "|", exc)
    """)
    assert proc.stdout.strip() == "ImportError | cannot import name BindType"


@pytest.mark.no_leakcheck
def test_numpy_c_api_failure(run_python):
    proc = run_python(f"""
        import sys, numpy
        sys.modules["numpy._core._multiarray_umath"] = None
        sys.modules["numpy.core._multiarray_umath"] = None
        try:
            import {PATH}
        except ImportError as exc:
            print(exc, "|", type(exc.__cause__).__name__)
    """)
    assert proc.stdout.strip() == "numpy._core.multiarray failed to import | ModuleNotFoundError"


@pytest.mark.no_leakcheck
def test_sibling_record_too_small(run_python):
    proc = run_python(f"""
        import quelm_ui.fast.quelmcobj.quelmcobj as siblings
        class Small:
            pass
        siblings.QuelmCobject = Small
        try:
            import {PATH}
        except ValueError as exc:
            print(exc)
    """)
    assert proc.stdout.strip() == (
        "quelm_ui.fast.quelmcobj.quelmcobj.QuelmCobject size changed, may indicate binary "
        "incompatibility. Expected 208 from C header, got 16 from "
        "PyObject")


@pytest.mark.no_leakcheck
def test_typing_stubs_match_the_modules():
    modules = [PATH, "quelm_ui.fast.qmparam.qmparam", "quelm_ui.fast.qmrect.qmrect",
               "quelm_ui.fast.quelmcache.quelmcache", "quelm_ui.fast.quelmcobj.quelmcobj",
               "quelm_ui.fast.qmshader.qmshader", "quelm_ui.fast.qmrendertex.qm_render_tex"]
    proc = subprocess.run([sys.executable, "-m", "mypy.stubtest", *modules], capture_output=True,
                          text=True, timeout=600)
    assert proc.returncode == 0, proc.stdout + proc.stderr
