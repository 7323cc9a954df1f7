"""Reading pixels back from raylib, and assertions on them."""

from __future__ import annotations

from dataclasses import dataclass

import numpy as np


@dataclass
class Raylib:
    rl: object  # the binding's compiled function library
    ffi: object  # its cffi FFI
    consts: object  # the `raylib` package (enum constants)


def image_pixels(raylib: Raylib, image) -> np.ndarray:
    """An RGBA8 image's pixels as an array of shape (height, width, 4), top row first."""
    rl, ffi = raylib.rl, raylib.ffi
    if image.format != raylib.consts.PIXELFORMAT_UNCOMPRESSED_R8G8B8A8:
        rl.ImageFormat(ffi.addressof(image), raylib.consts.PIXELFORMAT_UNCOMPRESSED_R8G8B8A8)
    size = image.width * image.height * 4
    data = np.frombuffer(ffi.buffer(image.data, size), dtype=np.uint8)
    return data.reshape(image.height, image.width, 4).copy()


def texture_pixels(raylib: Raylib, texture) -> np.ndarray:
    """A texture's pixels read back from the GPU, top row first (as drawn)."""
    image = raylib.rl.LoadImageFromTexture(texture)
    try:
        # OpenGL keeps render textures bottom row first.
        return image_pixels(raylib, image)[::-1]
    finally:
        raylib.rl.UnloadImage(image)


class Target:
    """A render texture to draw into, and its pixels read back."""

    def __init__(self, raylib: Raylib, width: int, height: int) -> None:
        self.raylib = raylib
        self.width = width
        self.height = height
        self.render_texture = raylib.rl.LoadRenderTexture(width, height)
        assert self.render_texture.id != 0, "LoadRenderTexture failed"

    def pixels(self) -> np.ndarray:
        return texture_pixels(self.raylib, self.render_texture.texture)

    def unload(self) -> None:
        self.raylib.rl.UnloadRenderTexture(self.render_texture)


def footprint(pixels: np.ndarray, background) -> tuple[int, int, int, int] | None:
    """Bounding box (x, y, w, h) of the pixels that differ from `background`, or None."""
    differs = np.any(pixels != np.asarray(background, dtype=np.uint8), axis=2)
    ys, xs = np.nonzero(differs)
    if len(xs) == 0:
        return None
    return int(xs.min()), int(ys.min()), int(xs.max() - xs.min() + 1), int(ys.max() - ys.min() + 1)


def region(pixels: np.ndarray, x: int, y: int, w: int, h: int) -> np.ndarray:
    return pixels[y:y + h, x:x + w].reshape(-1, 4)


def assert_region(pixels: np.ndarray, rect, colour, tolerance: int = 0) -> None:
    """Every pixel of `rect` (x, y, w, h) is `colour` (RGBA) within `tolerance` per channel."""
    x, y, w, h = rect
    block = region(pixels, x, y, w, h).astype(int)
    assert block.size, f"empty region {rect}"
    expected = np.asarray(colour, dtype=int)
    worst = np.abs(block - expected).max(axis=1)
    bad = np.nonzero(worst > tolerance)[0]
    if len(bad):
        first = bad[0]
        px, py = x + first % w, y + first // w
        raise AssertionError(
            f"{len(bad)} of {w * h} pixels in {rect} differ from {tuple(colour)} "
            f"(tolerance {tolerance}); first at ({px}, {py}): {tuple(block[first])}")


def colour_at(pixels: np.ndarray, x: int, y: int) -> tuple[int, int, int, int]:
    return tuple(int(c) for c in pixels[y, x])
