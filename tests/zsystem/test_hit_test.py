"""The hit test (request_cycle): containment with left/top edges inside and right/bottom edges
outside, the strictly-greatest z with the lowest row winning ties, truncation of the pointer
position, owners gone mid-test, and the AVX2 scan checked row for row against a model."""

import math
import random

import numpy as np
import pytest

from quelm_ui.fast.qmrect.qmrect import QmRect
from quelm_ui.fast.quelmcobj.quelmcobj import QuelmCobject
from quelm_ui.fast.qmvector2.qmvector2 import QmVector2
from quelm_ui.fast.zsystem.zdispatch import ZRequest, ZSystem

INT_MIN = -2**31


def wrap32(value: int) -> int:
    value &= 0xFFFFFFFF
    return value - 2**32 if value >= 2**31 else value


def stored(value) -> int:
    """A rectangle coordinate as the rebuild stores it: single precision, then truncated toward
    zero, with values outside the 32-bit range giving -2147483648."""
    single = float(np.float32(value))
    return math.trunc(single) if -2147483649.0 < single < 2147483648.0 else INT_MIN


def model_winner(rows, mx, my, alive=None):
    best_z, best = INT_MIN, None
    for i, ((x, y, w, h), z) in enumerate(rows):
        if x <= mx < wrap32(x + w) and y <= my < wrap32(y + h) and z > best_z:
            if alive is not None and not alive[i]:
                continue
            best_z, best = z, i
    return best


class Scene:
    """Owners with fixed rectangles and z, registered in order and rebuilt."""

    def __init__(self, rows):
        self.zs = ZSystem()
        self.owners = [QuelmCobject(QmRect(*rect), z) for rect, z in rows]
        self.requests = [ZRequest(owner) for owner in self.owners]
        for request in self.requests:
            self.zs.add(request)
        assert self.zs.get_active_requests() == self.requests

    def winner(self, table, x, y):
        result = table.request_cycle(self.zs, QmVector2(x, y), 0, 0)
        return None if result is None else self.requests.index(result)


@pytest.mark.parametrize("rows, pointer, expected", [
    ([((0, 0, 10, 10), 0)], (0, 0), 0),            # left/top edges are inside
    ([((0, 0, 10, 10), 0)], (9.99, 9.99), 0),
    ([((0, 0, 10, 10), 0)], (10, 5), None),        # right edge is outside
    ([((0, 0, 10, 10), 0)], (5, 10), None),        # bottom edge is outside
    ([((0, 0, 0, 10), 0)], (0, 5), None),          # zero width is never hit
    ([((0, 0, 10, 0), 0)], (5, 0), None),          # zero height is never hit
    ([((5, 5, -3, 3), 0)], (4, 6), None),          # negative width is never hit
    ([((0, 0, 10, 10), 0)], (-0.5, -0.9), 0),      # truncated toward zero
    ([((0, 0, 10, 10), 0)], (-1, 0), None),
    ([((-10, -10, 5, 5), 0)], (-5.5, -6), None),   # -5.5 -> -5 is outside [-10, -5)
    ([((-10, -10, 5, 5), 0)], (-5.9, -10), None),
    ([((-10, -10, 6, 5), 0)], (-5.9, -10), 0),
    ([((0, 0, 10, 10), INT_MIN)], (5, 5), None),   # the smallest z can never win
    ([((0, 0, 10, 10), 1), ((0, 0, 10, 10), 1)], (5, 5), 0),  # ties: lowest row
    ([((0, 0, 10, 10), 1), ((0, 0, 10, 10), 2)], (5, 5), 1),
    ([((0, 0, 10, 10), 2), ((0, 0, 10, 10), 1)], (5, 5), 0),
    ([((0, 0, 10, 10), 5), ((20, 0, 10, 10), 9)], (5, 5), 0),
    ([((0, 0, 10, 10), -1), ((0, 0, 10, 10), INT_MIN)], (5, 5), 0),
    # x + w wraps around in 32 bits: the right edge lies left of x
    # (values a 32-bit float holds exactly: the rectangle is stored in single precision)
    ([((2147483136, 0, 1024, 10), 0)], (2147483500, 5), None),
    ([((2147483136, 0, 384, 10), 0)], (2147483519, 5), 0),
    ([((2147483136, 0, 384, 10), 0)], (2147483520, 5), None),
    # a coordinate beyond the 32-bit range is stored as -2147483648
    ([((3e9, 0, 10, 10), 0)], (-2147483648, 0), 0),
    ([((-2147483648, -2147483648, 10, 10), 0)], (-2147483648, -2147483648), 0),
    ([((1.9, 1.9, 1.9, 1.9), 0)], (1, 1), 0),       # the rectangle truncates to (1, 1, 1, 1)
    ([((1.9, 1.9, 1.9, 1.9), 0)], (2, 1), None),
])
def test_geometry(system_table, rows, pointer, expected):
    scene = Scene(rows)
    assert scene.winner(system_table, *pointer) == expected


def test_rows_across_scan_blocks(system_table):
    # 8-row blocks and the remainder: the winner sits at every position once.
    for count in (1, 7, 8, 9, 16, 17, 31):
        for position in range(count):
            rows = [((100, 100, 1, 1), 0)] * count
            rows = rows[:position] + [((0, 0, 10, 10), 3)] + rows[position + 1:]
            assert Scene(rows).winner(system_table, 1, 1) == position


def test_random_scenes_against_the_model(system_table):
    rng = random.Random(20240611)
    edge_values = [INT_MIN, -2**31 + 5, -1, 0, 1, 2**31 - 6, 2**31 - 1]
    for _ in range(60):
        count = rng.randrange(1, 40)
        rows = []
        for _ in range(count):
            if rng.random() < 0.1:
                rect = tuple(float(rng.choice(edge_values)) for _ in range(4))
            else:
                rect = (rng.randrange(-5, 6), rng.randrange(-5, 6), rng.randrange(-2, 8),
                        rng.randrange(-2, 8))
            z = rng.choice([INT_MIN, -3, 0, 0, 1, 2, 2, 5, 2**31 - 1])
            rows.append((rect, z))
        scene = Scene(rows)
        truncated = [(tuple(stored(v) for v in rect), z) for rect, z in rows]
        for _ in range(10):
            x, y = rng.uniform(-6, 12), rng.uniform(-6, 12)
            assert scene.winner(system_table, x, y) == model_winner(
                truncated, math.trunc(x), math.trunc(y)), (rows, x, y)


def test_gone_topmost_owner_lets_the_next_win_and_marks_dirty(system_table):
    scene = Scene([((0, 0, 10, 10), 1), ((0, 0, 10, 10), 5), ((0, 0, 10, 10), 3)])
    assert scene.winner(system_table, 1, 1) == 1
    scene.owners[1] = None
    assert scene.zs.is_dirty is False
    assert scene.winner(system_table, 1, 1) == 2
    assert scene.zs.is_dirty is True
    scene.owners[2] = None
    assert scene.winner(system_table, 1, 1) == 0


def test_dead_flag_alone_does_not_affect_the_hit_test(system_table):
    scene = Scene([((0, 0, 10, 10), 1)])
    scene.owners[0]._dead = 1  # read only by the rebuild
    assert scene.winner(system_table, 1, 1) == 0


def test_row_count_must_match_live_requests(system_table):
    scene = Scene([((0, 0, 10, 10), 1), ((0, 0, 10, 10), 2)])
    scene.zs.live_requests = scene.requests[:1]
    assert scene.winner(system_table, 1, 1) is None
    scene.zs.live_requests = scene.requests + scene.requests[:1]
    assert scene.winner(system_table, 1, 1) is None
    scene.zs.live_requests = None
    assert scene.winner(system_table, 1, 1) is None
    scene.zs.live_requests = list(reversed(scene.requests))  # same count: rows index the list
    assert scene.winner(system_table, 1, 1) == 0


@pytest.mark.parametrize("pointer, error, message", [
    ((2147483648.0, 0), OverflowError, "value too large to convert to int"),
    ((0, -2147483649.0), OverflowError, "value too large to convert to int"),
    ((float("nan"), 0), ValueError, "cannot convert float NaN to integer"),
    ((0, float("inf")), OverflowError, "cannot convert float infinity to integer"),
])
def test_pointer_conversion_errors(system_table, pointer, error, message, entries_of):
    scene = Scene([((0, 0, 10, 10), 1)])
    with pytest.raises(error) as info:
        system_table.request_cycle(scene.zs, QmVector2(*pointer), 0, 0)
    assert str(info.value) == message
    assert entries_of(info.value)[-1][0] == (
        "quelm_ui.fast.zsystem.zdispatch.ZSystem.request_cycle")


def test_pointer_at_the_extremes(system_table):
    scene = Scene([((2147483520, -2147483648, 64, 5), 1)])
    assert scene.winner(system_table, 2147483583.9, -2147483647.5) == 0
    assert scene.winner(system_table, 2147483584, -2147483647.5) is None


class PointerLike:
    """Not a QmVector2: read through its x and y and int()."""

    x, y = 5.9, "7"


def test_a_pointer_of_another_type_is_read_through_its_attributes(system_table):
    scene = Scene([((0, 0, 6, 6), 1), ((5, 7, 1, 1), 2)])
    assert system_table.request_cycle(scene.zs, PointerLike(), 0, 0) is scene.requests[1]


def test_none_pointer(system_table):
    empty = ZSystem()
    assert system_table.request_cycle(empty, None, 0, 0) is None  # not read when nothing lives
    scene = Scene([((0, 0, 10, 10), 1)])
    with pytest.raises(AttributeError, match="^'NoneType' object has no attribute 'x'$"):
        system_table.request_cycle(scene.zs, None, 0, 0)


def test_only_candidates_resolve_their_owner(system_table):
    calls = []
    scene = Scene([((0, 0, 10, 10), z) for z in (1, 5, 3, 5, 7, 2)]
                  + [((50, 50, 1, 1), 9)])
    for index, request in enumerate(scene.requests):
        owner = scene.owners[index]
        request.__setstate__(
            ((lambda i=index, o=owner: calls.append(i) or o),) + (None,) * 6)
    assert scene.winner(system_table, 1, 1) == 4
    assert calls == [0, 1, 4]  # each new best, never rows that fail
