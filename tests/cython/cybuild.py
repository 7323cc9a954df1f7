"""Builds test-only Cython extension modules, the way the toolkit builds its own native modules.

`build()` translates `.pyx` files with a given Cython (the venv's, or a release installed into a
private directory with `ensure_cython`), compiles them against the running interpreter's headers
and returns the directory to put first on `sys.path`. Results are cached under
`build/cython/<name>-<key>/`, keyed by the interpreter, the Cython release and the sources
(and every `.pxd` on the include path), so test sessions after the first reuse them.
"""

from __future__ import annotations

import fcntl
import hashlib
import os
import shutil
import subprocess
import sys
import sysconfig
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
CACHE = REPO / "build" / "cython"


def ensure_cython(requirement: str) -> Path:
    """Installs `requirement` (e.g. "cython==3.0.12") into a private directory, once, and returns
    that directory (to go on PYTHONPATH of the translation step only)."""
    target = CACHE / ("tool-" + requirement.replace("=", "").replace("<", "").replace(">", ""))
    marker = target / ".complete"
    if marker.exists():
        return target
    CACHE.mkdir(parents=True, exist_ok=True)
    with _locked(CACHE / ".tool.lock"):
        if not marker.exists():
            shutil.rmtree(target, ignore_errors=True)
            subprocess.run([sys.executable, "-m", "pip", "install", "--quiet", "--no-deps",
                            "--disable-pip-version-check", "--target", str(target), requirement],
                           check=True)
            marker.touch()
    return target


def build(name: str, modules: dict[str, Path], *, include_path: list[Path] = (),
          cython_dir: Path | None = None, cplus: bool = False,
          macros: dict[str, str] | None = None) -> Path:
    """Translates and compiles `modules` (dotted module name -> .pyx path); returns the root
    directory holding the built packages. `include_path` is searched for cimported `.pxd` files;
    `macros` are defined for the C compiler (e.g. {"CYTHON_USE_TYPE_SPECS": "1"} builds the
    types as heap types). Package directories get an empty `__init__.py` unless the module tree
    provides one."""
    macros = dict(macros or {})
    key = _cache_key(modules, include_path, cython_dir, cplus, macros)
    out = CACHE / f"{name}-{key}"
    marker = out / ".complete"
    if marker.exists():
        return out
    CACHE.mkdir(parents=True, exist_ok=True)
    with _locked(CACHE / f"{name}.lock"):
        if marker.exists():
            return out
        shutil.rmtree(out, ignore_errors=True)
        out.mkdir(parents=True)
        with ThreadPoolExecutor(max_workers=2) as pool:
            jobs = [pool.submit(_build_one, dotted, Path(pyx), out, include_path, cython_dir,
                                cplus, macros) for dotted, pyx in modules.items()]
            for job in jobs:
                job.result()
        for dotted in modules:
            _add_package_inits(out, dotted)
        marker.touch()
    return out


def _build_one(dotted: str, pyx: Path, out: Path, include_path, cython_dir, cplus: bool,
               macros: dict[str, str]) -> None:
    parts = dotted.split(".")
    target_dir = out.joinpath(*parts[:-1])
    target_dir.mkdir(parents=True, exist_ok=True)
    generated = out / "_gen" / (dotted + (".cpp" if cplus else ".c"))
    generated.parent.mkdir(parents=True, exist_ok=True)
    env = dict(os.environ)
    if cython_dir is not None:
        env["PYTHONPATH"] = str(cython_dir)
    command = [sys.executable, "-m", "cython", "-3", "--module-name", dotted, "-o",
               str(generated)]
    if cplus:
        command.append("--cplus")
    for directory in include_path:
        command += ["-I", str(directory)]
    command.append(str(pyx))
    _run(command, env=env)
    include = sysconfig.get_paths()["include"]
    compiler = os.environ.get("CXX" if cplus else "CC", "g++" if cplus else "gcc")
    library = target_dir / (parts[-1] + sysconfig.get_config_var("EXT_SUFFIX"))
    flags = ["-shared", "-fPIC", "-O1", "-w", f"-I{include}"]
    flags += [f"-D{macro}={value}" for macro, value in sorted(macros.items())]
    if cplus:
        flags.append("-std=c++17")
    _run([compiler, *flags, str(generated), "-o", str(library)])


def _add_package_inits(out: Path, dotted: str) -> None:
    directory = out
    for part in dotted.split(".")[:-1]:
        directory = directory / part
        init = directory / "__init__.py"
        if not init.exists():
            init.write_text("")


def _cache_key(modules, include_path, cython_dir, cplus: bool, macros: dict[str, str]) -> str:
    digest = hashlib.sha256()
    digest.update(f"{sys.executable}|{sysconfig.get_config_var('SOABI')}|{sys.abiflags}|"
                  f"{cython_dir}|{cplus}|{sorted(macros.items())}".encode())
    for dotted, pyx in sorted(modules.items()):
        digest.update(dotted.encode())
        digest.update(Path(pyx).read_bytes())
    for directory in include_path:
        for pxd in sorted(Path(directory).rglob("*.pxd")):
            digest.update(str(pxd.relative_to(directory)).encode())
            digest.update(pxd.read_bytes())
    digest.update(Path(__file__).read_bytes())
    return digest.hexdigest()[:16]


def _run(command: list[str], env: dict | None = None) -> None:
    result = subprocess.run(command, env=env, capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError(f"{' '.join(command)} failed:\n{result.stdout}\n{result.stderr}")


class _locked:
    def __init__(self, path: Path):
        self.path = path

    def __enter__(self):
        self.handle = open(self.path, "w")
        fcntl.flock(self.handle, fcntl.LOCK_EX)
        return self

    def __exit__(self, *exc):
        fcntl.flock(self.handle, fcntl.LOCK_UN)
        self.handle.close()
