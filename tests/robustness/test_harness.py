"""The robustness harness (tests/robustness/run.py) kept runnable: a short seeded run reaches
every callable and finds nothing; a planted crash or hang comes back as a finding with its
replay, and a callable that is never reached fails the run."""

from __future__ import annotations

import os
import re
import subprocess
import sys

import pytest

RUN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "run.py")
SUMMARY = re.compile(r"robustness: (\d+) calls, (\d+)/(\d+) callables covered, seed (\d+), "
                     r"(\d+) findings, \d+ s")


def harness(*args: str) -> subprocess.CompletedProcess:
    return subprocess.run([sys.executable, RUN, *args], capture_output=True, text=True,
                          timeout=300)


def test_a_short_seeded_run_reaches_every_callable_and_finds_nothing():
    result = harness("--seconds", "3", "--seed", "20261208")
    summary = SUMMARY.fullmatch(result.stdout.strip().splitlines()[-1])
    assert summary, result.stdout + result.stderr
    calls, covered, total, seed, findings = map(int, summary.groups())
    assert (covered, seed, findings, result.returncode) == (total, 20261208, 0, 0), result.stdout
    assert calls >= total > 200


@pytest.mark.parametrize("plant, report, findings", [
    ("crash", r"FINDING (crash \(SIGSEGV\)|sanitizer report): seed 5 call \d+: planted crash",
     1),
    ("hang", r"FINDING hang \(timeout\): seed 5 call \d+: planted hang\(\)", 1),
    ("unreachable", r"NOT REACHED: planted unreachable", 0),
])
def test_a_planted_fault_fails_the_run_and_is_reported(plant, report, findings):
    result = harness("--seconds", "0", "--seed", "5", "--timeout", "1", "--plant", plant,
                     "--only", "planted|QmVector2.x")
    assert result.returncode == 1
    assert re.search(report, result.stdout), result.stdout
    assert bool(re.search(r"replay: .* --seed 5 .*--replay \d+", result.stdout)) == bool(findings)
    assert SUMMARY.fullmatch(result.stdout.strip().splitlines()[-1]).group(5) == str(findings)


EXHAUST = os.path.join(os.path.dirname(RUN), "exhaust.py")
SWEPT = re.compile(r"exhaustion sweep: (\d+) callables and imports swept, (\d+) failure points "
                   r"injected, (\d+) findings, \d+ s")


@pytest.mark.parametrize("only, swept, finding", [
    ("^QmVector2.__neg__$|^capi end_drawing$", 2, None),
    # Every point fails the list it returns: each one is a finding, with its replay.
    ("^planted swallow$", 0, r"FINDING returned list\[\] where the call gives returned "
                             r"list\[int:0, int:1, int:2\]: planted swallow k=1\n  replay: "),
])
def test_the_exhaustion_sweep_judges_every_failure_point(only, swept, finding):
    result = subprocess.run([sys.executable, EXHAUST, "--plant", "--only", only],
                            capture_output=True, text=True, timeout=300)
    summary = SWEPT.fullmatch(result.stdout.strip().splitlines()[-1])
    assert summary, result.stdout + result.stderr
    names, points, found = map(int, summary.groups())
    assert names == (swept or 1) and points >= names, result.stdout
    assert (found, result.returncode) == ((points, 1) if finding else (0, 0)), result.stdout
    assert finding is None or re.search(finding, result.stdout), result.stdout
