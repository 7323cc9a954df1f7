"""Set-up for the tests that draw through the bridge with the real raylib.

One hidden raylib window (and so one OpenGL context) serves the whole session. Without a DISPLAY
an Xvfb server is started for it, and Mesa's software rasteriser is forced either way, so the
pixels are the same on every machine. A missing Xvfb or `raylib` package is an error, not a
skip: `tools/install-system-deps.sh` and the dev requirements install both.
"""

from __future__ import annotations

import os
import sys

import pytest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import headless  # noqa: E402
import rl_addresses  # noqa: E402
from pixels import Raylib, Target  # noqa: E402

WINDOW_SIZE = (320, 240)


@pytest.fixture(scope="session")
def raylib_session():
    display = headless.VirtualDisplay()
    try:
        display.start()
    except headless.DisplayError as exc:
        pytest.fail(f"real-raylib tests need an X display: {exc}", pytrace=False)
    try:
        try:
            import raylib as consts
            from raylib import ffi, rl
        except ImportError as exc:
            pytest.fail(f"the `raylib` package is missing ({exc}): run `make venv`", pytrace=False)
        rl.SetTraceLogLevel(consts.LOG_WARNING)
        rl.SetConfigFlags(consts.FLAG_WINDOW_HIDDEN)
        rl.InitWindow(WINDOW_SIZE[0], WINDOW_SIZE[1], b"quelm_raylib tests")
        if not rl.IsWindowReady():
            pytest.fail(f"raylib could not open a window on display {display.display}",
                        pytrace=False)
        try:
            yield Raylib(rl, ffi, consts)
        finally:
            rl.CloseWindow()
    finally:
        display.stop()


@pytest.fixture
def bridge(raylib_session):
    """The bridge module with its entry table pointing at the real raylib.

    The table is process-wide and other test folders fill it with their own libraries, so it is
    set for every test here and emptied again afterwards.
    """
    from quelm_ui.fast.raylib import quelm_raylib

    quelm_raylib.init_raylib_pointers(rl_addresses.raylib_pointers(raylib_session.rl,
                                                                   raylib_session.ffi))
    try:
        yield quelm_raylib
    finally:
        quelm_raylib.init_raylib_pointers(rl_addresses.null_pointers())


@pytest.fixture
def target(raylib_session):
    tgt = Target(raylib_session, 64, 48)
    yield tgt
    tgt.unload()


@pytest.fixture(scope="session")
def textures(raylib_session):
    """Small textures with known pixels, loaded once.

    - "white": 8x8 white;
    - "halves": 8x8, top four rows red, bottom four blue (shows vertical flips);
    - "sides": 16x8, left half red, right half blue (shows rotations).
    """
    rl, ffi = raylib_session.rl, raylib_session.ffi
    loaded = {}

    def make(name, width, height, base, patch=None):
        image = rl.GenImageColor(width, height, base)
        if patch is not None:
            x, y, w, h, color = patch
            rl.ImageDrawRectangle(ffi.addressof(image), x, y, w, h, color)
        loaded[name] = rl.LoadTextureFromImage(image)
        rl.UnloadImage(image)

    make("white", 8, 8, (255, 255, 255, 255))
    make("halves", 8, 8, (255, 0, 0, 255), (0, 4, 8, 4, (0, 0, 255, 255)))
    make("sides", 16, 8, (255, 0, 0, 255), (8, 0, 8, 8, (0, 0, 255, 255)))
    yield loaded
    for texture in loaded.values():
        rl.UnloadTexture(texture)
