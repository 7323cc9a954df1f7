"""Reference entries for the binary contracts, written from the sources they describe.

Three object types, each with a directive and a cross-reference role of the same name:

- ``native-slot``: a slot of a native method table (``QmVector2.new``, ``ZSystem.cycle``);
- ``raylib-slot``: a slot of the bridge's raylib entry table, by raylib name (``DrawTextureRec``);
- ``capi``: an exported entry point of ``__pyx_capi__`` (``c_draw_texture_rec``).

The directive's text is the page's; its position, declaration, prototype and signature text are
read from the shipped headers and the built module, so they cannot drift from them. Naming an
entry that the contracts do not hold is a warning (an error in the -W build). The entries land in
the inventory (objects.inv) as ``std:native-slot``, ``std:raylib-slot`` and ``std:capi``, where
tools/check-reference.py looks for them.
"""

from __future__ import annotations

import ctypes
import functools

from docutils import nodes
from sphinx import addnodes
from sphinx.domains.std import GenericObject
from sphinx.util import logging

import qmcontracts

logger = logging.getLogger(__name__)


def _capsule_name(capsule) -> str:
    get_name = ctypes.pythonapi.PyCapsule_GetName
    get_name.restype, get_name.argtypes = ctypes.c_char_p, [ctypes.py_object]
    return get_name(capsule).decode()


@functools.cache
def _slots() -> dict[tuple[str, str], qmcontracts.Slot]:
    return {(slot.owner, slot.name): slot for slot in qmcontracts.all_slots()}


@functools.cache
def _capi() -> dict[str, tuple[str, str]]:
    from quelm_ui.fast.raylib import quelm_raylib

    prototypes = qmcontracts.capi_prototypes()
    return {name: (prototypes.get(name, ""), _capsule_name(capsule))
            for name, capsule in quelm_raylib.__pyx_capi__.items()}


def _field_list(rows: list[tuple[str, str]]) -> nodes.field_list:
    fields = nodes.field_list()
    for label, text in rows:
        body = nodes.paragraph()
        body += nodes.literal(text, text)
        fields += nodes.field("", nodes.field_name(label, label), nodes.field_body("", body))
    return fields


class _ContractEntry(GenericObject):
    """An entry whose facts come from the contracts: `lookup` gives the annotation shown after
    the name and the (label, text) rows put before the page's own text."""

    def lookup(self, name: str) -> tuple[str, list[tuple[str, str]]] | None:
        raise NotImplementedError

    def handle_signature(self, sig: str, signode: addnodes.desc_signature) -> str:
        name = sig.strip()
        found = self.lookup(name)
        if found is None:
            logger.warning("%s %r: no such entry in the modules' binary contracts", self.name,
                           name, location=self.get_location())
            raise ValueError(name)
        annotation, rows = found
        signode += addnodes.desc_name(name, name)
        signode += addnodes.desc_annotation(annotation, annotation)
        self._rows = rows
        return name

    def transform_content(self, content_node: addnodes.desc_content) -> None:
        rows = getattr(self, "_rows", None)
        if rows:
            content_node.insert(0, _field_list(rows))


class NativeSlot(_ContractEntry):
    indextemplate = "pair: %s; native method table slot"

    def lookup(self, name):
        owner, _, slot_name = name.partition(".")
        slot = _slots().get((owner, slot_name)) if owner != "raylib" else None
        if slot is None:
            return None
        return f" (slot {slot.position})", [("Declaration", slot.declaration)]


class RaylibSlot(_ContractEntry):
    indextemplate = "pair: %s; raylib entry table slot"

    def lookup(self, name):
        slot = _slots().get(("raylib", name))
        if slot is None:
            return None
        return f" (slot {slot.position})", [("Prototype", qmcontracts.raylib_prototype(slot))]


class CapiEntry(_ContractEntry):
    indextemplate = "pair: %s; exported entry point"

    def lookup(self, name):
        entry = _capi().get(name)
        if entry is None:
            return None
        prototype, text = entry
        index = list(_capi()).index(name) + 1
        return f" (entry {index})", [("C++", prototype), ("Signature text", text)]


def setup(app):
    for name, directive in (("native-slot", NativeSlot), ("raylib-slot", RaylibSlot),
                            ("capi", CapiEntry)):
        app.add_object_type(name, name, indextemplate=directive.indextemplate)
        app.add_directive_to_domain("std", name, directive, override=True)
    return {"parallel_read_safe": True, "parallel_write_safe": True}
