"""zdispatch and quelm_raylib against siblings written in Cython, as the toolkit's own are: owners
whose overrides live in their native tables (cdef subclasses) or in Python, `_dead` read in
place, z conversion, QmRect.new called at import, c_get_texture reached through the instance's
table, errors raised inside the siblings' methods, any import order, and the siblings built as
static or as heap types.

Each check runs in a fresh interpreter (see RUNNER) whose six sibling modules are the Cython
builds; the rest of the suite keeps the C++ stand-ins. bed_checks.py holds the checks.
"""

from __future__ import annotations

import ast
import subprocess
import sys
from pathlib import Path

import pytest

pytestmark = pytest.mark.no_leakcheck  # every check runs in its own interpreter

HERE = Path(__file__).resolve().parent
SOURCES = HERE / "siblings"
MODULES = {
    "quelm_ui.fast.qmparam.qmparam": SOURCES / "quelm_ui/fast/qmparam/qmparam.pyx",
    "quelm_ui.fast.qmrect.qmrect": SOURCES / "quelm_ui/fast/qmrect/qmrect.pyx",
    "quelm_ui.fast.quelmcache.quelmcache": SOURCES / "quelm_ui/fast/quelmcache/quelmcache.pyx",
    "quelm_ui.fast.quelmcobj.quelmcobj": SOURCES / "quelm_ui/fast/quelmcobj/quelmcobj.pyx",
    "quelm_ui.fast.qmshader.qmshader": SOURCES / "quelm_ui/fast/qmshader/qmshader.pyx",
    "quelm_ui.fast.qmrendertex.qm_render_tex":
        SOURCES / "quelm_ui/fast/qmrendertex/qm_render_tex.pyx",
    "cy_widgets": SOURCES / "cy_widgets.pyx",
}
# Heap types come from Cython's type-spec code path.
VARIANTS = {"static-types": {}, "heap-types": {"CYTHON_USE_TYPE_SPECS": "1"}}
RECORD_SIZES = {
    "quelm_ui.fast.qmparam.qmparam": 80,
    "quelm_ui.fast.qmrect.qmrect": 40,
    "quelm_ui.fast.quelmcache.quelmcache": 32,
    "quelm_ui.fast.quelmcobj.quelmcobj": 208,
    "quelm_ui.fast.qmshader.qmshader": 40,
    "quelm_ui.fast.qmrendertex.qm_render_tex": 48,
}

# The installed quelm_ui.fast stays the package, so qmvector2, zsystem and raylib come from the
# project. Putting the bed's quelm_ui/fast first on that package's __path__ makes the six
# sibling packages (quelm_ui.fast.qmrect, ...) resolve to the Cython builds, which are found
# before the installed stand-ins. The root itself goes last on sys.path, for the top-level
# cy_widgets only: the root's own quelm_ui/ directory must never shadow the installed package.
# `-P` keeps the working directory off sys.path for the same reason.
RUNNER = """\
import importlib, importlib.util, sys
import quelm_ui.fast
quelm_ui.fast.__path__.insert(0, {root!r} + "/quelm_ui/fast")
sys.path.append({root!r})
spec = importlib.util.spec_from_file_location("bed_checks", {checks!r})
checks = importlib.util.module_from_spec(spec)
spec.loader.exec_module(checks)
result = checks.{function}(*{args!r})
for name in checks.SIBLING_MODULES:
    importlib.import_module(name)
print(repr((result, checks.provenance({root!r}))))
"""


@pytest.fixture(scope="module", params=list(VARIANTS))
def bed(request, cybuild):
    root = cybuild.build(f"siblings-{request.param}", MODULES, include_path=[SOURCES],
                         macros=VARIANTS[request.param])
    return root, request.param == "heap-types"


def run_check(bed, function: str, *args):
    """Runs bed_checks.`function`(*args) in a fresh interpreter over the bed; returns its result
    after checking that every sibling module came from the bed, with the contract's record size
    and the build's kind of type."""
    root, heap = bed
    code = RUNNER.format(root=str(root), checks=str(HERE / "bed_checks.py"), function=function,
                         args=args)
    process = subprocess.run([sys.executable, "-P", "-c", code], capture_output=True, text=True,
                             timeout=300)
    assert process.returncode == 0, process.stderr
    result, provenance = ast.literal_eval(process.stdout.strip().splitlines()[-1])
    assert provenance == {name: (True, size, heap) for name, size in RECORD_SIZES.items()}
    return result


# A static-type native widget's override runs only when the dispatcher calls through the owner's
# own table; with heap types Cython's dispatch in the base method also finds it by attribute.
OVERRIDES = {
    "python": [((1, 2, 3, 4), 5)],
    "python get_qmrect": [((10, 20, 30, 40), 5)],
    "python get_param_strict": [((1, 2, 3, 4), 9)],
    "native": [((50, 60, 70, 80), 11)],
    "python over native": [((-1, -2, 3, 4), 11)],
}


def test_the_rows_come_from_the_owners_own_methods(bed):
    assert run_check(bed, "override_rows", list(OVERRIDES)) == OVERRIDES


ALIVE = ((1, 2, 3, 4), 1)
DEAD = {
    ("python", 0): [ALIVE, ((1, 2, 3, 4), 5)],
    ("python", 1): [ALIVE],
    ("python", -1): [ALIVE],
    ("native", 0): [ALIVE, ((50, 60, 70, 80), 11)],
    ("native", 1): [ALIVE],
}


def test_dead_owners_are_left_out(bed):
    results = run_check(bed, "dead_rows", list(DEAD))
    assert results == {f"{kind} {dead}": rows for (kind, dead), rows in DEAD.items()}


Z = {
    "7": ("ok", 7),
    "7.9": ("ok", 7),
    "-7.9": ("ok", -7),
    "True": ("ok", 1),
    "IntLike()": ("ok", 3),
    "2**31": ("OverflowError", "value too large to convert to int"),
    "-2**31 - 1": ("OverflowError", "value too large to convert to int"),
    "'3'": ("TypeError", "an integer is required"),
    "None": ("TypeError", "an integer is required"),
}


def test_z_conversion(bed):
    results = run_check(bed, "z_rows", list(Z))
    assert results == {f"{kind} {value}": expected for kind in ("python", "native")
                       for value, expected in Z.items()}


def test_base_color_is_built_by_the_static_constructor_at_import(bed):
    assert run_check(bed, "base_color") == (True, (255.0, 255.0, 255.0, 255.0))


# (outcome, the texture records drawn, raylib calls made with an exception pending)
DRAWN = {
    "base": (("ok", None), [(21, 16, 8, 1, 7)], 0),
    "native": (("ok", None), [(31, 16, 8, 1, 7)], 0),
    "python": (("ok", None), [(21, 16, 8, 1, 7)], 0),
}


def test_the_texture_drawn_comes_from_the_instances_c_get_texture(bed):
    assert run_check(bed, "drawn", list(DRAWN)) == DRAWN


def _cycle_error(error: str, message: str):
    return ((error, message), True)  # the dispatcher stays dirty


RAISING = {
    "python get_qmrect raises": _cycle_error("ValueError", "layout not ready"),
    "python get_param_strict raises": _cycle_error("LookupError", "z"),
    "python get_qmrect returns a tuple":
        _cycle_error("TypeError", "Cannot convert tuple to quelm_ui.fast.qmrect.qmrect.QmRect"),
    "python get_qmrect returns None":
        _cycle_error("TypeError", "Cannot convert NoneType to quelm_ui.fast.qmrect.qmrect.QmRect"),
    "python get_param_strict returns None":
        _cycle_error("TypeError",
                     "Cannot convert NoneType to quelm_ui.fast.qmparam.qmparam.QmParam"),
    "native raises": _cycle_error("ValueError", "frame not laid out"),
    "base get_param_strict raises": _cycle_error("KeyError", "'z'"),
    "base c_get_texture raises":
        (("AttributeError", "'NoneType' object has no attribute 'texture'"), [], 0),
    "native c_get_texture raises": (("RuntimeError", "depth not attached"), [], 0),
}


def test_errors_raised_in_sibling_methods_propagate(bed):
    assert run_check(bed, "raising", list(RAISING)) == RAISING


ZDISPATCH = "quelm_ui.fast.zsystem.zdispatch"
RAYLIB = "quelm_ui.fast.raylib.quelm_raylib"
COBJ = "quelm_ui.fast.quelmcobj.quelmcobj"
RENDER_TEX = "quelm_ui.fast.qmrendertex.qm_render_tex"


@pytest.mark.parametrize("order", [
    [ZDISPATCH, RAYLIB, "cy_widgets"],
    [RAYLIB, ZDISPATCH, "cy_widgets"],
    ["cy_widgets", RAYLIB, ZDISPATCH],
    [COBJ, RENDER_TEX, ZDISPATCH, RAYLIB],
], ids=["zdispatch-first", "raylib-first", "widgets-first", "siblings-first"])
def test_imports_in_any_order(bed, order):
    assert run_check(bed, "import_in_order", order) == (
        [((50, 60, 70, 80), 11), ((1, 2, 3, 4), 5)], (True, (255.0, 255.0, 255.0, 255.0)),
        (("ok", None), [(31, 16, 8, 1, 7)], 0))
