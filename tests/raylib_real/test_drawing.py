"""Drawing through the bridge into a render texture of the real raylib, checked pixel by pixel.

The textures, render textures and colours are the `raylib` binding's own objects, handed to the
bridge as the toolkit hands them; raylib's function addresses come from the binding.
"""

from __future__ import annotations

import pytest

from pixels import Target, assert_region, colour_at, footprint, image_pixels
from quelm_ui.fast.qmrect.qmrect import QmRect
from quelm_ui.fast.qmvector2.qmvector2 import QmVector2

BLACK = (0, 0, 0, 255)
RED = (255, 0, 0, 255)
BLUE = (0, 0, 255, 255)


def render(bridge, target, draw, clear=(0, 0, 0)):
    """Clear `target` through the bridge, run `draw()` inside its texture mode, read it back."""
    bridge.begin_texture_mode(target.render_texture)
    bridge.clear_background(clear)
    draw()
    bridge.end_texture_mode()
    return target.pixels()


@pytest.mark.parametrize(
    "colour, stored",
    [
        ((30, 30, 30), (30, 30, 30, 255)),
        ((10, 20, 30, 128), (10, 20, 30, 128)),
        ((10.7, 20, 30, 128.9), (10, 20, 30, 128)),  # truncated
        ((256, -1, 0), (0, 255, 0, 255)),  # low 8 bits
        ((1, 2, 3, 4, 5), (1, 2, 3, 4)),  # fifth item ignored
    ],
)
def test_clear_background(bridge, target, colour, stored):
    pixels = render(bridge, target, lambda: None, clear=colour)
    assert_region(pixels, (0, 0, target.width, target.height), stored)


# Whole-texture draws at a position: the "halves" texture is red on top and blue below, so a
# flip (negated source height) shows as blue on top.
WHOLE_TEXTURE_DRAWS = {
    "vec": lambda b, tex, x, y, flip: b.draw_texture_vec(tex, (x, y), (255, 255, 255), flip),
    "vec_ez": lambda b, tex, x, y, flip: b.draw_texture_vec_ez(tex, (x, y), flip),
    "qmvec": lambda b, tex, x, y, flip: b.draw_texture_qmvec(
        tex, QmVector2(x, y), QmRect(255, 255, 255, 255), flip),
    "qmvec_ez": lambda b, tex, x, y, flip: b.draw_texture_qmvec_ez(tex, QmVector2(x, y), flip),
}


@pytest.mark.parametrize("flip", [False, True, 0, "yes"], ids=["False", "True", "0", "str"])
@pytest.mark.parametrize("form", WHOLE_TEXTURE_DRAWS)
def test_whole_texture_at_position_with_flip(bridge, target, textures, form, flip):
    draw = WHOLE_TEXTURE_DRAWS[form]
    pixels = render(bridge, target, lambda: draw(bridge, textures["halves"], 20, 12, flip))
    assert footprint(pixels, BLACK) == (20, 12, 8, 8)
    top, bottom = (BLUE, RED) if flip else (RED, BLUE)
    assert_region(pixels, (20, 12, 8, 4), top)
    assert_region(pixels, (20, 16, 8, 4), bottom)


@pytest.mark.parametrize(
    "form, x, left",
    [
        # A QmVector2 position is nudged by +0.01 before raylib sees it: at x = 19.497 the quad
        # starts right of the centre of pixel column 19, while a tuple position covers it.
        ("vec", 19.497, 19),
        ("vec_ez", 19.497, 19),
        ("qmvec", 19.497, 20),
        ("qmvec_ez", 19.497, 20),
        ("qmvec", 19.48, 19),
    ],
)
def test_position_offset_of_vector_positions(bridge, target, textures, form, x, left):
    draw = WHOLE_TEXTURE_DRAWS[form]
    pixels = render(bridge, target, lambda: draw(bridge, textures["white"], x, 12.0, False))
    assert footprint(pixels, BLACK) == (left, 12, 8, 8)


@pytest.mark.parametrize(
    "draw, stored",
    [
        (lambda b, tex: b.draw_texture_vec(tex, (4, 4), (200, 100, 50), False), (200, 100, 50, 255)),
        (lambda b, tex: b.draw_texture_vec(tex, (4, 4), (456, 100, 50.9), False), (200, 100, 50, 255)),
        (lambda b, tex: b.draw_texture_qmvec(tex, QmVector2(4, 4), QmRect(200, 100, 50, 255), False),
         (200, 100, 50, 255)),
        (lambda b, tex: b.draw_texture_qmvec(tex, QmVector2(4, 4), QmRect(456, 100.9, 50, 255), True),
         (200, 100, 50, 255)),
        (lambda b, tex: b.draw_texture_rec(tex, (0, 0, 8, 8), (4, 4), (0, 255, 0)), (0, 255, 0, 255)),
        (lambda b, tex: b.draw_texture_pro(tex, (0, 0, 8, 8), (4, 4, 8, 8), (0, 0), 0.0, (9, 8, 7)),
         (9, 8, 7, 255)),
        # Alpha 128 over the black background, raylib's default alpha blending.
        (lambda b, tex: b.draw_texture_vec(tex, (4, 4), (0, 0, 255, 128), False), (0, 0, 128, 191)),
    ],
    ids=["vec", "vec-wrapped", "qmvec", "qmvec-wrapped-flipped", "rec", "pro", "vec-alpha"],
)
def test_tints(bridge, target, textures, draw, stored):
    pixels = render(bridge, target, lambda: draw(bridge, textures["white"]))
    assert footprint(pixels, BLACK) == (4, 4, 8, 8)
    assert_region(pixels, (4, 4, 8, 8), stored, tolerance=1)


def test_qmvec_ez_uses_the_module_tint(bridge, target, textures):
    saved = bridge._base_color_qmvec_ez
    try:
        bridge._base_color_qmvec_ez = QmRect(0, 255, 0, 255)
        pixels = render(bridge, target, lambda: bridge.draw_texture_qmvec_ez(
            textures["white"], QmVector2(4, 4), False))
    finally:
        bridge._base_color_qmvec_ez = saved
    assert_region(pixels, (4, 4, 8, 8), (0, 255, 0, 255))


@pytest.mark.parametrize(
    "source, blocks",
    [
        # (source rectangle of "halves" / "sides", [(rect drawn at (10, 10), colour)])
        (("halves", (0, 0, 8, 4)), [((10, 10, 8, 4), RED)]),
        (("halves", (0, 4, 8, 4)), [((10, 10, 8, 4), BLUE)]),
        (("halves", (0, 0, 8, -8)), [((10, 10, 8, 4), BLUE), ((10, 14, 8, 4), RED)]),
        (("sides", (0, 0, 16, 8)), [((10, 10, 8, 8), RED), ((18, 10, 8, 8), BLUE)]),
        (("sides", (0, 0, -16, 8)), [((10, 10, 8, 8), BLUE), ((18, 10, 8, 8), RED)]),
        (("sides", (4, 2, 8, 4)), [((10, 10, 4, 4), RED), ((14, 10, 4, 4), BLUE)]),
    ],
)
@pytest.mark.parametrize("form", ["rec", "rec_ez"])
def test_draw_texture_rec_regions(bridge, target, textures, form, source, blocks):
    name, rect = source
    if form == "rec":
        draw = lambda: bridge.draw_texture_rec(textures[name], rect, (10, 10), (255, 255, 255, 255))
    else:
        draw = lambda: bridge.draw_texture_rec_ez(textures[name], rect, (10.0, 10.0))
    pixels = render(bridge, target, draw)
    xs = [b[0][0] for b in blocks] + [b[0][0] + b[0][2] for b in blocks]
    ys = [b[0][1] for b in blocks] + [b[0][1] + b[0][3] for b in blocks]
    assert footprint(pixels, BLACK) == (min(xs), min(ys), max(xs) - min(xs), max(ys) - min(ys))
    for block, colour in blocks:
        assert_region(pixels, block, colour)


@pytest.mark.parametrize(
    "rotation, blocks",
    [
        # "sides" (16x8, red left, blue right) into a 16x8 destination at (32, 24) with origin
        # (8, 4): the centre of the texture stays at (32, 24) and the texture turns about it,
        # clockwise on screen for positive angles.
        (0.0, [((24, 20, 8, 8), RED), ((32, 20, 8, 8), BLUE)]),
        (90.0, [((28, 16, 8, 8), RED), ((28, 24, 8, 8), BLUE)]),
        (180.0, [((24, 20, 8, 8), BLUE), ((32, 20, 8, 8), RED)]),
        (-90.0, [((28, 16, 8, 8), BLUE), ((28, 24, 8, 8), RED)]),
    ],
)
def test_draw_texture_pro_rotation(bridge, target, textures, rotation, blocks):
    pixels = render(bridge, target, lambda: bridge.draw_texture_pro(
        textures["sides"], (0, 0, 16, 8), (32, 24, 16, 8), (8, 4), rotation, (255, 255, 255)))
    xs = [b[0][0] for b in blocks] + [b[0][0] + b[0][2] for b in blocks]
    ys = [b[0][1] for b in blocks] + [b[0][1] + b[0][3] for b in blocks]
    assert footprint(pixels, BLACK) == (min(xs), min(ys), max(xs) - min(xs), max(ys) - min(ys))
    for block, colour in blocks:
        assert_region(pixels, block, colour)


def test_draw_texture_pro_scales_into_destination(bridge, target, textures):
    pixels = render(bridge, target, lambda: bridge.draw_texture_pro(
        textures["halves"], (0, 0, 8, 8), (2, 3, 32, 16), (0, 0), 0.0, (255, 255, 255, 255)))
    assert footprint(pixels, BLACK) == (2, 3, 32, 16)
    assert_region(pixels, (2, 3, 32, 8), RED)
    assert_region(pixels, (2, 11, 32, 8), BLUE)


@pytest.mark.parametrize(
    "mode, clear, tint, stored",
    [
        (0, (100, 200, 50), (0, 0, 255, 128), (50, 100, 153, 191)),  # BLEND_ALPHA
        (1, (100, 0, 0), (0, 100, 0), (100, 100, 0, 255)),  # BLEND_ADDITIVE
        (1, (200, 0, 0), (100, 0, 0), (255, 0, 0, 255)),  # additive saturates
        (2, (100, 200, 50), (255, 128, 0), (100, 100, 0, 255)),  # BLEND_MULTIPLIED
    ],
)
def test_blend_modes(bridge, target, textures, mode, clear, tint, stored):
    def draw():
        bridge.begin_blend_mode(mode)
        bridge.draw_texture_vec(textures["white"], (0, 0), tint, False)
        bridge.end_blend_mode()
        # Back to alpha blending: an opaque draw replaces what is there.
        bridge.draw_texture_vec(textures["white"], (16, 0), (1, 2, 3), False)

    pixels = render(bridge, target, draw, clear=clear)
    assert_region(pixels, (0, 0, 8, 8), stored, tolerance=1)
    assert_region(pixels, (16, 0, 8, 8), (1, 2, 3, 255))
    assert_region(pixels, (8, 0, 8, 8), tuple(clear) + (255,))


def test_nested_texture_modes_draw_one_render_texture_into_another(bridge, raylib_session,
                                                                   target, textures):
    inner = Target(raylib_session, 16, 16)
    try:
        bridge.begin_texture_mode(inner.render_texture)
        bridge.clear_background((0, 255, 0))
        bridge.draw_texture_vec(textures["halves"], (0, 0), (255, 255, 255), False)
        bridge.end_texture_mode()
        # A render texture's colour buffer is stored bottom row first: drawing it with a flip
        # shows it the right way up.
        pixels = render(bridge, target, lambda: bridge.draw_texture_qmvec(
            inner.render_texture.texture, QmVector2(30, 20), QmRect(255, 255, 255, 255), True))
    finally:
        inner.unload()
    assert footprint(pixels, BLACK) == (30, 20, 16, 16)
    assert_region(pixels, (30, 20, 8, 4), RED)
    assert_region(pixels, (30, 24, 8, 4), BLUE)
    assert_region(pixels, (38, 20, 8, 16), (0, 255, 0, 255))
    assert_region(pixels, (30, 28, 8, 8), (0, 255, 0, 255))


def test_frame_on_the_window(bridge, raylib_session, textures):
    rl = raylib_session.rl
    bridge.begin_drawing()
    try:
        bridge.clear_background((7, 8, 9))
        bridge.draw_texture_vec(textures["halves"], (40, 30), (255, 255, 255), True)
        rl.rlDrawRenderBatchActive()  # raylib batches draws until the frame ends
        screen = rl.LoadImageFromScreen()
    finally:
        bridge.end_drawing()
    try:
        pixels = image_pixels(raylib_session, screen)
    finally:
        rl.UnloadImage(screen)
    assert footprint(pixels, (7, 8, 9, 255)) == (40, 30, 8, 8)
    assert colour_at(pixels, 40, 30) == BLUE
    assert colour_at(pixels, 47, 37) == RED


def test_failed_conversion_draws_nothing(bridge, target, textures):
    class NoMipmaps:
        id, width, height = textures["white"].id, 8, 8

    def draw():
        with pytest.raises(AttributeError):
            bridge.draw_texture_vec(NoMipmaps(), (0, 0), (255, 255, 255), False)
        with pytest.raises(TypeError):
            bridge.draw_texture_vec(textures["white"], (0, "y"), (255, 255, 255), False)
        with pytest.raises(TypeError):
            bridge.draw_texture_rec(textures["white"], (0, 0, 8, 8), (0, 0), ("r", 0, 0))

    pixels = render(bridge, target, draw)
    assert footprint(pixels, BLACK) is None
