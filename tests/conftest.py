"""Fixtures shared by the whole suite, and the leak check (``pytest --leakcheck``).

The leak check runs every selected test (set-up, call and tear-down, so function-scoped fixtures
are fresh each time) many more times in-process and fails a test
when the interpreter's allocated blocks (and, on debug builds, its total reference count) grew by
at least one per call in every measured round: a leak of even one object per call shows up as
steady growth, while caches that fill once (and the interpreter's own small per-round noise) do
not. ``--leakcheck-exact`` applies CPython's own refleak criterion instead (meant for the debug
interpreter, where reference totals are exact): any growth at all in every measured round fails.
"""

from __future__ import annotations

import gc
import os
import subprocess
import sys
import textwrap

import pytest
from _pytest.runner import runtestprotocol

os.environ.setdefault("PYGAME_HIDE_SUPPORT_PROMPT", "1")

LEAK_WARMUP = 8
LEAK_ROUNDS = 3
LEAK_CALLS_PER_ROUND = 32
LEAK_ATTEMPTS = 3
LEAK_EXTRA_WARMUP = 256
LEAK_EXACT_CALLS_PER_ROUND = 8
LEAK_EXACT_EXTRA_WARMUP = 64


def pytest_addoption(parser):
    parser.addoption("--leakcheck", action="store_true",
                     help="run each test repeatedly and fail on steady memory growth")
    parser.addoption("--leakcheck-exact", action="store_true",
                     help="the leak check, failing on any growth in every round (debug builds)")


def pytest_configure(config):
    config.addinivalue_line("markers", "no_leakcheck: not meaningful to repeat in-process")


def _is_repeatable(item) -> bool:
    if item.get_closest_marker("no_leakcheck"):
        return False
    # Hypothesis keeps growing caches of its own between runs.
    return not getattr(item.obj, "is_hypothesis_test", False)


def _footprint() -> tuple[int, int]:
    # The interpreter's type and specialisation caches fill with every new class a test makes
    # (ctypes function types, subclasses): emptied before each measurement, as CPython's own
    # refleak runs do, so that what remains is what the code under test kept.
    sys._clear_internal_caches()
    # A full collection empties the free lists at its end, and what is freed right after it (the
    # count it returns when that is no cached small int, the values it hands to gc.callbacks,
    # which Hypothesis fills) then sits on them, counted as allocated, until the next one. After
    # a round that left garbage that is a block or two more than after an idle one, in every
    # round, with nothing kept (tools/repro-gc-freelist-blocks.py). A second collection finds
    # no garbage, so both counts see the free lists alike; anything kept survives it.
    gc.collect()
    gc.collect()
    total_refs = sys.gettotalrefcount() if hasattr(sys, "gettotalrefcount") else 0
    return sys.getallocatedblocks(), total_refs


def _run_once(item, nextitem):
    """One full set-up / call / tear-down of `item`, so function-scoped fixtures are fresh."""
    reports = runtestprotocol(item, nextitem=nextitem, log=False)
    item._initrequest()
    return reports


def _failed(reports) -> bool:
    return any(report.failed for report in reports)


def _calls_per_round(item) -> int:
    # Under the exact criterion a leak of one per call shows in a round of any size; shorter
    # rounds keep the debug interpreter's run affordable.
    return LEAK_EXACT_CALLS_PER_ROUND if _exact(item) else LEAK_CALLS_PER_ROUND


def _exact(item) -> bool:
    return item.config.getoption("--leakcheck-exact")


def _measure_rounds(item, nextitem) -> str | None:
    """Runs the rounds; returns the failure text when the footprint grew by a call's worth (by
    anything, under --leakcheck-exact) in every round, None otherwise (also when the test itself
    failed: its final run reports it)."""
    calls = _calls_per_round(item)
    threshold = 1 if _exact(item) else calls
    block_growth, ref_growth = [], []
    for _ in range(LEAK_ROUNDS):
        blocks_before, refs_before = _footprint()
        for _ in range(calls):
            if _failed(_run_once(item, nextitem)):
                return None
        blocks_after, refs_after = _footprint()
        block_growth.append(blocks_after - blocks_before)
        ref_growth.append(refs_after - refs_before)
    if all(growth >= threshold for growth in block_growth):
        return f"allocated blocks grew in every round of {calls} calls: {block_growth}"
    if hasattr(sys, "gettotalrefcount") and all(g >= threshold for g in ref_growth):
        report = f"total references grew in every round of {calls} calls: {ref_growth}"
        if not _exact(item):
            return report
        gained = _objects_gaining_references(item, nextitem)
        if gained:
            return f"{report}, held by {gained}"
    return None


def _census_roots() -> list:
    return [module for name, module in list(sys.modules.items())
            if name.startswith(("quelm_ui", "quelm_ui_testbeds"))]


def _reference_census(limit: int = 200_000) -> list:
    """The objects reachable from our modules (their globals, the modules and types those name,
    and so on): every long-lived object the code under test can take a reference to."""
    seen = {}
    frontier = _census_roots()
    while frontier and len(seen) < limit:
        fresh = []
        for obj in frontier:
            if id(obj) not in seen:
                seen[id(obj)] = obj
                fresh.extend(gc.get_referents(obj))
        frontier = fresh
    return list(seen.values())


def _objects_gaining_references(item, nextitem) -> list[str]:
    """Reference totals of a debug interpreter miss the reference operations that release-ABI
    extension modules (NumPy's wheels) inline, so a steady rise there can be theirs alone. A
    leaked reference always raises some object's own count: a leaked new object shows in the
    blocks, and a leaked reference to a long-lived one shows here, as an object whose count
    grew by a reference per call over one more round."""
    calls = _calls_per_round(item)
    gc.collect()
    objects = _reference_census()
    before = [sys.getrefcount(obj) for obj in objects]
    for _ in range(calls):
        if _failed(_run_once(item, nextitem)):
            return []
    gc.collect()
    after = [sys.getrefcount(obj) for obj in objects]
    return [f"{type(obj).__name__} {obj!r:.60} (+{a - b})"
            for obj, b, a in zip(objects, before, after) if a - b >= calls]


def _leak_report(item, nextitem) -> str | None:
    """A leak grows without bound; bounded caches (NumPy's, the interpreter's free lists) stop
    growing once full. A suspicious measurement is therefore repeated after a long extra
    warm-up, and only growth that persists through every attempt is reported."""
    reports = []
    extra_warmup = LEAK_EXACT_EXTRA_WARMUP if _exact(item) else LEAK_EXTRA_WARMUP
    for attempt in range(LEAK_ATTEMPTS):
        if attempt:
            for _ in range(extra_warmup):
                if _failed(_run_once(item, nextitem)):
                    return None
        report = _measure_rounds(item, nextitem)
        if report is None:
            return None
        reports.append(report)
    return "; then ".join(reports)


@pytest.hookimpl(tryfirst=True)
def pytest_runtest_protocol(item, nextitem):
    config = item.config
    enabled = config.getoption("--leakcheck") or config.getoption("--leakcheck-exact")
    if not enabled or not _is_repeatable(item):
        return None
    item.ihook.pytest_runtest_logstart(nodeid=item.nodeid, location=item.location)
    leak = None
    warm_ok = all(not _failed(_run_once(item, nextitem)) for _ in range(LEAK_WARMUP))
    if warm_ok:
        # What is alive now belongs to the session: frozen, so that the collections between
        # rounds walk only what the test makes (a full walk per measurement dominated the run).
        gc.collect()
        gc.freeze()
        try:
            leak = _leak_report(item, nextitem)
        finally:
            gc.unfreeze()
    reports = _run_once(item, nextitem)
    for report in reports:
        if leak and report.when == "call" and report.passed:
            report.outcome = "failed"
            report.longrepr = leak
        item.ihook.pytest_runtest_logreport(report=report)
    item.ihook.pytest_runtest_logfinish(nodeid=item.nodeid, location=item.location)
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
