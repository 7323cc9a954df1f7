"""The leak check itself: a test that leaks one object per call must fail under --leakcheck, and
one that only fills a cache once must pass."""

import os
import pathlib
import subprocess
import sys

import pytest

TESTS = pathlib.Path(__file__).resolve().parents[1]

SAMPLE = '''
import ctypes

_cache = {}


def test_leaks_one_object_per_call():
    ctypes.pythonapi.Py_IncRef(ctypes.py_object(object()))


def test_fills_a_cache_once():
    _cache.setdefault("key", [object() for _ in range(100)])
'''


@pytest.mark.no_leakcheck
def test_leak_check_tells_leaks_from_caches(tmp_path):
    (tmp_path / "conftest.py").write_text((TESTS / "conftest.py").read_text())
    (tmp_path / "test_sample.py").write_text(SAMPLE)
    # Block counts come from the interpreter's own allocator, which the sanitizer stage swaps
    # for malloc (PYTHONMALLOC); the sample runs with the default one.
    env = {key: value for key, value in os.environ.items() if key != "PYTHONMALLOC"}
    proc = subprocess.run([sys.executable, "-m", "pytest", "--leakcheck", "-q", "-p", "no:cacheprovider",
                           "--rootdir", str(tmp_path), str(tmp_path)],
                          capture_output=True, text=True, timeout=120, env=env)
    assert "test_sample.py::test_leaks_one_object_per_call" in proc.stdout
    assert "allocated blocks grew in every round" in proc.stdout
    assert "1 failed, 1 passed" in proc.stdout


EXACT_SAMPLE = '''
import ctypes

import numpy as np

from quelm_ui.fast.zsystem import zdispatch


def test_leaks_a_reference_to_a_module_global():
    ctypes.pythonapi.Py_IncRef(ctypes.py_object(zdispatch.np))


def test_only_uses_release_abi_numpy():
    np.empty((0, 4), dtype=np.int32)
'''


@pytest.mark.no_leakcheck
@pytest.mark.skipif(not hasattr(sys, "gettotalrefcount"), reason="needs a debug interpreter")
def test_exact_leak_check_tells_leaked_references_from_release_abi_accounting(tmp_path):
    """NumPy's wheels inline their reference operations, which a debug interpreter's total does
    not see: that steady drift must pass, while a leaked reference to a long-lived object,
    which no block count shows, must fail."""
    (tmp_path / "conftest.py").write_text((TESTS / "conftest.py").read_text())
    (tmp_path / "test_sample.py").write_text(EXACT_SAMPLE)
    proc = subprocess.run([sys.executable, "-m", "pytest", "--leakcheck-exact", "-q", "-p",
                           "no:cacheprovider", "--rootdir", str(tmp_path), str(tmp_path)],
                          capture_output=True, text=True, timeout=300)
    assert "test_sample.py::test_leaks_a_reference_to_a_module_global" in proc.stdout
    assert "total references grew in every round" in proc.stdout
    assert "held by [\"module <module 'numpy'" in proc.stdout
    assert "1 failed, 1 passed" in proc.stdout


GARBAGE_SAMPLE = '''
import gc

_kept = []
gc.callbacks.append(lambda phase, info: None)  # as Hypothesis installs at its first @given run
gc.disable()  # only the leak check's own collections: each finds a round's worth of garbage


def test_leaves_cyclic_garbage():
    for _ in range(300):
        cycle = []
        cycle.append(cycle)


def test_keeps_one_object_per_call():
    _kept.append(object())
'''


@pytest.mark.no_leakcheck
def test_exact_leak_check_tells_leaks_from_free_lists_refilled_after_a_collection(tmp_path):
    """A full collection empties the free lists; the count it returns (more than the cached
    small ints) and what it hands to gc.callbacks are freed right after it and stay counted
    until the next one. Garbage made per call must pass; one object kept per call must fail."""
    (tmp_path / "conftest.py").write_text((TESTS / "conftest.py").read_text())
    (tmp_path / "test_sample.py").write_text(GARBAGE_SAMPLE)
    env = {key: value for key, value in os.environ.items() if key != "PYTHONMALLOC"}
    proc = subprocess.run([sys.executable, "-m", "pytest", "--leakcheck-exact", "-q", "-p",
                           "no:cacheprovider", "--rootdir", str(tmp_path), str(tmp_path)],
                          capture_output=True, text=True, timeout=300, env=env)
    assert "test_sample.py::test_keeps_one_object_per_call" in proc.stdout
    assert "1 failed, 1 passed" in proc.stdout, proc.stdout
