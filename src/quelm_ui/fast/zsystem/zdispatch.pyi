"""The z-ordered input dispatcher: ZRequest input targets and the ZSystem registry."""

import weakref as weakref
from typing import Any, NoReturn, Self, SupportsInt

import numpy as np
from typing_extensions import disjoint_base
from quelm_ui.core.enums import BindType as BindType
from quelm_ui.fast.qmvector2.qmvector2 import QmVector2

@disjoint_base
class ZRequest:
    on_hover_func: Any
    on_unhover_func: Any
    on_click_func: Any
    on_scroll_func: Any
    on_keyup_func: Any
    on_keyup_abandon_func: Any
    def __init__(
        self,
        link: Any,
        on_hover_func: Any = None,
        on_unhover_func: Any = None,
        on_click_func: Any = None,
        on_keyup_func: Any = None,
        on_keyup_abandon_func: Any = None,
        on_scroll_func: Any = None,
    ) -> None: ...
    def __reduce__(self) -> tuple[Any, ...]: ...
    def __setstate__(self, __pyx_state: tuple[Any, ...]) -> None: ...

@disjoint_base
class ZSystem:
    last_hovered_request: Any
    clicked_request: Any
    live_requests: list[ZRequest] | None
    def __new__(cls, *args: Any, **kwargs: Any) -> Self: ...
    @property
    def is_dirty(self) -> bool: ...
    @is_dirty.setter
    def is_dirty(self, value: object) -> None: ...
    def add(self, z_request: ZRequest | None) -> None: ...
    def mark_dirty(self) -> None: ...
    def get_active_requests(self) -> list[ZRequest]: ...
    def cycle(
        self,
        mouse_pos: QmVector2 | None,
        mouse_down: object,
        mouse_up: object,
        any_wheel: object,
        wheel_down: object,
    ) -> None: ...
    def __reduce__(self) -> NoReturn: ...
    def __setstate__(self, __pyx_state: object) -> NoReturn: ...

def __pyx_unpickle_ZRequest(
    __pyx_type: type[ZRequest], __pyx_checksum: SupportsInt, __pyx_state: tuple[Any, ...] | None
) -> ZRequest: ...
