"""Minimal stand-in for the toolkit's qm_render_tex module."""

from typing import Any, final

@final
class QmRenderTexture:
    render_texture: Any
    def __init__(self, render_texture: Any = None) -> None: ...
    def get_texture(self) -> Any: ...
