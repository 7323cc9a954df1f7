"""Drawing the scene: every texture blit, clear, mode switch and uniform goes through the bridge.

Only text (the labels and the log overlay) is drawn with the raylib binding's own DrawText, which
the bridge does not cover. The scene is drawn into a render texture; the window then shows that
texture, flipped, under `begin_drawing`/`end_drawing`.
"""

from __future__ import annotations

import math

from quelm_ui.fast.qmrect.qmrect import QmRect
from quelm_ui.fast.qmshader.qmshader import QmShader
from quelm_ui.fast.qmvector2.qmvector2 import QmVector2

BLEND_ADDITIVE = 1
WHITE = (255, 255, 255, 255)
WHITE_TINT = QmRect(255, 255, 255, 255)
PRESSED_TINT = QmRect(200, 200, 210, 255)

BACKDROP_SHADER = b"""#version 330
in vec2 fragTexCoord;
in vec4 fragColor;
out vec4 finalColor;
uniform vec2 u_size;        // scene size in pixels
uniform vec2 u_pointer;     // pointer position in pixels
uniform float u_time;       // seconds of scene time
uniform float u_hue;        // 0..1, moved by the wheel over the backdrop
uniform vec4 u_base;        // base colour of the backdrop
uniform vec4 u_ripples[4];  // x, y, age in seconds, strength (0: unused)

vec3 hue_to_rgb(float h) {
    vec3 k = clamp(abs(mod(h * 6.0 + vec3(0.0, 4.0, 2.0), 6.0) - 3.0) - 1.0, 0.0, 1.0);
    return k;
}

void main() {
    vec2 p = fragTexCoord * u_size;
    float band = 0.5 + 0.5 * sin(p.x * 0.012 + p.y * 0.008 + u_time * 0.8);
    vec3 colour = u_base.rgb * (0.75 + 0.25 * band);
    colour = mix(colour, hue_to_rgb(u_hue) * 0.45, 0.35 + 0.15 * p.y / u_size.y);
    float d = distance(p, u_pointer);
    colour += vec3(0.22) * exp(-d * d / (2.0 * 70.0 * 70.0));
    for (int i = 0; i < 4; ++i) {
        vec4 r = u_ripples[i];
        if (r.w <= 0.0) continue;
        float radius = r.z * 240.0;
        float ring = exp(-pow(distance(p, r.xy) - radius, 2.0) / 60.0);
        colour += vec3(0.5, 0.6, 0.8) * ring * r.w * max(0.0, 1.0 - r.z);
    }
    finalColor = vec4(colour, 1.0);
}
"""


class Painter:
    """Owns the textures, the shader and the render target; draws one frame of the scene."""

    def __init__(self, bridge, rl, ffi, width: int, height: int) -> None:
        self.bridge = bridge
        self.rl = rl
        self.ffi = ffi
        self.width = width
        self.height = height
        self.calls = 0  # bridge calls in the current frame
        self.target = rl.LoadRenderTexture(width, height)
        self.textures = {}
        self._make_textures()
        self.shader = rl.LoadShaderFromMemory(ffi.NULL, BACKDROP_SHADER)
        if not rl.IsShaderValid(self.shader):
            raise RuntimeError("the backdrop shader did not compile")
        # The two ways the toolkit hands a shader to the bridge: an object with `id` and `locs`
        # (the location array's address), and a QmShader holding the same two values.
        locs_address = int(ffi.cast("uintptr_t", self.shader.locs))
        self.shader_view = ShaderHandle(self.shader.id, locs_address)
        self.qmshader = QmShader(self.shader.id, locs_address)
        b = bridge
        self.loc = {name: b.get_qmshader_location(self.qmshader, name)
                    for name in ("u_pointer", "u_time", "u_base", "u_ripples")}
        self.loc["u_size"] = b.get_shader_location(self.shader_view, "u_size")
        self.loc["u_hue"] = b.get_shader_location(self.shader_view, "u_hue")
        b.set_shader_value_vec2_tuple(self.shader_view, self.loc["u_size"],
                                      (float(width), float(height)))
        b.set_qmshader_value_vec4_tuple(self.qmshader, self.loc["u_base"], (0.16, 0.18, 0.24, 1.0))

    def _make_textures(self) -> None:
        rl, ffi = self.rl, self.ffi

        def load(name, image):
            self.textures[name] = rl.LoadTextureFromImage(image)
            rl.UnloadImage(image)

        load("white", rl.GenImageColor(4, 4, WHITE))
        # Tile face: white with a soft darker rim, tinted per tile.
        tile = rl.GenImageColor(56, 56, WHITE)
        rl.ImageDrawRectangleLinesEx(ffi.addressof(tile), (0, 0, 56, 56), 3, (205, 205, 205, 255))
        rl.ImageDrawRectangle(ffi.addressof(tile), 3, 3, 50, 6, (255, 255, 255, 255))
        load("tile", tile)
        button = rl.GenImageColor(22, 22, WHITE)
        rl.ImageDrawRectangleLinesEx(ffi.addressof(button), (0, 0, 22, 22), 2, (205, 205, 205, 255))
        load("button", button)
        # List row: white with a lighter top edge and a darker bottom edge.
        row = rl.GenImageColor(220, 28, (235, 235, 235, 255))
        rl.ImageDrawRectangle(ffi.addressof(row), 0, 0, 220, 1, WHITE)
        rl.ImageDrawRectangle(ffi.addressof(row), 0, 27, 220, 1, (190, 190, 190, 255))
        load("row", row)
        # Selected mark: a filled dot.
        dot = rl.GenImageColor(20, 20, (0, 0, 0, 0))
        rl.ImageDrawCircle(ffi.addressof(dot), 10, 10, 8, (40, 40, 48, 255))
        rl.ImageDrawCircle(ffi.addressof(dot), 10, 10, 4, WHITE)
        load("dot", dot)
        # Arrow pointing down; drawn flipped it points up.
        arrow = rl.GenImageColor(14, 8, (0, 0, 0, 0))
        rl.ImageDrawTriangle(ffi.addressof(arrow), (0, 0), (7, 8), (14, 0), WHITE)
        load("arrow", arrow)
        # Dial needle: a bar with a bright tip, rotated about its left end.
        needle = rl.GenImageColor(48, 6, (220, 224, 235, 255))
        rl.ImageDrawRectangle(ffi.addressof(needle), 36, 0, 12, 6, (250, 120, 80, 255))
        load("needle", needle)
        # Knob face.
        knob = rl.GenImageColor(96, 96, (0, 0, 0, 0))
        rl.ImageDrawCircle(ffi.addressof(knob), 48, 48, 46, (90, 98, 120, 255))
        rl.ImageDrawCircle(ffi.addressof(knob), 48, 48, 40, (66, 72, 92, 255))
        load("knob", knob)
        # Glow behind the hovered widget, added to what is below it.
        load("glow", rl.GenImageGradientRadial(64, 64, 0.0, (120, 140, 200, 255), (0, 0, 0, 255)))
        # Pointer.
        cursor = rl.GenImageColor(14, 20, (0, 0, 0, 0))
        rl.ImageDrawTriangle(ffi.addressof(cursor), (0, 0), (0, 18), (13, 13), (20, 20, 24, 255))
        rl.ImageDrawTriangle(ffi.addressof(cursor), (2, 4), (2, 14), (9, 12), WHITE)
        load("cursor", cursor)

    def unload(self) -> None:
        for texture in self.textures.values():
            self.rl.UnloadTexture(texture)
        self.rl.UnloadShader(self.shader)
        self.rl.UnloadRenderTexture(self.target)

    # -- helpers: one bridge call each ------------------------------------------------------------
    def fill(self, x, y, w, h, colour, rotation=0.0, origin=(0.0, 0.0)) -> None:
        self.calls += 1
        self.bridge.draw_texture_pro(self.textures["white"], (0.0, 0.0, 4.0, 4.0),
                                     (float(x), float(y), float(w), float(h)), origin, rotation,
                                     colour)

    def text(self, message: str, x: float, y: float, size: int, colour) -> None:
        self.rl.DrawText(message.encode(), int(x), int(y), size, colour)

    # -- the frame ------------------------------------------------------------------------------
    def update_uniforms(self, ui, pointer: QmVector2, time: float, ripples) -> None:
        b = self.bridge
        b.set_qmshader_value_vec2_qmvec(self.qmshader, self.loc["u_pointer"], pointer)
        b.set_qmshader_value_float(self.qmshader, self.loc["u_time"], time)
        b.set_shader_value_float(self.shader_view, self.loc["u_hue"], ui.backdrop.hue)
        slots = [{"x": x, "y": y, "z": age, "w": strength} for x, y, age, strength in ripples]
        slots += [{"x": 0.0, "y": 0.0, "z": 0.0, "w": 0.0}] * (4 - len(slots))
        b.set_qmshader_value_vec4_v(self.qmshader, self.loc["u_ripples"], slots[:4])
        self.calls += 4

    def draw_scene(self, ui, pointer: QmVector2, pressed: bool, overlay: list[str]) -> None:
        b = self.bridge
        b.begin_texture_mode(self.target)
        b.clear_background((16, 18, 24))
        self.calls += 2

        # Backdrop through the shader.
        b.begin_shader_mode(self.shader_view)
        self.fill(0, 0, self.width, self.height, WHITE)
        b.end_shader_mode()
        self.calls += 2
        self.text("quelm_ui.fast demo", 28, 20, 20, (230, 234, 244, 255))
        self.text(f"{len(ui.widgets)} widgets - ZSystem dispatch - quelm_raylib drawing", 236, 25,
                  10, (170, 178, 196, 255))

        hovered = ui.zsystem.last_hovered_request
        glow_owner = None
        for widget in ui.widgets.values():
            if widget._z_request is hovered and widget is not ui.backdrop and widget.visible:
                glow_owner = widget
        if glow_owner is not None:
            rect = glow_owner.qmrect
            b.begin_blend_mode(BLEND_ADDITIVE)
            b.draw_texture_pro(self.textures["glow"], (0.0, 0.0, 64.0, 64.0),
                               (rect.x - 14, rect.y - 14, rect.w + 28, rect.h + 28), (0.0, 0.0),
                               0.0, (255, 255, 255, 150))
            b.end_blend_mode()
            self.calls += 3

        for tile in ui.tiles:
            self.draw_tile(tile)
        self.draw_dial(ui.dial)
        self.draw_list(ui.list)
        for popup in ui.popups:
            if popup.visible:
                self.draw_popup(popup)

        # Log overlay, bottom left.
        self.fill(20, 330, 214, 80, (10, 12, 18, 170))
        for i, line in enumerate(overlay[-6:]):
            self.text(line, 28, 336 + i * 12, 10, (196, 204, 222, 255))

        # The pointer, darker while the button is held.
        if pressed:
            b.draw_texture_qmvec(self.textures["cursor"], pointer, PRESSED_TINT, False)
        else:
            b.draw_texture_qmvec_ez(self.textures["cursor"], pointer, False)
        b.end_texture_mode()
        self.calls += 2

    def draw_tile(self, tile) -> None:
        b = self.bridge
        position = tile.position
        b.draw_texture_qmvec(self.textures["tile"], position, tile.tint, False)
        self.calls += 1
        if tile.selected:
            b.draw_texture_qmvec_ez(self.textures["dot"], position + QmVector2(32.0, 4.0), False)
            self.calls += 1
        self.text(tile.name, position.x + 7, position.y + 38, 10, (24, 26, 34, 255))

    def draw_dial(self, dial) -> None:
        b = self.bridge
        rect = dial.qmrect
        self.fill(rect.x, rect.y, rect.w, rect.h, tuple(int(c) for c in (
            dial.tint.x, dial.tint.y, dial.tint.w, dial.tint.h)))
        cx, cy = dial.centre
        b.draw_texture_vec_ez(self.textures["knob"], (cx - 48, cy - 48), False)
        # Needle: rotate the bar about its left end, which sits on the knob's centre.
        b.draw_texture_pro(self.textures["needle"], (0.0, 0.0, 48.0, 6.0), (cx, cy, 40.0, 6.0),
                           (0.0, 3.0), dial.angle, (255, 255, 255, 255))
        self.calls += 2
        for k in range(12):
            angle = math.radians(k * 30.0)
            self.fill(cx + math.cos(angle) * 52, cy + math.sin(angle) * 52, 4, 4,
                      (150, 160, 186, 255), rotation=k * 30.0, origin=(2.0, 2.0))
        self.text(f"{(dial.angle + 90.0) % 360.0:5.1f} deg", rect.x + 6, rect.y + rect.h - 14, 10,
                  (190, 198, 216, 255))

    def draw_list(self, panel) -> None:
        b = self.bridge
        rect = panel.qmrect
        self.fill(rect.x, rect.y, rect.w, rect.h, panel.base_colour)
        self.text(f"items {panel.first + 1}-{panel.first + panel.visible_rows} of "
                  f"{len(panel.rows)}", rect.x + 8, rect.y + 7, 10, (190, 198, 216, 255))
        # Scroll indicators: the same arrow texture, flipped for "up".
        can_up = panel.first > 0
        can_down = panel.first + panel.visible_rows < len(panel.rows)
        b.draw_texture_vec(self.textures["arrow"], (rect.x + rect.w - 40, rect.y + 8),
                           (230, 230, 240) if can_up else (80, 86, 100), True)
        b.draw_texture_vec(self.textures["arrow"], (rect.x + rect.w - 22, rect.y + 8),
                           (230, 230, 240) if can_down else (80, 86, 100), False)
        self.calls += 2
        for row in panel.rows:
            if not row.visible:
                continue
            r = row.qmrect
            tint = row.tint
            b.draw_texture_rec(self.textures["row"], (0.0, 0.0, r.w, r.h),
                               (r.x + row.offset.x, r.y + row.offset.y),
                               (int(tint.x), int(tint.y), int(tint.w), int(tint.h)))
            self.calls += 1
            self.text(f"{row.name}  item {row.index + 1:02d}", r.x + 8 + row.offset.x,
                      r.y + 9 + row.offset.y, 10, (222, 228, 240, 255))

    def draw_popup(self, popup) -> None:
        b = self.bridge
        rect = popup.qmrect
        self.fill(rect.x + 6, rect.y + 8, rect.w, rect.h, (0, 0, 0, 90))  # shadow
        tint = popup.tint
        self.fill(rect.x, rect.y, rect.w, rect.h, (int(tint.x), int(tint.y), int(tint.w), 255))
        self.fill(rect.x, rect.y, rect.w, 30, (60, 70, 96, 255))
        self.text(popup.title, rect.x + 10, rect.y + 9, 10, (236, 240, 250, 255))
        lines = ("A card at z 5: it takes", "hover, clicks and the", "wheel before the tiles.")
        for i, line in enumerate(lines):
            self.text(line, rect.x + 10, rect.y + 42 + i * 14, 10, (40, 44, 56, 255))
        button = popup.close_button
        position = button.position
        b.draw_texture_qmvec(self.textures["button"], position, button.tint, False)
        self.calls += 1
        self.text("x", position.x + 8, position.y + 5, 10, WHITE)

    def present(self, capture_to: str | None = None) -> None:
        """Show the rendered scene in the window; optionally save exactly that frame as PNG."""
        b = self.bridge
        b.begin_drawing()
        b.clear_background((0, 0, 0))
        # Render textures are stored bottom row first: drawing with a flip shows them upright.
        b.draw_texture_qmvec(self.target.texture, QmVector2(0.0, 0.0), WHITE_TINT, True)
        self.calls += 3
        if capture_to is not None:
            self.rl.rlDrawRenderBatchActive()
            image = self.rl.LoadImageFromScreen()
            try:
                if not self.rl.ExportImage(image, capture_to.encode()):
                    raise RuntimeError(f"could not write {capture_to}")
            finally:
                self.rl.UnloadImage(image)
        b.end_drawing()
        self.calls += 1


class ShaderHandle:
    """A shader as the bridge's plain family reads it: `id` and `locs` (an address)."""

    def __init__(self, shader_id: int, locs: int) -> None:
        self.id = shader_id
        self.locs = locs
