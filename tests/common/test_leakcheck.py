"""The leak check itself: a test that leaks one object per call must fail under --leakcheck, and
one that only fills a cache once must pass."""

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
    proc = subprocess.run([sys.executable, "-m", "pytest", "--leakcheck", "-q", "-p", "no:cacheprovider",
                           "--rootdir", str(tmp_path), str(tmp_path)],
                          capture_output=True, text=True, timeout=120)
    assert "test_sample.py::test_leaks_one_object_per_call" in proc.stdout
    assert "allocated blocks grew in every round" in proc.stdout
    assert "1 failed, 1 passed" in proc.stdout
