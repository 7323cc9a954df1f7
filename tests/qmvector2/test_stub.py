"""The typing stub of qmvector2: it matches the runtime (mypy's stubtest), and a type checker
reading it sees the operator rules (vectors only for + and -, no reflected forms, no `*=` by a
number)."""

import pathlib
import re
import subprocess
import sys
import textwrap

import pytest

HERE = pathlib.Path(__file__).resolve().parent
MODULE = "quelm_ui.fast.qmvector2.qmvector2"

pytestmark = pytest.mark.no_leakcheck


def run_module(*args: str, cwd: pathlib.Path) -> subprocess.CompletedProcess:
    return subprocess.run([sys.executable, "-m", *args], capture_output=True, text=True,
                          timeout=600, cwd=cwd)


def test_stub_matches_the_runtime(tmp_path):
    proc = run_module("mypy.stubtest", "--allowlist", str(HERE / "stubtest_allowlist.txt"),
                      MODULE, cwd=tmp_path)
    assert proc.returncode == 0, proc.stdout + proc.stderr


# Each line marked `# E` must get a mypy error and no other line may; reveal_type lines state
# the type mypy must infer.
USAGE = """\
from quelm_ui.fast.qmvector2.qmvector2 import QmVector2

v = QmVector2(1, 2)
w = QmVector2([1, 2])
u = QmVector2(v)
reveal_type(v + w)  # QmVector2
reveal_type(v * 2.0)  # QmVector2
reveal_type(v * w)  # QmVector2
reveal_type(v / 2)  # QmVector2
reveal_type(v // w)  # QmVector2
reveal_type(-v)  # QmVector2
reveal_type(v.xy)  # QmVector2
reveal_type(v[0])  # float
reveal_type(v.length)  # float
reveal_type(v.dot(w))  # float
reveal_type(v.to_tuple())  # tuple[float, float]
reveal_type(v.get_int_tuple())  # tuple[int, int]
reveal_type(v.to_int())  # QmVector2
reveal_type(v.sadd(v, w))  # None
reveal_type(QmVector2.from_ints(1, 2))  # QmVector2
v += w
v -= w
v *= w
v = v / 2
v[1] = 3
v + 1  # E
1 + v  # E
2 * v  # E
v *= 2  # E
v.distance_to(None)  # E
QmVector2(1, 2, 3)  # E
QmVector2("ab")  # E
+v  # E
"""


def test_type_checkers_see_the_operator_rules(tmp_path):
    (tmp_path / "usage.py").write_text(USAGE)
    proc = run_module("mypy", "--no-error-summary", "--cache-dir", str(tmp_path / "cache"),
                      "usage.py", cwd=tmp_path)
    lines = USAGE.splitlines()
    revealed, errors = {}, set()
    for match in re.finditer(r"^usage\.py:(\d+): (note|error): (.*)$", proc.stdout, re.M):
        number, kind, text = int(match[1]), match[2], match[3]
        if kind == "error":
            errors.add(number)
        elif text.startswith("Revealed type is"):
            revealed[number] = text.split('"')[1].replace(f"{MODULE}.", "")
    expected_errors = {n for n, line in enumerate(lines, 1) if line.endswith("# E")}
    expected_reveals = {n: line.split("# ")[1] for n, line in enumerate(lines, 1)
                        if line.startswith("reveal_type")}
    assert errors == expected_errors, proc.stdout + proc.stderr
    assert revealed == expected_reveals, proc.stdout + proc.stderr
