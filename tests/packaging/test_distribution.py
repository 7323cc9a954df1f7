"""What the installed quelm-ui-fast gives native consumers and users: its headers, found through
the package and complete, and a version that agrees with every distribution built here."""

import importlib
import importlib.metadata
import pathlib
import re
import tomllib

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
PACKAGES = ["quelm_ui.fast.qmvector2", "quelm_ui.fast.zsystem", "quelm_ui.fast.raylib"]
CONTRACT_HEADERS = [
    "quelm_ui/fast/qmvector2/qmvector2_api.hpp",
    "quelm_ui/fast/zsystem/zdispatch_api.hpp",
    "quelm_ui/fast/raylib/quelm_raylib_capi.hpp",
    "quelm_ui/fast/raylib/raylib_records.hpp",
]


def include_dir() -> pathlib.Path:
    return pathlib.Path(importlib.import_module(PACKAGES[0]).get_include())


def installed_headers() -> list[str]:
    return sorted(str(path.relative_to(include_dir())) for path in include_dir().rglob("*.hpp"))


@pytest.mark.parametrize("package", PACKAGES)
def test_every_package_reports_the_one_header_folder(package):
    assert pathlib.Path(importlib.import_module(package).get_include()) == include_dir()


@pytest.mark.parametrize("header", CONTRACT_HEADERS)
def test_contract_header_is_installed_as_in_the_sources(header):
    assert (include_dir() / header).read_bytes() == (ROOT / "src" / header).read_bytes()


@pytest.mark.parametrize("header", installed_headers())
def test_installed_header_includes_only_installed_headers(header):
    included = re.findall(r'^#include "([^"]+)"', (include_dir() / header).read_text(), re.M)
    assert [name for name in included if not (include_dir() / name).is_file()] == []


@pytest.mark.parametrize("project", ["pyproject.toml", "standins/pyproject.toml",
                                     "tests/native/pyproject.toml"])
def test_installed_version_is_every_distributions_version(project):
    declared = tomllib.loads((ROOT / project).read_text())["project"]["version"]
    assert importlib.metadata.version("quelm-ui-fast") == declared
