"""Vector arithmetic, comparison, hashing, indexing, geometry and conversions against pygame-ce's
Vector2 and, where it has the same operation, the builtin complex."""

from harness import Case

SETUP = """
import os
os.environ.setdefault("PYGAME_HIDE_SUPPORT_PROMPT", "1")
from quelm_ui.fast.qmvector2.qmvector2 import QmVector2
from pygame.math import Vector2
v = QmVector2(1.5, 2.5); w = QmVector2(3.25, -0.75)
p = Vector2(1.5, 2.5); q = Vector2(3.25, -0.75)
c = complex(1.5, 2.5); d = complex(3.25, -0.75)
"""

BOTH = {"pygame": 0.7, "complex": 1.2}
PYGAME = {"pygame": 0.7}
GROUP = "vector ops"


def case(name, stmt, pygame, complex_=None):
    peers = {"pygame": pygame}
    if complex_ is not None:
        peers["complex"] = complex_
    return Case(GROUP, name, stmt, peers, SETUP, BOTH if complex_ is not None else PYGAME)


def cases():
    return [
        case("v + w", "v + w", "p + q", "c + d"),
        case("v - w", "v - w", "p - q", "c - d"),
        case("v * 2.0", "v * 2.0", "p * 2.0", "c * 2.0"),
        # pygame's `*` between vectors is the dot product; its component-wise form goes
        # through an elementwise proxy. complex multiplication is not component-wise.
        case("v * w (component-wise)", "v * w", "p.elementwise() * q"),
        case("v / 2.0", "v / 2.0", "p / 2.0", "c / 2.0"),
        case("v += w", "v += w", "p += q", "c += d"),
        case("-v", "-v", "-p", "-c"),
        case("v == w", "v == w", "p == q", "c == d"),
        # pygame vectors are unhashable.
        Case(GROUP, "hash(v)", "hash(v)", {"complex": "hash(c)"}, SETUP, {"complex": 1.2}),
        case("v[0]", "v[0]", "p[0]", "c.real"),
        case("v.length", "v.length", "p.length()", "abs(c)"),
        case("normalize()", "v.normalize()", "p.normalize()"),
        case("dot", "v.dot(w)", "p.dot(q)"),
        case("distance_to", "v.distance_to(w)", "p.distance_to(q)"),
        # pygame has neither method; its users write these.
        case("to_tuple()", "v.to_tuple()", "tuple(p)"),
        case("get_int()", "v.get_int()", "Vector2(int(p.x), int(p.y))"),
    ]
