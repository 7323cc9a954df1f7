"""The scene's widgets: owners with a rectangle and a z, each holding its input request.

Every widget is a `QuelmCobject` (its `qmrect` and its "z" parameter are what the dispatcher
reads when it rebuilds its hit arrays) and keeps its `ZRequest` in `_z_request`. The request's
callbacks are weak method references: the dispatcher calls the stored callable, gets the bound
method back (or None once the widget is gone) and calls that, so a request never keeps its
widget alive.
"""

from __future__ import annotations

import weakref
from collections.abc import Callable

from quelm_ui.core.enums import BindType
from quelm_ui.fast.qmrect.qmrect import QmRect
from quelm_ui.fast.qmvector2.qmvector2 import QmVector2
from quelm_ui.fast.quelmcobj.quelmcobj import QuelmCobject
from quelm_ui.fast.zsystem.zdispatch import ZRequest, ZSystem

Colour = tuple[int, int, int, int]

PRESS_OFFSET = QmVector2(0.0, 3.0)


def shade(colour: Colour, factor: float) -> Colour:
    """`colour` made lighter (factor > 1) or darker (factor < 1), alpha kept."""
    r, g, b, a = colour
    return (min(255, int(r * factor)), min(255, int(g * factor)), min(255, int(b * factor)), a)


class Widget(QuelmCobject):
    """A rectangle on screen that takes part in z-ordered input dispatch."""

    handles_scroll = False

    def __init__(self, ui: "UI", name: str, rect: tuple[float, float, float, float], z: int,
                 colour: Colour) -> None:
        super().__init__(QmRect(*rect), z)
        self.ui = ui
        self.name = name
        self.base_colour = colour
        self.tint = QmRect(*colour)  # r, g, b, a in x, y, w, h: what the bridge draws with
        self.offset = QmVector2(0.0, 0.0)  # drawn offset, eased towards `target_offset`
        self.target_offset = QmVector2(0.0, 0.0)
        self.hovered = False
        self.pressed = False
        self.visible = True
        method = weakref.WeakMethod
        self._z_request = ZRequest(
            self,
            method(self.on_hover),
            method(self.on_unhover),
            method(self.on_click),
            method(self.on_keyup),
            method(self.on_keyup_abandon),
            method(self.on_scroll) if self.handles_scroll else None,
        )

    # -- geometry ------------------------------------------------------------------------------
    @property
    def position(self) -> QmVector2:
        """Top-left corner where the widget is drawn this frame (its rectangle plus offset)."""
        rect = self.qmrect
        return QmVector2(rect.x, rect.y) + self.offset

    @property
    def centre(self) -> tuple[float, float]:
        rect = self.qmrect
        return (rect.x + rect.w / 2.0, rect.y + rect.h / 2.0)

    def set_tint(self, colour: Colour) -> None:
        tint = self.tint
        tint.x, tint.y, tint.w, tint.h = colour

    def current_colour(self) -> Colour:
        if self.pressed:
            return shade(self.base_colour, 0.7)
        if self.hovered:
            return shade(self.base_colour, 1.35)
        return self.base_colour

    def refresh(self) -> None:
        self.set_tint(self.current_colour())
        self.target_offset = PRESS_OFFSET if self.pressed else QmVector2(0.0, 0.0)

    def step(self) -> None:
        """Per-frame animation: ease the drawn offset towards its target."""
        self.offset += (self.target_offset - self.offset) * 0.5
        if self.offset.distance_to(self.target_offset) < 0.05:
            self.offset = self.target_offset.copy()

    # -- input callbacks (called by ZSystem.cycle) -----------------------------------------------
    def on_hover(self) -> None:
        self.hovered = True
        self.refresh()
        self.ui.log("hover", self)

    def on_unhover(self) -> None:
        self.hovered = False
        self.refresh()
        self.ui.log("unhover", self)

    def on_click(self) -> None:
        self.pressed = True
        self.refresh()
        self.ui.log("click", self)

    def on_keyup(self) -> None:
        self.pressed = False
        self.ui.log("keyup", self)
        self.activate()
        self.refresh()

    def on_keyup_abandon(self) -> None:
        self.pressed = False
        self.hovered = False  # the pointer is elsewhere; the next frame hovers the new target
        self.refresh()
        self.ui.log("abandon", self)

    def on_scroll(self, bind_type: BindType, wheel_down: bool) -> None:
        assert bind_type is BindType.Scroll
        self.ui.log("scroll-down" if wheel_down else "scroll-up", self)
        self.scrolled(1 if wheel_down else -1)

    # -- behaviour of the kinds -----------------------------------------------------------------
    def activate(self) -> None:
        """A click completed over the widget."""

    def scrolled(self, steps: int) -> None:
        """The wheel moved over the widget (only for kinds with `handles_scroll`)."""


class Backdrop(Widget):
    """The whole window at the bottom of the stack: the wheel shifts the background's hue."""

    handles_scroll = True

    def __init__(self, ui, rect) -> None:
        super().__init__(ui, "backdrop", rect, 0, (255, 255, 255, 255))
        self.hue = 0.58

    def current_colour(self) -> Colour:
        return self.base_colour

    def scrolled(self, steps: int) -> None:
        self.hue = (self.hue + 0.04 * steps) % 1.0


class Tile(Widget):
    """A toggle button: a completed click selects or deselects it."""

    def __init__(self, ui, name, rect, colour) -> None:
        super().__init__(ui, name, rect, 1, colour)
        self.selected = False

    def current_colour(self) -> Colour:
        if self.selected and not self.pressed:
            accent = (250, 196, 64, 255)
            return shade(accent, 1.15) if self.hovered else accent
        return super().current_colour()

    def activate(self) -> None:
        self.selected = not self.selected
        self.ui.log("select" if self.selected else "deselect", self)


class Dial(Widget):
    """A knob: the wheel turns its needle 15 degrees per step."""

    handles_scroll = True

    def __init__(self, ui, name, rect, colour) -> None:
        super().__init__(ui, name, rect, 1, colour)
        self.angle = -90.0
        self.target_angle = -90.0

    def scrolled(self, steps: int) -> None:
        self.target_angle += 15.0 * steps

    def step(self) -> None:
        super().step()
        self.angle += (self.target_angle - self.angle) * 0.35


class ListPanel(Widget):
    """A list of rows of which `visible_rows` show at a time; the wheel scrolls it by rows."""

    handles_scroll = True

    def __init__(self, ui, name, rect, colour, row_height: float, visible_rows: int) -> None:
        super().__init__(ui, name, rect, 1, colour)
        self.row_height = row_height
        self.visible_rows = visible_rows
        self.rows: list[ListRow] = []
        self.first = 0  # index of the top visible row

    def current_colour(self) -> Colour:
        return self.base_colour

    def add_rows(self, count: int) -> list["ListRow"]:
        for i in range(count):
            self.rows.append(ListRow(self.ui, self, i))
        self.layout()
        return self.rows

    def layout(self) -> None:
        """Place the rows for the current scroll position: rows outside take no room."""
        panel = self.qmrect
        for i, row in enumerate(self.rows):
            slot = i - self.first
            rect = row.qmrect
            row.visible = 0 <= slot < self.visible_rows
            rect.x = panel.x + 6
            rect.y = panel.y + 24 + slot * self.row_height
            rect.w = (panel.w - 12) if row.visible else 0.0
            rect.h = (self.row_height - 2) if row.visible else 0.0

    def scrolled(self, steps: int) -> None:
        first = max(0, min(len(self.rows) - self.visible_rows, self.first + steps))
        if first != self.first:
            self.first = first
            self.layout()
            self.ui.zsystem.mark_dirty()  # rectangles moved: rebuild the hit arrays next cycle


class ListRow(Widget):
    """One row of a list; scrolling over a row scrolls its list, a click picks the row."""

    handles_scroll = True

    def __init__(self, ui, panel: ListPanel, index: int) -> None:
        colour = (58, 66, 86, 255) if index % 2 else (50, 57, 75, 255)
        super().__init__(ui, f"row{index + 1}", (0, 0, 0, 0), 2, colour)
        self.panel = panel
        self.index = index
        self.picked = False

    def current_colour(self) -> Colour:
        if self.picked:
            return (64, 132, 220, 255) if not self.hovered else (84, 152, 240, 255)
        return super().current_colour()

    def activate(self) -> None:
        for row in self.panel.rows:
            if row.picked and row is not self:
                row.picked = False
                row.refresh()
        self.picked = True
        self.ui.log("pick", self)

    def scrolled(self, steps: int) -> None:
        self.panel.scrolled(steps)


class Popup(Widget):
    """A card above the tiles; its close button takes it out of dispatch and off the screen."""

    def __init__(self, ui, name, rect, colour, title: str) -> None:
        super().__init__(ui, name, rect, 5, colour)
        self.title = title
        x, y, w, _ = rect
        self.close_button = CloseButton(ui, self, (x + w - 26, y + 4, 22, 22))

    def current_colour(self) -> Colour:
        return shade(self.base_colour, 1.12) if self.hovered else self.base_colour

    def close(self) -> None:
        for widget in (self, self.close_button):
            widget.visible = False
            widget._dead = 1  # the dispatcher drops dead owners at its next rebuild
        self.ui.zsystem.mark_dirty()
        self.ui.log("close", self)


class CloseButton(Widget):
    def __init__(self, ui, popup: Popup, rect) -> None:
        super().__init__(ui, popup.name + ".close", rect, 6, (196, 72, 72, 255))
        self.popup = popup

    def activate(self) -> None:
        self.popup.close()


class UI:
    """The widgets of the scene, the dispatcher they are registered with, and the event log."""

    def __init__(self, width: int, height: int) -> None:
        self.width = width
        self.height = height
        self.zsystem = ZSystem()
        self.frame = 0
        self.events: list[tuple[int, str, str]] = []  # (frame, event, widget name)
        self.widgets: dict[str, Widget] = {}
        self.on_event: Callable[[int, str, str], None] | None = None

        self.backdrop = self.add(Backdrop(self, (0, 0, width, height)))
        self.tiles: list[Tile] = []
        palette = [(70, 110, 170, 255), (64, 140, 120, 255), (150, 90, 150, 255),
                   (170, 110, 70, 255)]
        for row in range(4):
            for col in range(6):
                name = f"{'ABCD'[row]}{col + 1}"
                rect = (28 + col * 66, 64 + row * 66, 56, 56)
                self.tiles.append(self.add(Tile(self, name, rect, palette[row])))
        self.dial = self.add(Dial(self, "dial", (460, 64, 118, 118), (54, 60, 78, 255)))
        self.list = self.add(ListPanel(self, "list", (460, 196, 232, 210), (40, 45, 60, 255),
                                       row_height=30, visible_rows=6))
        for row in self.list.add_rows(12):
            self.add(row)
        self.popups = [
            Popup(self, "popup1", (150, 104, 190, 118), (236, 238, 244, 255), "Settings"),
            Popup(self, "popup2", (252, 248, 186, 98), (236, 238, 244, 255), "Notice"),
        ]
        for popup in self.popups:
            self.add(popup)
            self.add(popup.close_button)

    def add(self, widget: Widget) -> Widget:
        self.widgets[widget.name] = widget
        self.zsystem.add(widget._z_request)
        return widget

    def log(self, event: str, widget: Widget) -> None:
        self.events.append((self.frame, event, widget.name))
        if self.on_event is not None:
            self.on_event(self.frame, event, widget.name)

    def step(self) -> None:
        for widget in self.widgets.values():
            widget.step()
