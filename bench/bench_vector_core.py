"""Vector construction and component access against pygame-ce's Vector2 and the builtin complex
(the floor for a two-double value type)."""

from harness import Case

SETUP = """
import os
os.environ.setdefault("PYGAME_HIDE_SUPPORT_PROMPT", "1")
from quelm_ui.fast.qmvector2.qmvector2 import QmVector2
from pygame.math import Vector2
a = 1.5; b = 2.5
v = QmVector2(a, b); p = Vector2(a, b); c = complex(a, b)
"""

CORE_GOALS = {"pygame": 0.8, "complex": 1.3}


def cases():
    return [
        Case("vector core", "construct from two floats", "QmVector2(a, b)",
             {"pygame": "Vector2(a, b)", "complex": "complex(a, b)"}, SETUP, CORE_GOALS),
        Case("vector core", "from_xy", "QmVector2.from_xy(a, b)",
             {"pygame": "Vector2(a, b)", "complex": "complex(a, b)"}, SETUP),
        Case("vector core", "read v.x", "v.x", {"pygame": "p.x", "complex": "c.real"}, SETUP,
             CORE_GOALS),
        Case("vector core", "write v.x", "v.x = a", {"pygame": "p.x = a"}, SETUP),
    ]
