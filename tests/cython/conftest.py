"""Fixtures of the Cython-built test beds: `cybuild` is the builder module (tests/cython/cybuild.py)."""

from __future__ import annotations

import importlib.util
from pathlib import Path

import pytest

_spec = importlib.util.spec_from_file_location("qm_cybuild", Path(__file__).with_name("cybuild.py"))
_cybuild = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(_cybuild)


@pytest.fixture(scope="session")
def cybuild():
    return _cybuild
