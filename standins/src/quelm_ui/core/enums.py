"""Enumerations shared by the toolkit's modules."""

from enum import Enum


class BindType(Enum):
    """What kind of input a bound handler receives."""

    Hover = 0
    Unhover = 1
    Click = 2
    Scroll = 3
    KeyUp = 4
    KeyUpAbandon = 5
