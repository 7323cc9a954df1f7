"""The typing stub of quelm_raylib: it matches the runtime (mypy's stubtest), and a type checker
reading it refuses the shapes the bridge refuses."""

from __future__ import annotations

import re
import subprocess
import sys

import pytest

MODULE = "quelm_ui.fast.raylib.quelm_raylib"

pytestmark = pytest.mark.no_leakcheck


def run_module(*args: str, cwd) -> subprocess.CompletedProcess:
    return subprocess.run([sys.executable, "-m", *args], capture_output=True, text=True,
                          timeout=600, cwd=cwd)


def test_stub_matches_the_runtime(tmp_path):
    proc = run_module("mypy.stubtest", MODULE, cwd=tmp_path)
    assert proc.returncode == 0, proc.stdout + proc.stderr


# Each line marked `# E` must get a mypy error and no other line may.
USAGE = """\
from quelm_ui.fast.qmvector2.qmvector2 import QmVector2
from quelm_ui.fast.raylib import quelm_raylib as rl

class Texture:
    id = 1
    width = 2
    height = 3
    mipmaps = 1
    format = 7

class Shader:
    id = 1
    locs = 0

t, s = Texture(), Shader()
rl.init_raylib_pointers({"DrawTextureRec": 0})
rl.draw_texture_rec(t, (0, 0, 1, 1), (1.5, 2), (1, 2, 3))
rl.draw_texture_rec(t, (0, 0, 1, 1), (1.5, 2), (1, 2, 3, 4))
rl.draw_texture_vec(t, (1, 2), (1, 2, 3), flip=[])
rl.draw_texture_qmvec_ez(t, QmVector2(1, 2), True)
rl.draw_texture_pro(t, (0, 0, 1, 1), (0, 0, 2, 2), (0, 0), 90, (1, 2, 3))
rl.set_shader_value(s, 1, (1, 2.5), 1)
rl.set_qmshader_value_float_v(None, 1, (x / 2 for x in range(3)))  # E
rl.set_qmshader_value_vec4_v(None, 1, [{"x": 1, "y": 2, "z": 3, "w": 4}])  # E
n: int = rl.get_shader_location(s, "time")
rl.init_raylib_pointers(None)  # E
rl.clear_background([1, 2, 3])  # E
rl.clear_background((1, 2))  # E
rl.draw_texture_rec(t, (0, 0, 1), (1, 2), (1, 2, 3))  # E
rl.draw_texture_rec(object(), (0, 0, 1, 1), (1, 2), (1, 2, 3))  # E
rl.draw_texture_qmvec_ez(t, (1, 2), True)  # E
rl.begin_shader_mode(t)  # E
rl.get_shader_location(s, b"time")  # E
rl.begin_drawing(1)  # E
"""


def test_type_checkers_see_the_shapes(tmp_path):
    (tmp_path / "usage.py").write_text(USAGE)
    proc = run_module("mypy", "--no-error-summary", "--cache-dir", str(tmp_path / "cache"),
                      "usage.py", cwd=tmp_path)
    errors = {int(m[1]) for m in re.finditer(r"^usage\.py:(\d+): error:", proc.stdout, re.M)}
    expected = {n for n, line in enumerate(USAGE.splitlines(), 1) if line.endswith("# E")}
    assert errors == expected, proc.stdout + proc.stderr
