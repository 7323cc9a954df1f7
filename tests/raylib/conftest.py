"""Fixtures for the bridge tests over the recording fake raylib (quelm_ui_testbeds.fake_raylib).

Every test starts with all fourteen entry-table slots bound to the fake's functions and an empty
call log, and ends by checking that the bridge never called raylib while a Python exception was
pending. Binding-side objects (textures, render textures, shaders) are plain Python objects with
the attributes the bridge reads.
"""

from __future__ import annotations

import os
import sys

import pytest

from quelm_ui.fast.raylib import quelm_raylib
from quelm_ui_testbeds import fake_raylib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from bridge_fakes import SLOT_KEYS, Texture  # noqa: E402


@pytest.fixture
def rl():
    return quelm_raylib


@pytest.fixture
def fake():
    """The fake raylib with every slot of the bridge bound to it and an empty log; the table is
    process-wide, so it is emptied again afterwards."""
    fake_raylib.clear()
    quelm_raylib.init_raylib_pointers(fake_raylib.addresses())
    yield fake_raylib
    pending = fake_raylib.calls_with_pending_error()
    fake_raylib.clear()
    quelm_raylib.init_raylib_pointers(dict.fromkeys(SLOT_KEYS, 0))
    assert pending == 0, "raylib was called while a Python exception was pending"


@pytest.fixture
def texture() -> Texture:
    return Texture()
