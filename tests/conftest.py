"""Fixtures shared by the whole suite, and the leak check (``pytest --leakcheck``).

The leak check runs every selected test function many more times in-process and fails a test
when the interpreter's allocated blocks (and, on debug builds, its total reference count) grew by
at least one per call in every measured round: a leak of even one object per call shows up as
steady growth, while caches that fill once (and the interpreter's own small per-round noise) do
not.
"""

from __future__ import annotations

import gc
import os
import subprocess
import sys
import textwrap

import pytest

os.environ.setdefault("PYGAME_HIDE_SUPPORT_PROMPT", "1")

LEAK_WARMUP = 3
LEAK_ROUNDS = 3
LEAK_CALLS_PER_ROUND = 32


def pytest_addoption(parser):
    parser.addoption("--leakcheck", action="store_true",
                     help="run each test repeatedly and fail on steady memory growth")


def pytest_configure(config):
    config.addinivalue_line("markers", "no_leakcheck: not meaningful to repeat in-process")


def _is_repeatable(item) -> bool:
    if item.get_closest_marker("no_leakcheck"):
        return False
    # Hypothesis keeps growing caches of its own between runs.
    return not getattr(item.obj, "is_hypothesis_test", False)


def _footprint() -> tuple[int, int]:
    gc.collect()
    total_refs = sys.gettotalrefcount() if hasattr(sys, "gettotalrefcount") else 0
    return sys.getallocatedblocks(), total_refs


@pytest.hookimpl(tryfirst=True)
def pytest_pyfunc_call(pyfuncitem):
    if not pyfuncitem.config.getoption("--leakcheck") or not _is_repeatable(pyfuncitem):
        return None
    func = pyfuncitem.obj
    kwargs = {name: pyfuncitem.funcargs[name] for name in pyfuncitem._fixtureinfo.argnames}
    for _ in range(LEAK_WARMUP):
        func(**kwargs)
    block_growth, ref_growth = [], []
    for _ in range(LEAK_ROUNDS):
        blocks_before, refs_before = _footprint()
        for _ in range(LEAK_CALLS_PER_ROUND):
            func(**kwargs)
        blocks_after, refs_after = _footprint()
        block_growth.append(blocks_after - blocks_before)
        ref_growth.append(refs_after - refs_before)
    if all(growth >= LEAK_CALLS_PER_ROUND for growth in block_growth):
        pytest.fail(f"allocated blocks grew in every round of {LEAK_CALLS_PER_ROUND} calls: "
                    f"{block_growth}")
    if hasattr(sys, "gettotalrefcount") and all(g >= LEAK_CALLS_PER_ROUND for g in ref_growth):
        pytest.fail(f"total references grew in every round of {LEAK_CALLS_PER_ROUND} calls: "
                    f"{ref_growth}")
    return True


@pytest.fixture
def run_python():
    """Runs a snippet in a fresh interpreter (the venv's), returning the completed process."""

    def run(code: str, *, check: bool = True) -> subprocess.CompletedProcess:
        proc = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True,
                              text=True, timeout=120)
        if check and proc.returncode != 0:
            raise AssertionError(f"snippet failed ({proc.returncode}):\n{proc.stdout}\n{proc.stderr}")
        return proc

    return run


def traceback_entries(exc: BaseException) -> list[tuple[str, str]]:
    """(function name, file name) of every traceback entry of an exception, innermost last."""
    entries = []
    tb = exc.__traceback__
    while tb is not None:
        code = tb.tb_frame.f_code
        entries.append((code.co_name, code.co_filename))
        tb = tb.tb_next
    return entries


@pytest.fixture
def entries_of():
    return traceback_entries
