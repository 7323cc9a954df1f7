"""Import-time rules every native module follows: one initialisation per process, one
interpreter, and the "init" traceback entry. Each case runs in a fresh interpreter."""

import pytest

MODULES = [
    ("quelm_ui.fast.qmvector2.qmvector2", "qmvector2"),
    ("quelm_ui.fast.zsystem.zdispatch", "zdispatch"),
    ("quelm_ui.fast.raylib.quelm_raylib", "quelm_raylib"),
]


@pytest.mark.no_leakcheck
@pytest.mark.parametrize("path, short", MODULES)
def test_second_initialisation_is_refused(run_python, path, short):
    proc = run_python(f"""
        import importlib, sys
        first = importlib.import_module({path!r})
        del sys.modules[{path!r}]
        try:
            importlib.import_module({path!r})
        except RuntimeError as exc:
            print(exc)
            import traceback
            assert traceback.extract_tb(exc.__traceback__)[-1].name == "init " + {path!r}
        # the first module object stays usable
        print(type(first).__name__, sorted(n for n in dir(first) if not n.startswith("_"))[:1])
    """)
    lines = proc.stdout.splitlines()
    assert lines[0] == (f"Module '{short}' has already been imported. "
                        "Re-initialisation is not supported.")
    assert lines[1].startswith("module ")


@pytest.mark.no_leakcheck
@pytest.mark.parametrize("path, short", MODULES)
def test_executing_the_same_module_again_is_a_no_op(run_python, path, short):
    proc = run_python(f"""
        import _imp, importlib
        module = importlib.import_module({path!r})
        before = dict(vars(module))
        print(_imp.exec_dynamic(module), dict(vars(module)) == before)
    """)
    assert proc.stdout.split() == ["0", "True"]


@pytest.mark.no_leakcheck
@pytest.mark.parametrize("path, short", MODULES)
@pytest.mark.parametrize("config", ["isolated", "legacy"])
def test_subinterpreter_gets_import_error(run_python, path, short, config):
    proc = run_python(f"""
        import _interpreters
        interp = _interpreters.create(_interpreters.new_config({config!r}))
        failure = _interpreters.run_string(interp, "import {path}")
        print(failure.type.__name__, "|", failure.msg)
        _interpreters.destroy(interp)
        import {path}  # the main interpreter can still load it
        print("main ok")
    """)
    assert proc.stdout.splitlines() == [
        "ImportError | Interpreter change detected - this module can only be loaded into one "
        "interpreter per process.",
        "main ok",
    ]


@pytest.mark.no_leakcheck
def test_failed_exec_adds_init_entry(run_python):
    # quelm_ui.core.modules failing to import makes qmvector2's exec fail.
    proc = run_python("""
        import sys, traceback
        sys.modules["quelm_ui.core.modules"] = None
        try:
            import quelm_ui.fast.qmvector2.qmvector2
        except ImportError as exc:
            names = [frame.name for frame in traceback.extract_tb(exc.__traceback__)]
            print(names[-1])
    """)
    assert proc.stdout.strip() == "init quelm_ui.fast.qmvector2.qmvector2"


# ---- a failed initialisation leaves no trace ----

# A meta path finder under which one module fails to import with ZeroDivisionError. It leaves
# a token in the module whose exec is importing it (then in sys.modules), to tell whether the
# failed module object is kept alive afterwards.
REFUSE = """
import gc, weakref
class Token:
    pass
class Refuse:
    def __init__(self, name, importer):
        self.name, self.importer, self.token = name, importer, None
    def find_spec(self, fullname, path=None, target=None):
        if fullname == self.name:
            token = sys.modules[self.importer].token = Token()
            self.token = weakref.ref(token)
            raise ZeroDivisionError(fullname)
        return None
"""
QMVECTOR2 = "quelm_ui.fast.qmvector2.qmvector2"
QUELMCOBJ = "quelm_ui.fast.quelmcobj.quelmcobj"
RENDERTEX = "quelm_ui.fast.qmrendertex.qm_render_tex"


def refuse(name):
    return (f"sys.modules.pop({name!r}, None); finder = Refuse({name!r}, path); "
            "sys.meta_path.insert(0, finder)",
            "sys.meta_path.remove(finder); gc.collect()\n"
            "print('kept' if finder.token() else 'released')")


def hidden(name):
    return (f"saved = sys.modules.get({name!r}); sys.modules[{name!r}] = None",
            f"sys.modules.pop({name!r})\nif saved is not None: sys.modules[{name!r}] = saved")


def larger_record(module, type_name, base, extra_slots):
    """`module` replaced by one whose type (a `base` subclass with `extra_slots` slots) has
    records larger than the importer's layout and the real native table; with warnings turned
    into errors, the size warning fails the import."""
    return (f"import {module} as real\n"
            f"class Larger({base}):\n"
            f"    __slots__ = tuple('s%d' % i for i in range({extra_slots}))\n"
            f"    __pyx_vtable__ = real.{type_name}.__dict__['__pyx_vtable__']\n"
            f"fake = types.ModuleType({module!r}); fake.{type_name} = Larger\n"
            f"sys.modules[{module!r}] = fake\n"
            "caught = warnings.catch_warnings(); caught.__enter__(); "
            "warnings.simplefilter('error')",
            f"caught.__exit__(None, None, None); sys.modules[{module!r}] = real")


# What each module must do after a successful retry, and what that prints.
WORKS = {
    "qmvector2": ("pygame_like = types.SimpleNamespace(x=3, y=4, clamp_magnitude_ip=None)\n"
                  "v = m.QmVector2(1, 2) + m.QmVector2(pygame_like)\n"
                  "print(v.x, v.y, m.md.__name__)",
                  "4.0 6.0 quelm_ui.core.modules"),
    "zdispatch": ("from quelm_ui.fast.qmrect.qmrect import QmRect\n"
                  "from quelm_ui.fast.quelmcobj.quelmcobj import QuelmCobject\n"
                  "from quelm_ui.fast.qmvector2.qmvector2 import QmVector2\n"
                  "zs = m.ZSystem(); owner = QuelmCobject(QmRect(0, 0, 10, 10), 1)\n"
                  "request = m.ZRequest(owner); got = []\n"
                  "request.on_scroll_func = lambda: (lambda *a: got.append(a))\n"
                  "zs.add(request); zs.cycle(QmVector2(5, 5), False, False, True, True)\n"
                  "print([(bind.name, down) for bind, down in got], zs.live_requests == [request])",
                  "[('Scroll', True)] True"),
    "quelm_raylib": ("print(m._base_color_qmvec_ez.x, len(m.__pyx_capi__))\n"
                     "try: m.begin_drawing()\n"
                     "except RuntimeError as exc: print(exc)",
                     "255.0 30\nraylib function BeginDrawing is not bound: call "
                     "init_raylib_pointers first"),
}

FAILED_IMPORTS = [
    ("qmvector2", "md hidden", hidden("quelm_ui.core.modules"), "ModuleNotFoundError"),
    ("qmvector2", "md raising", refuse("quelm_ui.core.modules"),
     "ZeroDivisionError\nreleased"),
    ("zdispatch", "numpy hidden", hidden("numpy"), "ModuleNotFoundError"),
    ("zdispatch", "sibling raising", refuse(QUELMCOBJ), "ZeroDivisionError\nreleased"),
    ("zdispatch", "larger sibling, -W error",
     larger_record(QUELMCOBJ, "QuelmCobject", "real.QuelmCobject", 1), "RuntimeWarning"),
    ("quelm_raylib", "qmvector2 hidden", hidden(QMVECTOR2), "ModuleNotFoundError"),
    ("quelm_raylib", "sibling raising", refuse(RENDERTEX), "ZeroDivisionError\nreleased"),
    ("quelm_raylib", "larger sibling, -W error",
     larger_record(RENDERTEX, "QmRenderTexture", "object", 8), "RuntimeWarning"),
]


@pytest.mark.no_leakcheck
@pytest.mark.parametrize("short, label, cause, reported", FAILED_IMPORTS,
                         ids=[f"{short}: {label}" for short, label, _, _ in FAILED_IMPORTS])
def test_an_import_that_failed_can_be_retried(run_python, short, label, cause, reported):
    path = dict((s, p) for p, s in MODULES)[short]
    fail, restore = cause
    check, expected = WORKS[short]
    proc = run_python(f"""
import importlib, sys, types, warnings
{REFUSE}
path = {path!r}
{fail}
try:
    importlib.import_module({path!r})
except Exception as exc:
    print(type(exc).__name__)
{restore}
m = importlib.import_module({path!r})
{check}
del sys.modules[{path!r}]
try:
    importlib.import_module({path!r})
except RuntimeError as exc:
    print(exc)
""")
    assert proc.stdout.splitlines() == [
        *reported.splitlines(), *expected.splitlines(),
        f"Module '{short}' has already been imported. Re-initialisation is not supported.",
    ]


@pytest.mark.no_leakcheck
@pytest.mark.parametrize("path, short", MODULES)
def test_an_initialised_module_that_only_garbage_keeps_alive_gives_way(run_python, path, short):
    # As an import that fails after exec leaves it: out of sys.modules, in a reference cycle.
    proc = run_python(f"""
        import importlib, sys, weakref
        module = importlib.import_module({path!r})
        package, _, name = {path!r}.rpartition(".")
        del sys.modules[{path!r}]
        delattr(sys.modules[package], name)
        garbage = [module]
        garbage.append(garbage)
        earlier = weakref.ref(module)
        del module, garbage
        again = importlib.import_module({path!r})
        print(earlier() is None, again is sys.modules[{path!r}], again.__name__)
    """)
    assert proc.stdout.split() == ["True", "True", path]
