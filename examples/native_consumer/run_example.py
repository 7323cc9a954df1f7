"""Drives the example consumer: vectors added up through QmVector2's native table, and raylib
calls made natively through quelm_raylib's exported entries into a ctypes stand-in for raylib's
ClearBackground. Exits non-zero on any mismatch."""

import ctypes

import qm_example
from quelm_ui.fast.qmvector2.qmvector2 import QmVector2


class Color(ctypes.Structure):
    _fields_ = [("r", ctypes.c_ubyte), ("g", ctypes.c_ubyte), ("b", ctypes.c_ubyte),
                ("a", ctypes.c_ubyte)]


def main() -> None:
    end = qm_example.path_end([(1, 2), (3.5, -1), (0, 4)])
    assert type(end) is QmVector2 and (end.x, end.y) == (4.5, 5.0), end

    try:
        qm_example.clear((10, 20, 30))
    except RuntimeError as error:
        assert str(error) == ("raylib function ClearBackground is not bound: "
                              "call init_raylib_pointers first"), error
    else:
        raise AssertionError("an unbound entry was called")

    cleared = []
    clear_background = ctypes.CFUNCTYPE(None, Color)(
        lambda color: cleared.append((color.r, color.g, color.b, color.a)))
    frames = []
    end_drawing = ctypes.CFUNCTYPE(None)(lambda: frames.append(True))
    qm_example.bind({
        "ClearBackground": ctypes.cast(clear_background, ctypes.c_void_p).value,
        "EndDrawing": ctypes.cast(end_drawing, ctypes.c_void_p).value,
    })
    qm_example.clear((10, 20, 30, 40))
    qm_example.finish_frame()
    assert cleared == [(10, 20, 30, 40)] and frames == [True], (cleared, frames)
    print(f"example consumer: path_end -> {end!r}, ClearBackground{cleared[0]}, EndDrawing: ok")


if __name__ == "__main__":
    main()
