"""The module as imported: its attributes and their order, the function metadata, and the
import sequence (sibling imports in order, their checks, one initialisation per process)."""

from __future__ import annotations

import inspect

import pytest

from bridge_fakes import python_calls
from quelm_ui.fast.qmrect.qmrect import QmRect

FUNCTIONS = ["init_raylib_pointers", *sorted({name for name, _, _ in python_calls()})]


@pytest.mark.no_leakcheck
def test_the_module_binds_32_functions_and_the_base_colour_between_the_qmvec_pair(run_python):
    proc = run_python("""
        from quelm_ui.fast.raylib import quelm_raylib
        print(" ".join(vars(quelm_raylib)))
    """)
    names = proc.stdout.split()
    public = [name for name in names if not name.startswith("__")]
    assert sorted(public) == sorted([*FUNCTIONS, "_base_color_qmvec_ez"])
    assert len(FUNCTIONS) == 32
    index = public.index("_base_color_qmvec_ez")
    assert public[index - 1 : index + 2] == [
        "draw_texture_qmvec", "_base_color_qmvec_ez", "draw_texture_qmvec_ez"]
    assert names.index("__pyx_capi__") < names.index("init_raylib_pointers")


def test_the_base_colour_is_a_white_qmrect(rl):
    color = rl._base_color_qmvec_ez
    assert type(color) is QmRect
    assert (color.x, color.y, color.w, color.h) == (255.0, 255.0, 255.0, 255.0)


@pytest.mark.parametrize("name", FUNCTIONS)
def test_function_metadata(rl, name):
    function = getattr(rl, name)
    assert function.__name__ == name
    assert function.__module__ == "quelm_ui.fast.raylib.quelm_raylib"
    assert function.__doc__
    parameters = inspect.signature(function).parameters.values()
    assert all(p.kind is p.POSITIONAL_OR_KEYWORD for p in parameters)
    assert function.__annotations__["return"] == ("int" if "location" in name else "None")


@pytest.mark.no_leakcheck
def test_a_second_initialisation_is_refused(run_python):
    run_python("""
        import importlib.util
        from quelm_ui.fast.raylib import quelm_raylib
        spec = importlib.util.find_spec("quelm_ui.fast.raylib.quelm_raylib")
        try:
            spec.loader.exec_module(importlib.util.module_from_spec(spec))
        except RuntimeError as exc:
            assert str(exc) == ("Module 'quelm_raylib' has already been imported. "
                                "Re-initialisation is not supported."), exc
        else:
            raise AssertionError("re-initialised")
        # The same module object again is a no-op.
        spec.loader.exec_module(quelm_raylib)
        assert quelm_raylib.__pyx_capi__ and quelm_raylib.init_raylib_pointers
    """)


@pytest.mark.no_leakcheck
def test_siblings_are_imported_in_order(run_python):
    proc = run_python("""
        import sys
        wanted = ["quelm_ui.fast.qmvector2.qmvector2", "quelm_ui.fast.qmshader.qmshader",
                  "quelm_ui.fast.qmrect.qmrect", "quelm_ui.fast.qmrendertex.qm_render_tex"]

        class Log:
            def find_spec(self, name, path=None, target=None):
                if name in wanted:
                    print(name)

        sys.meta_path.insert(0, Log())
        import quelm_ui.fast.raylib.quelm_raylib
    """)
    assert proc.stdout.split() == ["quelm_ui.fast.qmvector2.qmvector2",
                                   "quelm_ui.fast.qmshader.qmshader",
                                   "quelm_ui.fast.qmrect.qmrect",
                                   "quelm_ui.fast.qmrendertex.qm_render_tex"]


STAND_IN = """
    import sys, types, traceback, warnings
    real = __import__("{module}", fromlist=["{name}"])
    fake = types.ModuleType("{module}")
    vars(fake).update(vars(real))
    fake.{name} = {replacement}
    sys.modules["{module}"] = fake
    try:
        import quelm_ui.fast.raylib.quelm_raylib
    except Exception as exc:
        names = [frame.name for frame in traceback.extract_tb(exc.__traceback__)]
        assert "init quelm_ui.fast.raylib.quelm_raylib" in names, names
        print(type(exc).__name__ + ": " + str(exc))
    else:
        print("imported")
"""


@pytest.mark.no_leakcheck
@pytest.mark.parametrize("module, name, replacement, expected", [
    ("quelm_ui.fast.qmshader.qmshader", "QmShader", "42",
     "TypeError: quelm_ui.fast.qmshader.qmshader.QmShader is not a type object"),
    ("quelm_ui.fast.qmrect.qmrect", "QmRect", "type('QmRect', (), {})",
     "ValueError: quelm_ui.fast.qmrect.qmrect.QmRect size changed, may indicate binary "
     "incompatibility. Expected 40 from C header, got 16 from PyObject"),
    ("quelm_ui.fast.qmrendertex.qm_render_tex", "QmRenderTexture",
     "type('QmRenderTexture', (), {'__slots__': ('a', 'b', 'c', 'd')})",
     "KeyError: '__pyx_vtable__'"),
])
def test_sibling_import_failures_abort_the_import(run_python, module, name, replacement,
                                                  expected):
    proc = run_python(STAND_IN.format(module=module, name=name, replacement=replacement))
    assert proc.stdout.strip() == expected


@pytest.mark.no_leakcheck
def test_a_missing_sibling_type_raises_attribute_error(run_python):
    proc = run_python(STAND_IN.format(module="quelm_ui.fast.qmrect.qmrect", name="QmRect",
                                      replacement="None").replace("fake.QmRect = None",
                                                                  "del fake.QmRect"))
    assert proc.stdout.startswith("AttributeError: ")
