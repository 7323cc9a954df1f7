# Sphinx configuration of the reference pages (`make docs`). The pages document the built modules
# installed in the venv: autodoc reads their docstrings and text signatures, the doctests run
# against them, and the contract entries (_ext/qmref.py) read the shipped headers.

import doctest
import importlib
import importlib.metadata
import os
import pathlib
import sys

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE / "_ext"))

# autodoc would otherwise read a native module's .pyi stub in its place (and keep the stub in
# sys.modules, where the doctests would find it too). The modules are imported here, so that a
# build against modules that do not import fails at once.
os.environ["SPHINX_AUTODOC_IGNORE_NATIVE_MODULE_TYPE_STUBS"] = "1"
MODULES = (
    "quelm_ui.fast.qmvector2.qmvector2",
    "quelm_ui.fast.zsystem.zdispatch",
    "quelm_ui.fast.raylib.quelm_raylib",
)
for _module in MODULES:
    if not importlib.import_module(_module).__file__.endswith((".so", ".pyd")):
        raise ImportError(f"{_module} is not the built extension module")

project = "quelm_ui.fast"
release = version = importlib.metadata.version("quelm-ui-fast")
language = "en"

extensions = [
    "sphinx.ext.autodoc",
    "sphinx.ext.napoleon",
    "sphinx.ext.doctest",
    "myst_parser",  # Markdown written by other tools: CHANGELOG.md, bench-headline.md
    "qmref",
]
source_suffix = {".rst": "restructuredtext", ".md": "markdown"}
exclude_patterns = ["_ext", "examples", "demo.md", "bench-headline.md"]
root_doc = "index"

# Every cross-reference must resolve. These are names of the standard library and of the C and
# C++ languages, which the pages use but do not document (the build runs offline, without
# intersphinx).
nitpicky = True
nitpick_ignore = [
    ("py:exc", "pickle.PickleError"),
]

autodoc_member_order = "bysource"
autodoc_typehints = "signature"
autoclass_content = "class"
napoleon_google_docstring = True
napoleon_numpy_docstring = False
napoleon_use_rtype = True

# Exception messages are part of the contract: the doctests compare them in full.
doctest_default_flags = doctest.ELLIPSIS | doctest.DONT_ACCEPT_TRUE_FOR_1
doctest_path = [str(HERE / "examples")]
doctest_global_setup = """
import logging
logging.getLogger("raylib").setLevel(logging.ERROR)  # its import banner
"""
doctest_test_doctest_blocks = "default"

myst_enable_extensions = []

html_theme = "alabaster"
html_title = f"quelm_ui.fast {release}"
html_theme_options = {
    "description": "The native core of the quelm_ui toolkit",
    "fixed_sidebar": True,
    "page_width": "1320px",
    "sidebar_width": "250px",
}
html_sidebars = {"**": ["about.html", "navigation.html", "searchbox.html"]}
html_show_sourcelink = False
html_copy_source = False
