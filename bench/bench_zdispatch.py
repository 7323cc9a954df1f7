"""The dispatcher: one input frame (`cycle`, after the first rebuild) against a NumPy-vectorised
hit test and a plain Python loop over the same int32 arrays, and a full rebuild against a Python
loop that reads every owner's rectangle and z. The paths that look names up per call (a pointer
read through its attributes, `add`, a scroll delivery) are timed against their Python
equivalents."""

from __future__ import annotations

import ctypes
import random
import weakref

import numpy as np
from harness import Case

from quelm_ui.fast.qmrect.qmrect import QmRect
from quelm_ui.fast.quelmcobj.quelmcobj import QuelmCobject
from quelm_ui.fast.qmvector2.qmvector2 import QmVector2
from quelm_ui.fast.zsystem.zdispatch import ZRequest, ZSystem

SIZES = (10, 100, 1000, 10000)
INT_MIN = -2**31


def record_object(obj, offset):
    """An object pointer field of the ZSystem record (rects_data at 64, z_indices at 72)."""
    return ctypes.cast(ctypes.c_void_p.from_address(id(obj) + offset).value,
                       ctypes.py_object).value


def numpy_frame(rects, zs, live, mx, my):
    x, y = rects[:, 0], rects[:, 1]
    inside = (x <= mx) & (mx < x + rects[:, 2]) & (y <= my) & (my < y + rects[:, 3])
    masked = np.where(inside, zs, INT_MIN)
    row = int(masked.argmax())
    if masked[row] == INT_MIN:
        return None
    request = live[row]
    return request if request.get_link_ref() is not None else None


def python_frame(rows, live, mx, my):
    best_z, best = INT_MIN, -1
    for i, (x, y, w, h, z) in enumerate(rows):
        if x <= mx < x + w and y <= my < y + h and z > best_z:
            best_z, best = z, i
    if best < 0:
        return None
    request = live[best]
    return request if request.get_link_ref() is not None else None


def python_rebuild(owners):
    rows = []
    for owner in owners:
        rect = owner.get_qmrect()
        z = int(owner.get_param_strict("z").value)
        rows.append((int(rect.x), int(rect.y), int(rect.w), int(rect.h), z))
    return rows


class Request(ZRequest):
    """Gives the Python peers the owner lookup the dispatcher makes for a candidate row."""

    __slots__ = ("link",)

    def get_link_ref(self):
        return self.link()


def scene(count: int) -> dict:
    """`count` targets scattered over a 1920x1080 screen, the pointer in the middle."""
    rng = random.Random(count)
    owners, requests = [], []
    zs = ZSystem()
    for _ in range(count):
        rect = QmRect(rng.uniform(0, 1800), rng.uniform(0, 1000), rng.uniform(20, 240),
                      rng.uniform(20, 160))
        owner = QuelmCobject(rect, rng.randrange(0, 50))
        request = Request(owner)
        request.link = weakref.ref(owner)
        owner._z_request = request
        owners.append(owner)
        requests.append(request)
        zs.add(request)
    pos = QmVector2(960.4, 540.7)
    zs.cycle(pos, False, False, False, False)  # the first rebuild
    rects, z = record_object(zs, 64), record_object(zs, 72)
    rows = [tuple(r) + (int(v),) for r, v in zip(rects.tolist(), z.tolist())]
    return {"zs": zs, "pos": pos, "owners": owners, "live": zs.live_requests, "rects": rects,
            "z": z, "rows": rows, "mx": 960, "my": 540, "numpy_frame": numpy_frame,
            "python_frame": python_frame, "python_rebuild": python_rebuild}


class Pointer:
    """A pointer that is not a QmVector2: the dispatcher reads it through `x` and `y`."""

    __slots__ = ("x", "y")

    def __init__(self, x, y):
        self.x, self.y = x, y


def cycle_slot():
    """ZSystem's native `cycle` entry, callable with any object as the pointer (ctypes)."""
    get_pointer = ctypes.pythonapi.PyCapsule_GetPointer
    get_pointer.restype = ctypes.c_void_p
    get_pointer.argtypes = [ctypes.py_object, ctypes.c_char_p]
    table = get_pointer(ZSystem.__dict__["__pyx_vtable__"], None)
    obj, flag = ctypes.py_object, ctypes.c_int
    slot_type = ctypes.PYFUNCTYPE(obj, obj, obj, flag, flag, flag, flag, flag)
    return slot_type(ctypes.c_void_p.from_address(table + 6 * ctypes.sizeof(ctypes.c_void_p)).value)


def paths_scene() -> dict:
    """One full-screen target with a scroll callback under the pointer."""
    zs = ZSystem()
    owner = QuelmCobject(QmRect(0, 0, 1920, 1080), 1)
    request = Request(owner)
    request.link = weakref.ref(owner)
    handler = lambda bind, down: None  # noqa: E731
    request.on_scroll_func = lambda: handler
    owner._z_request = request
    zs.add(request)
    pos = QmVector2(960.4, 540.7)
    zs.cycle(pos, False, False, False, False)
    spare = ZSystem()
    return {"zs": zs, "pos": pos, "owner": owner, "request": request, "handler": handler,
            "pointer": Pointer(960.4, 540.7), "cycle_slot": cycle_slot(), "spare": spare,
            "registry": record_object(spare, 24), "weakref": weakref,
            "scroll": lambda bind, down: None}


def path_cases():
    env = paths_scene()
    return [
        Case("zdispatch paths", "path: cycle, non-QmVector2 pointer",
             "cycle_slot(zs, pointer, 0, 0, 0, 0, 1)",
             {"QmVector2": "cycle_slot(zs, pos, 0, 0, 0, 0, 1)"}, "pass", {}, env),
        Case("zdispatch paths", "path: add",
             "spare.add(request); registry.clear()",
             {"python": "registry.append(weakref.ref(request)); registry.clear()"}, "pass", {},
             env),
        Case("zdispatch paths", "path: cycle with a scroll delivery",
             "zs.cycle(pos, False, False, True, False)",
             {"no scroll": "zs.cycle(pos, False, False, False, False)"}, "pass", {}, env),
    ]


def cases():
    result = path_cases()
    for count in SIZES:
        env = scene(count)
        peers = {
            "numpy": "numpy_frame(rects, z, live, mx, my)",
            "python": "python_frame(rows, live, mx, my)",
        }
        goals = {}
        if count == 10:
            peers["mark_dirty"] = "zs.mark_dirty()"
            goals["mark_dirty"] = 2.0
        if count == 10000:
            goals["numpy"] = 0.1
        result.append(Case("zdispatch cycle", f"{count} targets",
                           "zs.cycle(pos, False, False, False, False)", peers, "pass", goals,
                           env))
    for count in SIZES:
        env = scene(count)
        result.append(Case("zdispatch rebuild", f"{count} targets",
                           "zs.mark_dirty(); zs.get_active_requests()",
                           {"python": "python_rebuild(owners)"}, "pass", {}, env))
    return result
