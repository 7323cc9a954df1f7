"""A scripted pointer: positions, button presses and releases and wheel moves, frame by frame."""

from __future__ import annotations

from dataclasses import dataclass


@dataclass(frozen=True)
class Input:
    """One frame of pointer input, as the dispatcher's `cycle` takes it."""

    x: float
    y: float
    note: str = ""  # what this part of the script shows, printed with the frame
    mouse_down: bool = False  # the button went down this frame
    mouse_up: bool = False  # the button went up this frame
    any_wheel: bool = False  # the wheel moved this frame
    wheel_down: bool = False  # ... downwards

    @property
    def flags(self) -> str:
        parts = []
        if self.mouse_down:
            parts.append("down")
        if self.mouse_up:
            parts.append("up")
        if self.any_wheel:
            parts.append("wheel-down" if self.wheel_down else "wheel-up")
        return " ".join(parts)


class PointerScript:
    """Builds the list of per-frame inputs with a few verbs (move, press, release, wheel)."""

    def __init__(self, x: float, y: float) -> None:
        self.x = float(x)
        self.y = float(y)
        self.frames: list[Input] = []
        self._note = ""

    def _emit(self, **flags) -> None:
        self.frames.append(Input(self.x, self.y, self._note, **flags))
        self._note = ""

    def note(self, text: str) -> "PointerScript":
        """Attach `text` to the next frame."""
        self._note = text
        return self

    def move_to(self, point: tuple[float, float], frames: int) -> "PointerScript":
        """Glide to `point` in `frames` frames (ease-in-out), one input per frame."""
        x0, y0 = self.x, self.y
        x1, y1 = point
        for i in range(1, frames + 1):
            t = i / frames
            eased = t * t * (3.0 - 2.0 * t)
            self.x = x0 + (x1 - x0) * eased
            self.y = y0 + (y1 - y0) * eased
            self._emit()
        return self

    def hold(self, frames: int) -> "PointerScript":
        for _ in range(frames):
            self._emit()
        return self

    def press(self) -> "PointerScript":
        self._emit(mouse_down=True)
        return self

    def release(self) -> "PointerScript":
        self._emit(mouse_up=True)
        return self

    def tap(self) -> "PointerScript":
        """Press and release within one frame."""
        self._emit(mouse_down=True, mouse_up=True)
        return self

    def click(self, held: int = 3) -> "PointerScript":
        return self.press().hold(held).release()

    def wheel(self, down: bool, times: int = 1, every: int = 3) -> "PointerScript":
        for _ in range(times):
            self._emit(any_wheel=True, wheel_down=down)
            self.hold(every - 1)
        return self
