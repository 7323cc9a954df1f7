"""Checks that the reference pages cover every public name of the three modules.

Reads the inventory of the built pages (objects.inv, written by `make docs`) and compares it with
the public names of the built modules and of their binary contracts:

- Python names: each module's attributes and, for each type it defines, the attributes of the
  type's own dictionary (methods, static methods, properties, special methods, the method-table
  capsule). A leading underscore marks an internal name, except special names (__x__) and the
  names the modules publish as part of their interface (PUBLISHED below).
- The slots of the three native method tables and of the raylib entry table, from the static
  assertions of the shipped headers (docs/_ext/qmcontracts.py).
- The entries of quelm_raylib.__pyx_capi__.

It fails when a public name has no reference entry, when a Python callable, property or type
whose docstring comes from the modules has none, or when the pages document a name (under the
modules' paths, or as a slot or entry) that does not exist.

Usage: check-reference.py [path/to/objects.inv]   (default build/docs/html/objects.inv)
"""

from __future__ import annotations

import importlib
import pathlib
import re
import sys
import types
import zlib

ROOT = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "docs" / "_ext"))

import qmcontracts  # noqa: E402

MODULES = {
    "qmvector2": "quelm_ui.fast.qmvector2.qmvector2",
    "zdispatch": "quelm_ui.fast.zsystem.zdispatch",
    "quelm_raylib": "quelm_ui.fast.raylib.quelm_raylib",
}
# Underscore names the modules publish: the bridge's tint attribute, which callers rebind, and
# the restore function that pickled requests name.
PUBLISHED = {"_base_color_qmvec_ez", "__pyx_unpickle_ZRequest"}
# What the interpreter puts on every module and type; not the modules' own interface.
MODULE_METADATA = {"__name__", "__doc__", "__file__", "__loader__", "__package__", "__spec__",
                   "__builtins__", "__cached__", "__path__"}
TYPE_METADATA = {"__doc__", "__module__", "__dict__", "__weakref__", "__qualname__",
                 "__firstlineno__", "__static_attributes__", "__text_signature__"}
# Objects whose docstring is written in the modules (the functions and properties they define);
# the slot wrappers of special methods carry the interpreter's docstrings instead.
OWN_DOC_TYPES = ("quelm_function", "quelm_method", "getset_descriptor")


def is_public(name: str) -> bool:
    return not name.startswith("_") or name in PUBLISHED or (
        name.startswith("__") and name.endswith("__"))


def load_inventory(path: pathlib.Path) -> set[tuple[str, str]]:
    """(domain:role, name) of every entry of a Sphinx inventory (version 2)."""
    data = path.read_bytes()
    header_end = 0
    for _ in range(4):
        header_end = data.index(b"\n", header_end) + 1
    if not data.startswith(b"# Sphinx inventory version 2"):
        raise SystemExit(f"{path}: not a Sphinx inventory of version 2")
    entries = set()
    for line in zlib.decompress(data[header_end:]).decode().splitlines():
        match = re.match(r"(.+?)\s+(\S+:\S+)\s+-?\d+\s+\S+\s+.*", line)
        if match:
            entries.add((match[2], match[1]))
    return entries


def own_doc(obj, path: str) -> str | None:
    """The docstring module `path` wrote for obj, '' when missing; None when obj has none of its
    own to check (a slot wrapper, a capsule, an imported module or type)."""
    if isinstance(obj, staticmethod):
        obj = obj.__func__
    ours = isinstance(obj, type) and obj.__module__ == path
    if ours or type(obj).__name__ in OWN_DOC_TYPES:
        return (getattr(obj, "__doc__", None) or "").strip()
    return None


def python_names(short: str, path: str):
    """(full name, object, kind) for each public Python name of one module."""
    module = importlib.import_module(path)
    for name, value in vars(module).items():
        if name in MODULE_METADATA or not is_public(name):
            continue
        yield f"{path}.{name}", value, "module attribute"
        if isinstance(value, type) and value.__module__ == path:
            for member, obj in vars(value).items():
                if member in TYPE_METADATA or not is_public(member):
                    continue
                yield f"{path}.{name}.{member}", obj, "member"


def main(argv: list[str]) -> int:
    inventory_path = pathlib.Path(argv[1] if len(argv) > 1 else "build/docs/html/objects.inv")
    if not inventory_path.is_file():
        print(f"check-reference: {inventory_path} is missing: build the pages first (make docs)")
        return 2
    inventory = load_inventory(inventory_path)
    documented_py = {name for role, name in inventory if role.startswith("py:")}
    problems: list[str] = []
    report: list[str] = []
    totals: list[tuple[int, int]] = []

    public_py: set[str] = set()
    for short, path in MODULES.items():
        names = list(python_names(short, path))
        missing = [full for full, _, _ in names if full not in documented_py]
        undocumented = [full for full, obj, _ in names if own_doc(obj, path) == ""]
        public_py.update(full for full, _, _ in names)
        totals.append((len(names) - len(missing), len(names)))
        report.append(f"  {short + ' (Python names)':27} {totals[-1][0]:3} of {totals[-1][1]:3}")
        problems += [f"no reference entry: {full}" for full in missing]
        problems += [f"no docstring: {full}" for full in undocumented]

    prefixes = tuple(f"{path}." for path in MODULES.values())
    stale = sorted(name for name in documented_py
                   if (name in MODULES.values() or name.startswith(prefixes))
                   and name not in public_py and name not in MODULES.values())
    problems += [f"documented but not in the modules: {name}" for name in stale]

    slots = qmcontracts.all_slots()
    for role, label, one, wanted in (
            ("std:native-slot", "native table slots", "native table slot",
             {slot.key for slot in slots if slot.owner != "raylib"}),
            ("std:raylib-slot", "raylib entry table slots", "raylib entry table slot",
             {slot.name for slot in slots if slot.owner == "raylib"}),
            ("std:capi", "__pyx_capi__ entries", "__pyx_capi__ entry",
             set(importlib.import_module(MODULES["quelm_raylib"]).__pyx_capi__))):
        documented = {name for entry_role, name in inventory if entry_role == role}
        totals.append((len(wanted & documented), len(wanted)))
        report.append(f"  {label:27} {totals[-1][0]:3} of {totals[-1][1]:3}")
        problems += [f"no reference entry: {one} {name}"
                     for name in sorted(wanted - documented)]
        problems += [f"documented but not in the contracts: {one} {name}"
                     for name in sorted(documented - wanted)]

    print("check-reference: public names with a reference entry")
    print("\n".join(report))
    print(f"  {'all public names':27} {sum(d for d, _ in totals):3} of {sum(n for _, n in totals):3}")
    if problems:
        print("\n".join(f"check-reference: {problem}" for problem in problems))
        print(f"check-reference: FAILED, {len(problems)} problem(s)")
        return 1
    print("check-reference: OK")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
