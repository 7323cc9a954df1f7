"""Random sequences of registrations, owner deaths, moves, mark_dirty calls and frames, played
on the dispatcher and on a small pure-Python model of it; the callback logs and the visible
state must agree after every step."""

from __future__ import annotations

import math

from hypothesis import given, settings
from hypothesis import strategies as st

from quelm_ui.fast.qmrect.qmrect import QmRect
from quelm_ui.fast.quelmcobj.quelmcobj import QuelmCobject
from quelm_ui.fast.qmvector2.qmvector2 import QmVector2
from quelm_ui.fast.zsystem.zdispatch import ZRequest, ZSystem

INT_MIN = -2**31
EVENTS = ("hover", "unhover", "click", "keyup", "keyup_abandon")


class Model:
    """The dispatcher as the design describes it, over target numbers instead of objects."""

    def __init__(self):
        self.registry: list[int] = []
        self.live: list[int] = []
        self.rows: list[tuple[tuple[int, int, int, int], int]] = []
        self.dirty = True
        self.hovered: int | None = None
        self.clicked: int | None = None
        self.rect: dict[int, tuple[float, ...]] = {}
        self.z: dict[int, int] = {}
        self.alive: dict[int, bool] = {}
        self.dead: dict[int, bool] = {}
        self.callbacks: dict[int, set[str]] = {}
        self.log: list = []

    def rebuild(self):
        survivors = [n for n in self.registry if self.alive[n] and not self.dead[n]]
        self.registry = survivors
        self.live = list(survivors)
        self.rows = [(tuple(math.trunc(v) for v in self.rect[n]), self.z[n]) for n in survivors]

    def invoke(self, n, event):
        if event in self.callbacks[n]:
            self.log.append((event, n))

    def hit(self, mx, my, wheel, wheel_down):
        if not self.live:
            return None
        best_z, best = INT_MIN, None
        for i, ((x, y, w, h), z) in enumerate(self.rows):
            if x <= mx < x + w and y <= my < y + h and z > best_z:
                n = self.live[i]
                if not self.alive[n]:
                    self.dirty = True
                    continue
                best_z, best = z, n
        if best is not None and wheel and "scroll" in self.callbacks[best]:
            self.log.append(("scroll", best, wheel_down))
        return best

    def cycle(self, x, y, down, up, wheel, wheel_down):
        if self.dirty:
            self.rebuild()
            self.dirty = False
        current = self.hit(math.trunc(x), math.trunc(y), wheel, wheel_down)
        if self.clicked is None and current != self.hovered:
            if self.hovered is not None:
                self.invoke(self.hovered, "unhover")
            if current is not None:
                self.invoke(current, "hover")
            self.hovered = current
        if down and current is not None:
            self.clicked = current
            self.invoke(current, "click")
        if up and self.clicked is not None:
            if self.alive[self.clicked]:
                self.invoke(self.clicked, "keyup" if current == self.clicked else "keyup_abandon")
            self.clicked = None


class Real:
    """The dispatcher with real owners and requests, logging target numbers."""

    def __init__(self):
        self.zs = ZSystem()
        self.owners: dict[int, QuelmCobject | None] = {}
        self.requests: dict[int, ZRequest] = {}
        self.log: list = []

    def create(self, n, rect, z, callbacks):
        log = self.log
        made = {event: (lambda e=event: log.append((e, n))) for event in EVENTS}
        made = {event: func if event in callbacks else None for event, func in made.items()}
        scroll = (lambda: (lambda kind, down: log.append(("scroll", n, down)))) \
            if "scroll" in callbacks else None
        owner = QuelmCobject(QmRect(*rect), z)
        request = ZRequest(owner, made["hover"], made["unhover"], made["click"], made["keyup"],
                           made["keyup_abandon"], scroll)
        owner._z_request = request  # the owner keeps its request alive
        self.owners[n] = owner
        self.requests[n] = request

    def number(self, request):
        if request is None:
            return None
        return next(n for n, r in self.requests.items() if r is request)


coordinates = st.sampled_from([-3.5, -1.0, -0.5, 0.0, 0.25, 1.0, 2.75, 3.0, 4.5, 6.0])
sizes = st.sampled_from([-1.0, 0.0, 0.5, 1.0, 2.0, 3.25, 5.0])
zs_values = st.sampled_from([INT_MIN, -1, 0, 0, 1, 2, 2, 3])
callback_sets = st.sets(st.sampled_from(EVENTS + ("scroll",)), min_size=3)
pointer = st.floats(min_value=-4, max_value=8, allow_nan=False).map(lambda v: round(v * 4) / 4)

operations = st.one_of(
    st.tuples(st.just("new"), st.tuples(coordinates, coordinates, sizes, sizes), zs_values,
              callback_sets, st.integers(0, 2)),
    st.tuples(st.just("add"), st.integers(0, 20)),
    st.tuples(st.just("drop"), st.integers(0, 20)),
    st.tuples(st.just("dead"), st.integers(0, 20), st.booleans()),
    st.tuples(st.just("move"), st.integers(0, 20), st.tuples(coordinates, coordinates, sizes,
                                                              sizes), zs_values),
    st.tuples(st.just("dirty"),),
    st.tuples(st.just("frame"), pointer, pointer, st.booleans(), st.booleans(), st.booleans(),
              st.booleans()),
)


@settings(max_examples=300, deadline=None)
@given(st.lists(operations, max_size=40))
def test_dispatcher_matches_the_model(ops):
    model, real = Model(), Real()
    for op in ops:
        kind = op[0]
        if kind == "new":
            _, rect, z, callbacks, times = op
            n = len(model.rect)
            real.create(n, rect, z, callbacks)
            model.rect[n], model.z[n], model.callbacks[n] = rect, z, callbacks
            model.alive[n], model.dead[n] = True, False
            for _ in range(times):
                real.zs.add(real.requests[n])
                model.registry.append(n)
                model.dirty = True
        elif kind in ("add", "drop", "dead", "move"):
            n = op[1]
            if n not in model.rect or not model.alive[n]:
                continue
            owner = real.owners[n]
            if kind == "add":
                real.zs.add(real.requests[n])
                model.registry.append(n)
                model.dirty = True
            elif kind == "drop":
                real.owners[n] = None
                del owner
                model.alive[n] = False
            elif kind == "dead":
                owner._dead = int(op[2])
                model.dead[n] = op[2]
            else:
                owner.qmrect = QmRect(*op[2])
                owner.set_param_value("z", op[3])
                model.rect[n], model.z[n] = op[2], op[3]
        elif kind == "dirty":
            real.zs.mark_dirty()
            model.dirty = True
        else:
            _, x, y, down, up, wheel, wheel_down = op
            real.zs.cycle(QmVector2(x, y), down, up, wheel, wheel_down)
            model.cycle(x, y, down, up, wheel, wheel_down)
        assert real.log == model.log, op
        assert real.zs.is_dirty == model.dirty, op
        assert real.number(real.zs.last_hovered_request) == model.hovered, op
        assert real.number(real.zs.clicked_request) == model.clicked, op
        assert [real.number(r) for r in real.zs.live_requests] == model.live, op
