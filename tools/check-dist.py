#!/usr/bin/env python3
"""Check the release artefacts `make wheel` leaves in dist/: the two sdists and, for each CPython
version and platform, the two wheels, their tags (the manylinux ones against `auditwheel show`),
and what each wheel holds (the system's wheel: only the three modules' packages and the public
headers; nothing the toolkit owns). A Windows wheel's modules must export their PyInit_ entry
alone, import nothing but the interpreter's DLL, Windows' own kernel32 and the Universal C
Runtime, and hold no fused multiply-add instruction (as on Linux: results must be plain IEEE
arithmetic).

Usage: tools/check-dist.py <dist dir> <version>... [--arch=<arch>[:<version>,...]]... (e.g. 3.13
3.14 3.15 --arch=x86_64 --arch=aarch64 --arch=win_amd64:3.13; x86_64 alone without --arch; a
platform given versions has wheels for those only). Prints each wheel's tag, size and file list.
"""

from __future__ import annotations

import pathlib
import re
import subprocess
import sys
import tempfile
import zipfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
WINDOWS = "win_amd64"
MODULE_PACKAGES = {
    "quelm_ui/fast/qmvector2": "qmvector2",
    "quelm_ui/fast/zsystem": "zdispatch",
    "quelm_ui/fast/raylib": "quelm_raylib",
}
INCLUDE = "quelm_ui/fast/qmvector2/include/"
CONTRACT_HEADERS = [
    "quelm_ui/fast/qmvector2/qmvector2_api.hpp",
    "quelm_ui/fast/zsystem/zdispatch_api.hpp",
    "quelm_ui/fast/raylib/quelm_raylib_capi.hpp",
    "quelm_ui/fast/raylib/raylib_records.hpp",
]
# What the toolkit owns: the system's wheel must not hold any of it.
TOOLKIT_FILES = ("quelm_ui/__init__.py", "quelm_ui/fast/__init__.py", "quelm_ui/py.typed")
TOOLKIT_DIRS = ("quelm_ui/core/", "quelm_ui/fast/qmparam/", "quelm_ui/fast/qmrect/",
                "quelm_ui/fast/quelmcache/", "quelm_ui/fast/quelmcobj/", "quelm_ui/fast/qmshader/",
                "quelm_ui/fast/qmrendertex/")


def fail(message: str) -> None:
    sys.exit(f"check-dist: {message}")


def only(dist: pathlib.Path, pattern: str) -> pathlib.Path:
    found = sorted(dist.glob(pattern))
    if len(found) != 1:
        fail(f"expected one {pattern} in {dist}, found {[p.name for p in found]}")
    return found[0]


def check_tag(wheel: pathlib.Path, arch: str) -> str:
    """The wheel's platform tag, after checking it is a manylinux tag of `arch` that auditwheel
    agrees with."""
    platform = wheel.stem.split("-")[-1]
    if not re.fullmatch(rf"manylinux_\d+_\d+_{arch}", platform):
        fail(f"{wheel.name}: platform tag {platform} is not a manylinux tag for {arch}")
    shown = subprocess.run([pathlib.Path(sys.executable).parent / "auditwheel", "show", wheel],
                           capture_output=True, text=True, check=True).stdout
    consistent = re.search(r'consistent with the following platform tag: "([^"]+)"',
                           " ".join(shown.split()))
    if consistent is None or consistent.group(1) != platform:
        fail(f"{wheel.name}: auditwheel show does not confirm {platform}:\n{shown}")
    return platform


def check_windows_tag(wheel: pathlib.Path, arch: str) -> str:
    platform = wheel.stem.split("-")[-1]
    if platform != arch:
        fail(f"{wheel.name}: platform tag {platform} is not {arch}")
    return platform


def ext_suffix(wheel: pathlib.Path, arch: str) -> str:
    """The extension-module suffix of the interpreter a wheel is for (cp314 on x86_64:
    .cpython-314-x86_64-linux-gnu.so; cp313 on win_amd64: .cp313-win_amd64.pyd)."""
    tag = wheel.name.split("-")[-2]
    if arch == WINDOWS:
        return f".{tag}-{arch}.pyd"
    return f".cpython-{tag.removeprefix('cp')}-{arch}-linux-gnu.so"


def windows_import_allowed(dll: str, tag: str) -> bool:
    """The interpreter's own DLL (python313.dll for cp313), kernel32 and the Universal C Runtime's
    API sets: what the official interpreter itself needs, so nothing a user must install."""
    dll = dll.lower()
    return (dll in (f"python{tag.removeprefix('cp')}.dll", "kernel32.dll")
            or dll.startswith("api-ms-win-crt-"))


def check_windows_modules(wheel: pathlib.Path, names: list[str]) -> None:
    tag = wheel.name.split("-")[-2]
    with zipfile.ZipFile(wheel) as archive, tempfile.TemporaryDirectory() as scratch:
        for name in names:
            if not name.endswith(".pyd"):
                continue
            module = archive.extract(name, scratch)
            headers = subprocess.run(["objdump", "-p", module], capture_output=True, text=True,
                                     check=True).stdout
            imported = re.findall(r"DLL Name: (\S+)", headers)
            if not imported or not any(dll.lower().startswith("python") for dll in imported):
                fail(f"{wheel.name}: {name} imports {imported}, not the interpreter's DLL")
            table = headers.partition("[Ordinal/Name Pointer] Table")[2].split("\n\n")[0]
            exported = re.findall(r"\[\s*\d+\]\s+(\S+)", table)
            entry = "PyInit_" + name.rsplit("/", 1)[-1].split(".")[0]
            if exported != [entry]:
                fail(f"{wheel.name}: {name} exports {exported}, not {entry} alone")
            foreign = [dll for dll in imported if not windows_import_allowed(dll, tag)]
            if foreign:
                fail(f"{wheel.name}: {name} imports {foreign}; only python{tag[2:]}.dll, "
                     f"KERNEL32.dll and the UCRT's api-ms-win-crt-* may be imported")
            code = subprocess.run(["objdump", "-d", "--no-show-raw-insn", module],
                                  capture_output=True, text=True, check=True).stdout
            fused = re.search(r"\bvf(n?)m(add|sub)\w*", code)
            if fused:
                fail(f"{wheel.name}: {name} holds the fused multiply-add {fused.group(0)}")


def check_system_wheel(names: list[str], dist_info: str, suffix: str) -> None:
    for name in names:
        if name.startswith(dist_info + "/"):
            continue
        if name in TOOLKIT_FILES or name.startswith(TOOLKIT_DIRS):
            fail(f"the system's wheel holds the toolkit's file {name}")
        if not any(name.startswith(package + "/") for package in MODULE_PACKAGES):
            fail(f"the system's wheel holds {name}, outside the three modules' packages")
        if name.endswith((".cpp", ".c")) or (name.endswith((".hpp", ".h"))
                                             and not name.startswith(INCLUDE)):
            fail(f"the system's wheel holds the source file {name}")
    present = set(names)
    for package, module in MODULE_PACKAGES.items():
        required = [f"{package}/{file}" for file in
                    ("__init__.py", "py.typed", f"{module}.pyi", f"{module}{suffix}")]
        # Whatever Python-facing file the source package has (.pxd declarations included).
        source = ROOT / "src" / package
        required += [f"{package}/{path.name}" for path in source.iterdir()
                     if path.suffix in (".py", ".pyi", ".pxd", ".typed")]
        for name in required:
            if name not in present:
                fail(f"the system's wheel lacks {name}")
    for header in CONTRACT_HEADERS:
        if INCLUDE + header not in present:
            fail(f"the system's wheel lacks the header {INCLUDE + header}")


def check_standins_wheel(names: list[str], dist_info: str, suffix: str) -> None:
    for name in names:
        if name.startswith(dist_info + "/"):
            continue
        if not name.startswith("quelm_ui/") or any(name.startswith(package + "/")
                                                   for package in MODULE_PACKAGES):
            fail(f"the stand-ins' wheel holds {name}")
    for name in TOOLKIT_FILES + ("quelm_ui/core/enums.py", "quelm_ui/core/modules.py",
                                 f"quelm_ui/fast/qmrect/qmrect{suffix}"):
        if name not in names:
            fail(f"the stand-ins' wheel lacks {name}")


def describe(wheel: pathlib.Path, platform: str, names: list[str]) -> None:
    print(f"{wheel.name}: tag {platform}, {wheel.stat().st_size} bytes, {len(names)} files")
    with zipfile.ZipFile(wheel) as archive:
        for info in archive.infolist():
            print(f"  {info.file_size:>9}  {info.filename}")


def main() -> None:
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    dist = pathlib.Path(sys.argv[1])
    tags = ["cp" + version.replace(".", "") for version in sys.argv[2:]
            if not version.startswith("--")]
    # Each platform with the versions it has wheels for.
    platforms: dict[str, list[str]] = {}
    for arg in sys.argv[2:]:
        if arg.startswith("--arch="):
            arch, _, versions = arg.removeprefix("--arch=").partition(":")
            platforms[arch] = (["cp" + v.replace(".", "") for v in versions.split(",")]
                               if versions else tags)
    platforms = platforms or {"x86_64": tags}
    only(dist, "quelm_ui_fast-*.tar.gz")
    only(dist, "quelm_ui_standins-*.tar.gz")
    expected = 2 + 2 * sum(len(arch_tags) for arch_tags in platforms.values())
    if len(list(dist.iterdir())) != expected:
        fail(f"{dist} holds other than the two sdists and two wheels for each of {platforms}: "
             f"{sorted(p.name for p in dist.iterdir())}")
    for arch, arch_tags in platforms.items():
        for tag in arch_tags:
            for pattern, check in (
                    (f"quelm_ui_fast-*-{tag}-{tag}-*{arch}.whl", check_system_wheel),
                    (f"quelm_ui_standins-*-{tag}-{tag}-*{arch}.whl", check_standins_wheel)):
                wheel = only(dist, pattern)
                platform = (check_windows_tag if arch == WINDOWS else check_tag)(wheel, arch)
                with zipfile.ZipFile(wheel) as archive:
                    names = [name for name in archive.namelist() if not name.endswith("/")]
                dist_info = "-".join(wheel.name.split("-")[:2]) + ".dist-info"
                check(names, dist_info, ext_suffix(wheel, arch))
                if arch == WINDOWS:
                    check_windows_modules(wheel, names)
                describe(wheel, platform, names)
    print("check-dist: the sdists and the wheels are complete: " + "; ".join(
        f"{arch} {', '.join(arch_tags)}" for arch, arch_tags in platforms.items()))


if __name__ == "__main__":
    main()
