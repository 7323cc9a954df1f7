"""The binary contracts as the shipped headers declare them: the slots of the three native method
tables, the raylib entry table and the prototypes of the exported entry points.

Read by the pages' Sphinx extension (qmref), which prints each declaration from the header, and
by tools/check-reference.py, which enumerates what the reference must cover. Each table's slot
order is the one its header pins with static_assert.
"""

from __future__ import annotations

import dataclasses
import pathlib
import re

SRC = pathlib.Path(__file__).resolve().parents[2] / "src" / "quelm_ui" / "fast"


@dataclasses.dataclass(frozen=True)
class Slot:
    """One slot of a native table: its owner ("QmVector2"), 1-based position, contract name
    ("new"), C++ field ("new_") and declaration as the header writes it."""

    owner: str
    position: int
    name: str
    field: str
    declaration: str

    @property
    def key(self) -> str:
        return f"{self.owner}.{self.name}"


@dataclasses.dataclass(frozen=True)
class Table:
    owner: str  # the Python type ("QmVector2") or, for raylib's table, "raylib"
    header: str  # path below src/quelm_ui/fast
    struct: str  # the C++ struct holding the slots in order
    pin: str  # regex of the static_assert that pins a field to a position: groups field, position


# The native method tables other extension modules call, and raylib's entry table inside the
# bridge (its keys are those of init_raylib_pointers).
TABLES = (
    Table("QmVector2", "qmvector2/qmvector2_api.hpp", "qm_vector2_methods_t",
          r"QM_VECTOR2_SLOT\((\w+), (\d+)\);"),
    Table("ZRequest", "zsystem/zdispatch_api.hpp", "ZRequestMethods",
          r"QM_ZSYSTEM_SLOT\(ZRequestMethods, (\w+), (\d+)\);"),
    Table("ZSystem", "zsystem/zdispatch_api.hpp", "ZSystemMethods",
          r"QM_ZSYSTEM_SLOT\(ZSystemMethods, (\w+), (\d+)\);"),
    Table("raylib", "raylib/raylib_entry_table.hpp", "EntryTable",
          r"QM_TABLE_SLOT\(EntryTable, (\w+), (\d+)\);"),
)


def _squash(text: str) -> str:
    return re.sub(r"\s+", " ", text).strip()


def _struct_body(text: str, struct: str) -> str:
    match = re.search(r"struct %s \{(.*?)\n\};" % re.escape(struct), text, re.S)
    if match is None:
        raise LookupError(f"no struct {struct}")
    return match[1]


def _declarations(body: str) -> list[tuple[str, str]]:
    """(declaration, trailing comment) of each member, in order."""
    members = []
    for chunk in re.finditer(r"([^;]*?);[ \t]*(//[^\n]*)?", body, re.S):
        code = re.sub(r"//[^\n]*", "", chunk[1])
        if _squash(code):
            members.append((_squash(code), (chunk[2] or "").lstrip("/ ").strip()))
    return members


def table_slots(table: Table) -> list[Slot]:
    """The slots of one table in position order, each checked against its static_assert."""
    text = (SRC / table.header).read_text()
    members = _declarations(_struct_body(text, table.struct))
    pinned = {field: int(position) for field, position in re.findall(table.pin, text)}
    slots = []
    for index, (declaration, comment) in enumerate(members, start=1):
        field = re.search(r"\(\*(\w+)\)|(\w+)$", declaration)
        field_name = field[1] or field[2]
        if pinned.get(field_name) != index:
            raise LookupError(f"{table.struct}.{field_name} is not pinned at slot {index}")
        if table.owner == "raylib":
            # `DrawTextureRecFn draw_texture_rec;  // 1 "DrawTextureRec"`: the raylib name
            name = re.search(r'"(\w+)"', comment)[1]
        else:
            quoted = re.search(r'"(\w+)"', comment)
            name = quoted[1] if quoted else field_name
        slots.append(Slot(table.owner, index, name, field_name, declaration))
    if len(slots) != len(pinned):
        raise LookupError(f"{table.struct}: {len(slots)} members, {len(pinned)} pinned slots")
    return slots


def all_slots() -> list[Slot]:
    return [slot for table in TABLES for slot in table_slots(table)]


def raylib_prototype(slot: Slot) -> str:
    """`void DrawTextureRec(Texture2D texture, ...)` from the typedef the slot is declared with."""
    text = (SRC / "raylib" / "raylib_entry_table.hpp").read_text()
    type_name = slot.declaration.split()[0]
    match = re.search(r"typedef (\w+) \(\*%s\)\((.*?)\);" % re.escape(type_name), text, re.S)
    if match is None:
        raise LookupError(f"no typedef {type_name}")
    return f"{match[1]} {slot.name}({_squash(match[2])})"


def capi_prototypes() -> dict[str, str]:
    """Entry name -> `void c_draw_texture_rec(PyObject* texture, ...) noexcept`, from the function
    pointer types of quelm_raylib_capi.hpp, in the order the header lists the entries."""
    text = (SRC / "raylib" / "quelm_raylib_capi.hpp").read_text()
    aliases = {
        name: (_squash(result), _squash(params))
        for name, result, params in re.findall(
            r"using (\w+) =\s*([^;]*?)\s*\(\*\)\(([^;]*?)\) noexcept;", text, re.S)
    }
    prototypes = {}
    for alias, name in re.findall(r"inline constexpr Entry<(\w+)> (\w+)\{", text):
        result, params = aliases[alias]
        prototypes[name] = f"{result} {name}({params})"
    return prototypes
