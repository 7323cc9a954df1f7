# The targets for Windows x64 (ARCH=win_amd64), included by the Makefile. The modules are
# cross-compiled on this machine by zig's clang (cmake/x86_64-windows-gnu.cmake) against the
# official Windows CPython (tools/install-windows.sh), with scikit-build-core driven by this
# machine's CPython of the same version; everything Windows (the interpreter, pip installing the
# wheels, the suites) runs under Wine through tools/wine.sh. Only the versions in WINDOWS_PYVERS
# (tools/toolchain-lib.sh) have a Windows build here.
#
#   make toolchain ARCH=win_amd64        zig and the Windows interpreter in .toolchain/
#   make venv ARCH=win_amd64             .venv-3.13-win_amd64: a venv of the Windows interpreter
#   make build ARCH=win_amd64            the modules, stand-ins and test helpers in one wheel,
#                                        installed there by the venv's own pip
#   make test ARCH=win_amd64             the module suites and the real-raylib suite, under Wine
#   make installed-check ARCH=win_amd64  the Windows wheels from dist/ (`make wheel` builds them)
#                                        in a fresh venv, the suites run against them
#
# Wine proves the results against the official interpreter and the real Windows x64 ABI; speed
# is measured on x86-64 Linux only (`make bench`).

# Every Windows program runs under Wine with tests/wine/sitecustomize.py on its path, which fills
# three gaps of Wine's (it says which, and why each matters).
WINE       := env PYTHONPATH="Z:$(abspath tests/wine)" bash $(abspath tools/wine.sh)
WIN_TOOLCHAIN := .toolchain/python$(PYVER)-$(ARCH)
WIN_BASE_PY   := $(WIN_TOOLCHAIN)/python.exe
PY         := $(VENV)/Scripts/python.exe
WIN_TAG    := cp$(subst .,,$(PYVER))
# Installs binary wheels for Windows into the site-packages folder $(1). pip evaluates environment
# markers for this machine, so the Windows-only dependencies are named in the requirements file.
windows_pip = $(HOST_PY) -m pip install --quiet --upgrade --only-binary=:all: --target $(1) \
    --python-version $(PYVER) --implementation cp --abi $(WIN_TAG) --platform win_amd64
# The cross build's environment: this machine's cmake and ninja, the toolchain file, the wheel's
# platform tag and extension suffix, no hints about this machine's interpreter, and the headers
# of the Windows NumPy in the build venv $(1).
CROSS_ENV = PATH="$(abspath $(HOST_VENV))/bin:$$PATH" \
    CMAKE_TOOLCHAIN_FILE="$(abspath cmake/x86_64-windows-gnu.cmake)" \
    QM_WINDOWS_PYTHON="$(abspath $(WIN_TOOLCHAIN))" \
    _PYTHON_HOST_PLATFORM=win-amd64 SETUPTOOLS_EXT_SUFFIX=.$(WIN_TAG)-win_amd64.pyd \
    SKBUILD_CMAKE_PYTHON_HINTS=false QM_NUMPY_INCLUDE="$(abspath $(1))/windows-site/numpy/_core/include"
# Shell code setting $$python to the python of version $(PYVER)'s build venv $(1): this machine's
# CPython of that version with scikit-build-core, and the Windows wheels of the other build
# requirements of the pyproject.toml files (NumPy) in $(1)/windows-site. The wheels build in it
# without isolation: an isolated environment would hold this machine's NumPy.
build_python = python=$$(QM_ARCH=$(HOST_ARCH) bash tools/make-venv.sh $(1) | tail -n 1); \
    $$python -m pip install --quiet "scikit-build-core>=1.1" && \
    $(call windows_pip,$(1)/windows-site) $$($(HOST_PY) -c 'import sys, tomllib; \
        print(*{r for f in sys.argv[1:] for r in tomllib.load(open(f, "rb"))["build-system"]["requires"] \
                if not r.startswith("scikit-build-core")})' \
        pyproject.toml standins/pyproject.toml tests/native/pyproject.toml)
BUILD_VENV := build/pip-$(PYVER)-$(ARCH)
# Makes the venv $(1) of the Windows interpreter, by the interpreter under Wine: pip unpacked into
# it from the interpreter's own bundled wheel (pip is pure Python, and a wheel is a zip), the test
# dependencies' Windows wheels from this machine's pip, less the launchers for this machine that
# pip adds with --target.
windows_venv = rm -rf $(1) && $(WINE) $(WIN_BASE_PY) -m venv --without-pip $(1) && \
    $(HOST_PY) -c 'import glob, sys, zipfile; \
        zipfile.ZipFile(glob.glob(sys.argv[1])[0]).extractall(sys.argv[2])' \
        "$(WIN_TOOLCHAIN)/Lib/ensurepip/_bundled/pip-*.whl" $(1)/Lib/site-packages && \
    $(call windows_pip,$(1)/Lib/site-packages) -r tools/requirements-windows.txt && \
    rm -rf $(1)/Lib/site-packages/bin
# raylib's window on the X server that xvfb-run starts, drawn by Mesa's software rasteriser (Wine
# draws through the host's OpenGL), as on Linux.
WIN_TEST_ENV := LIBGL_ALWAYS_SOFTWARE=1
XVFB_RUN     := xvfb-run --auto-servernum --server-args="-screen 0 1280x800x24"
# Tests that do not depend on the platform run on Linux only: the typing stubs (mypy) and the
# leak check's own tests. Two are Linux's own: the processor check's tests run Linux interpreters
# under qemu-user, and the display tests start Xvfb from the test process, where under Wine
# xvfb-run starts it around the run.
WINDOWS_NOT_RUN := --ignore=tests/qmvector2/test_stub.py --ignore=tests/raylib/test_stub.py \
    --ignore=tests/common/test_leakcheck.py --ignore=tests/common/test_cpu_check.py \
    --ignore=tests/raylib_real/test_headless.py \
    --deselect=tests/zsystem/test_module.py::test_typing_stubs_match_the_modules
WINDOWS_SUITES  := $(MODULE_SUITES) tests/raylib_real

.PHONY: emulated-wheels

toolchain: sysdeps
	bash tools/install-windows.sh

$(STAMP): tools/requirements-windows.txt tools/install-windows.sh tools/toolchain-lib.sh \
          tools/wine.sh | $(HOST_STAMP)
	$(MAKE) --no-print-directory toolchain
	$(call windows_venv,$(VENV))
	touch $@

venv: $(STAMP)

# The development wheel (the system, the stand-ins and the test helpers, as the x86-64 development
# build installs them), built here and installed by the venv's pip.
$(BUILD_STAMP): $(STAMP) $(SOURCES) cmake/x86_64-windows-gnu.cmake $(wildcard tools/zig/*)
	($(call build_python,$(BUILD_VENV)) && rm -rf build/wheelhouse-dev$(ASUFFIX) && \
	 env $(call CROSS_ENV,$(BUILD_VENV)) $$python -m pip wheel --quiet --no-deps \
	     --no-build-isolation -Cbuild-dir=build/$(WIN_TAG)-$(ARCH) \
	     --wheel-dir build/wheelhouse-dev$(ASUFFIX) .)
	$(WINE) $(PY) -m pip install --quiet --no-deps --no-index --force-reinstall \
	    build/wheelhouse-dev$(ASUFFIX)/*.whl
	@mkdir -p build && touch $@

build: $(BUILD_STAMP)

test: build
	$(XVFB_RUN) env $(WIN_TEST_ENV) $(WINE) $(PY) -m pytest -q -p no:cacheprovider \
	    $(WINDOWS_NOT_RUN) $(PYTEST_ARGS) $(WINDOWS_SUITES)

# Called by `make wheel` once the sdists are in dist/: the two Windows wheels built from them
# (this file's PYVER, when WHEEL_PYVERS has it), straight into dist/. auditwheel has no part here:
# tools/check-dist.py checks what the modules import.
ifeq ($(filter $(PYVER),$(WINDOWS_WHEEL_PYVERS)),)
emulated-wheels:
	@echo "no Windows wheels: WHEEL_PYVERS ($(WHEEL_PYVERS)) has no version with a Windows build"
else
emulated-wheels: | $(HOST_STAMP)
	$(MAKE) --no-print-directory toolchain
	rm -rf build/wheelhouse$(ASUFFIX)
	$(call build_python,$(BUILD_VENV)) && env -u QM_BUILD_STANDINS -u QM_BUILD_TEST_HELPERS \
	    $(call CROSS_ENV,$(BUILD_VENV)) $$python -m pip wheel --quiet --no-deps \
	    --no-build-isolation --wheel-dir build/wheelhouse$(ASUFFIX) \
	    dist/quelm_ui_fast-*.tar.gz dist/quelm_ui_standins-*.tar.gz
	cp build/wheelhouse$(ASUFFIX)/*-$(WIN_TAG)-$(WIN_TAG)-win_amd64.whl dist/
endif

# A fresh venv of the Windows interpreter (build/installed-venv-3.13-win_amd64) with the test
# dependencies; the stand-ins' and the system's wheels from dist/ installed by its own pip under
# Wine, beside each other as beside the toolkit; the test-only quelm-ui-testbeds wheel, built for
# Windows here; then the module and real-raylib suites against the installed wheels, from the
# checkout's tests/ with PYTHONSAFEPATH, so that nothing of the checkout is imported.
INSTALLED_VENV := build/installed-venv-$(PYVER)$(ASUFFIX)
installed-check: $(DIST_STAMP) | $(HOST_STAMP)
	$(MAKE) --no-print-directory toolchain
	rm -rf build/testbeds-wheel-$(PYVER)$(ASUFFIX)
	$(call windows_venv,$(INSTALLED_VENV))
	$(WINE) $(INSTALLED_VENV)/Scripts/python.exe -m pip install --quiet --no-deps --no-index \
	    dist/quelm_ui_standins-*-$(WIN_TAG)-$(WIN_TAG)-win_amd64.whl
	$(WINE) $(INSTALLED_VENV)/Scripts/python.exe -m pip install --quiet --no-deps --no-index \
	    dist/quelm_ui_fast-*-$(WIN_TAG)-$(WIN_TAG)-win_amd64.whl
	$(call build_python,$(BUILD_VENV)) && env $(call CROSS_ENV,$(BUILD_VENV)) $$python -m pip \
	    wheel --quiet --no-deps --no-build-isolation \
	    --wheel-dir build/testbeds-wheel-$(PYVER)$(ASUFFIX) tests/native
	$(WINE) $(INSTALLED_VENV)/Scripts/python.exe -m pip install --quiet --no-deps --no-index \
	    build/testbeds-wheel-$(PYVER)$(ASUFFIX)/*.whl
	$(XVFB_RUN) env $(WIN_TEST_ENV) PYTHONSAFEPATH=1 $(WINE) $(INSTALLED_VENV)/Scripts/python.exe \
	    -m pytest -q -p no:cacheprovider $(WINDOWS_NOT_RUN) $(PYTEST_ARGS) $(WINDOWS_SUITES)
