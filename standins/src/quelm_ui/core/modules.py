"""Lazily imported third-party modules used by the native core.

``pygame`` is imported on first attribute access, so importing the toolkit does not pull in
pygame (and its start-up banner) unless something actually converts to pygame objects.
"""

import importlib
import os

_LAZY = {"pygame": "pygame"}


def __getattr__(name: str):
    target = _LAZY.get(name)
    if target is None:
        raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
    os.environ.setdefault("PYGAME_HIDE_SUPPORT_PROMPT", "1")
    module = importlib.import_module(target)
    globals()[name] = module
    return module


def __dir__():
    return sorted(list(globals()) + list(_LAZY))
