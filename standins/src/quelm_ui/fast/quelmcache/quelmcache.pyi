"""Minimal stand-in for the toolkit's quelmcache module."""

from typing import Any, final

@final
class Cache:
    cache_arr: Any
    def __init__(self) -> None: ...
