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
