"""The import contract: every type a module imports is checked for being a type, for its record
size and for its native method table. Each case swaps the imported type in a fresh interpreter
before the importing module loads."""

import pytest

ZDISPATCH = "quelm_ui.fast.zsystem.zdispatch"
RAYLIB = "quelm_ui.fast.raylib.quelm_raylib"

IMPORTS = [
    (ZDISPATCH, "quelm_ui.fast.qmvector2.qmvector2", "QmVector2", 40),
    (ZDISPATCH, "quelm_ui.fast.qmparam.qmparam", "QmParam", 80),
    (ZDISPATCH, "quelm_ui.fast.qmrect.qmrect", "QmRect", 40),
    (ZDISPATCH, "quelm_ui.fast.quelmcache.quelmcache", "Cache", 32),
    (ZDISPATCH, "quelm_ui.fast.quelmcobj.quelmcobj", "QuelmCobject", 208),
    (RAYLIB, "quelm_ui.fast.qmvector2.qmvector2", "QmVector2", 40),
    (RAYLIB, "quelm_ui.fast.qmshader.qmshader", "QmShader", 40),
    (RAYLIB, "quelm_ui.fast.qmrect.qmrect", "QmRect", 40),
    (RAYLIB, "quelm_ui.fast.qmrendertex.qm_render_tex", "QmRenderTexture", 48),
]

SWAP = """
import importlib, warnings
warnings.simplefilter("always")
sibling = importlib.import_module({sibling!r})
{define}
setattr(sibling, {name!r}, Replacement)
with warnings.catch_warnings(record=True) as caught:
    try:
        importlib.import_module({importer!r})
    except Exception as exc:
        print("raised", type(exc).__name__, "|", exc)
    else:
        print("imported")
for warning in caught:
    print("warned", warning.category.__name__, "|", warning.message)
"""

CASES = {
    "not a type": ("Replacement = 5", ["raised TypeError | {sibling}.{name} is not a type object"]),
    "smaller record": (
        "class Replacement:\n    __slots__ = ()",
        ["raised ValueError | {sibling}.{name} size changed, may indicate binary "
         "incompatibility. Expected {size} from C header, got 16 from PyObject"]),
    "larger record without table": (
        "class Replacement:\n    __slots__ = tuple('s%d' % i for i in range(30))",
        ["raised KeyError | '__pyx_vtable__'",
         "warned RuntimeWarning | {sibling}.{name} size changed, may indicate binary "
         "incompatibility. Expected {size} from C header, got 256 from PyObject"]),
    "table that is not a capsule": (
        "class Replacement:\n    __slots__ = tuple('s%d' % i for i in range(30))\n"
        "    __pyx_vtable__ = 7",
        ["raised ValueError | PyCapsule_GetPointer called with invalid PyCapsule object",
         "warned RuntimeWarning | {sibling}.{name} size changed, may indicate binary "
         "incompatibility. Expected {size} from C header, got 256 from PyObject"]),
}


@pytest.mark.no_leakcheck
@pytest.mark.parametrize("importer, sibling, name, size", IMPORTS)
@pytest.mark.parametrize("case", sorted(CASES))
def test_imported_type_checks(run_python, importer, sibling, name, size, case):
    define, expected = CASES[case]
    proc = run_python(SWAP.format(sibling=sibling, name=name, importer=importer, define=define))
    fields = {"sibling": sibling, "name": name, "size": size}
    assert proc.stdout.splitlines() == [line.format(**fields) for line in expected]
