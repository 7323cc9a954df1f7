"""Minimal stand-in for the toolkit's qmparam module."""

from typing import Any, SupportsInt, final

@final
class QmParam:
    name: Any
    value: Any
    default: Any
    getter: Any
    setter: Any
    type: Any
    def __init__(self, name: Any, value: Any = None) -> None: ...
    @property
    def layer(self) -> int: ...
    @layer.setter
    def layer(self, value: SupportsInt) -> None: ...
