# Everything a fresh machine needs: `make test` installs the CPython toolchain (cached in
# .toolchain/), the development venv, builds the extension modules and runs the suite.
#
# ARCH picks the platform: x86_64 (this machine's; the default), aarch64 (64-bit Arm Linux, built
# with Debian's cross compiler and run under qemu-user) or win_amd64 (Windows x64, built with zig's
# clang and run under Wine). Each other platform has its own toolchain prefix, venvs and stamps
# (suffix -<arch>); tools/emulated.mk (aarch64) and tools/windows.mk (win_amd64) hold its targets
# (toolchain, venv, build, test, installed-check).
toolchain_lib = $(shell bash -c 'die() { exit 1; }; source tools/toolchain-lib.sh && echo "$(1)"')
ARCHS       := $(call toolchain_lib,$${SUPPORTED_ARCHS[*]} $$WINDOWS_ARCH)
WINDOWS_ARCH := $(call toolchain_lib,$$WINDOWS_ARCH)
HOST_ARCH   := x86_64
ARCH        ?= $(HOST_ARCH)
ifeq ($(filter $(ARCH),$(ARCHS)),)
$(error ARCH=$(ARCH) is not supported: choose one of $(ARCHS))
endif
export QM_ARCH := $(ARCH)
ASUFFIX     := $(if $(filter $(HOST_ARCH),$(ARCH)),,-$(ARCH))
# PYVER picks the CPython version (default 3.14; the supported ones are listed in
# tools/toolchain-lib.sh). Each version has its own toolchain prefix (.toolchain/python<version>),
# venvs, build trees and stamps, so `make test PYVER=3.13` never disturbs the 3.14 set-up: 3.14
# keeps the plain names (.venv, .venv-debug, build/debug, ...) and the others add -<version>
# (.venv-3.13, .venv-debug-3.13, build/debug-3.13, ...). Windows has the versions of
# WINDOWS_PYVERS only (3.13; the default there).
PYVERS      := $(call toolchain_lib,$${SUPPORTED_PYVERS[*]})
DEFAULT_PYVER := $(call toolchain_lib,$$DEFAULT_PYVER)
WINDOWS_PYVERS := $(call toolchain_lib,$${WINDOWS_PYVERS[*]})
ifeq ($(ARCH),$(WINDOWS_ARCH))
PYVER       ?= $(firstword $(WINDOWS_PYVERS))
ifeq ($(filter $(PYVER),$(WINDOWS_PYVERS)),)
$(error PYVER=$(PYVER) has no Windows build here: the official Windows CPython that can be installed and tested on this machine is $(WINDOWS_PYVERS) (README: Windows))
endif
endif
PYVER       ?= $(DEFAULT_PYVER)
ifeq ($(filter $(PYVER),$(PYVERS)),)
$(error PYVER=$(PYVER) is not supported: choose one of $(PYVERS))
endif
export QM_PYVER := $(PYVER)
VSUFFIX     := $(if $(filter $(DEFAULT_PYVER),$(PYVER)),,-$(PYVER))
VENV        ?= .venv$(VSUFFIX)$(ASUFFIX)
PY          := $(VENV)/bin/python
STAMP       := $(VENV)/.deps-stamp
PYTEST_ARGS ?=
# The development builds install everything into one venv: the system, the stand-ins for the
# toolkit (quelm_ui.core, the sibling modules) and the test-only native helpers (package
# quelm_ui_testbeds). A plain `pip install .` builds the system alone (see `make wheel`).
export QM_BUILD_TEST_HELPERS := ON
export QM_BUILD_STANDINS := ON
BUILD_STAMP := build/.install-stamp$(VSUFFIX)$(ASUFFIX)
SOURCES     := $(shell find src standins/src tests/native -name '*.cpp' -o -name '*.hpp' -o -name '*.c' -o -name '*.h' -o -name '*.py' -o -name '*.pyi' -o -name '*.pxd' -o -name 'CMakeLists.txt' 2>/dev/null) CMakeLists.txt standins/CMakeLists.txt pyproject.toml $(wildcard cmake/*.cmake)

.PHONY: all sysdeps toolchain venv build develop test leakcheck bench docs demo format format-check asan clean distclean
.PHONY: wheel installed-check
.PHONY: robustness
.PHONY: debug-toolchain debug-build debug-test asan-build asan-test tidy

# The module suites, which the debug and sanitizer stages run.
MODULE_SUITES  := $(wildcard tests/qmvector2 tests/zsystem standins/tests tests/raylib tests/common)
# The wheels `make wheel` builds: for every version, for each architecture.
WHEEL_PYVERS ?= $(PYVERS)
WHEEL_ARCHS ?= $(ARCHS)
# Written by `make wheel` once dist/ is complete; the other architectures' installed-check uses
# dist/ as it is when this is newer than the sources.
DIST_STAMP := build/.dist-stamp
# Windows wheels exist for the versions of WHEEL_PYVERS that have a Windows build here;
# tools/check-dist.py takes a platform's versions after its name (--arch=win_amd64:3.13).
WINDOWS_WHEEL_PYVERS := $(filter $(WINDOWS_PYVERS),$(WHEEL_PYVERS))
comma := ,
space := $(subst ,, )
windows_versions = $(subst $(space),$(comma),$(WINDOWS_WHEEL_PYVERS))
# The version a platform's targets run with unless told: Windows has its own.
platform_pyver = $(if $(filter $(WINDOWS_ARCH),$(1)),$(firstword $(WINDOWS_PYVERS)),$(DEFAULT_PYVER))
dist_arch = $(if $(filter $(WINDOWS_ARCH),$(1)),$(if $(WINDOWS_WHEEL_PYVERS),--arch=$(1):$(windows_versions)),--arch=$(1))

ifeq ($(ARCH),$(HOST_ARCH))

# Suites `make leakcheck` runs under the leak check on the release build.
LEAKCHECK_DIRS := $(wildcard tests/qmvector2 tests/zsystem standins/tests tests/raylib)

all: test

# Debian packages: patchelf for the toolchain, Xvfb and Mesa for the real-raylib tests and the demo,
# qemu-user, and what the other platforms' wheels need when they are built here (the aarch64 cross
# compiler; Wine and osslsigncode for Windows).
sysdeps:
	bash tools/install-system-deps.sh $(addprefix --arch ,$(filter-out $(HOST_ARCH),$(WHEEL_ARCHS)))

toolchain:
	bash tools/install-python.sh

$(STAMP): tools/requirements-dev.txt tools/install-python.sh tools/toolchain-lib.sh tools/make-venv.sh
	bash tools/make-venv.sh $(VENV)
	$(PY) -m pip install --quiet --upgrade -r tools/requirements-dev.txt
	touch $@

venv: $(STAMP)

# A regular (non-editable) install into the venv, built incrementally in build/<wheel tag>.
$(BUILD_STAMP): $(STAMP) $(SOURCES)
	@# Venvs made before the split hold the same files under the old distribution name.
	$(PY) -m pip uninstall --quiet --yes quelm_ui 2>/dev/null
	$(PY) -m pip install --quiet --no-build-isolation --no-deps --force-reinstall .
	@mkdir -p build && touch $@

build: $(BUILD_STAMP)

# Editable install for development: modules rebuild on import after a source change.
develop: $(STAMP)
	$(PY) -m pip install --no-build-isolation --no-deps -e . \
	    -Ceditable.rebuild=true -Cbuild-dir=build/editable$(VSUFFIX)
	@rm -f $(BUILD_STAMP)

# The leak check runs in `make debug-test`, where it also counts references, exactly.
test: sysdeps build format-check
	$(PY) -m pytest $(PYTEST_ARGS)

leakcheck: build
	$(PY) -m pytest --leakcheck $(PYTEST_ARGS) $(LEAKCHECK_DIRS)

# The ratio table, and from the same run the chart and headline table that the README shows; a
# partial or quick run (any BENCH_ARGS), or a run on another version than 3.14, only prints.
BENCH_STAMP  := $(VENV)/.bench-deps-stamp
BENCH_REPORT := $(if $(BENCH_ARGS)$(VSUFFIX),,--chart docs/bench-ratios.svg \
                    --headline docs/bench-headline.md --readme README.md)
$(BENCH_STAMP): $(STAMP) tools/requirements-bench.txt
	$(PY) -m pip install --quiet -r tools/requirements-bench.txt
	touch $@

bench: build $(BENCH_STAMP)
	$(PY) bench/run.py $(BENCH_REPORT) $(BENCH_ARGS)

# The reference pages in build/docs/html, from docs/ and the built modules' docstrings: warnings
# are errors (every cross-reference must resolve), then every example of the pages runs as a
# doctest against the built modules, then tools/check-reference.py fails when a public name of
# the three modules has no entry in the pages. The HTML build reads everything afresh (-E), so
# that no warning is hidden by an earlier build; the doctest build reuses what it read.
DOCS_STAMP := $(VENV)/.docs-deps-stamp
DOCS_OUT   := build/docs
SPHINX     := $(PY) -m sphinx -q -n -W --keep-going -d $(DOCS_OUT)/doctrees
$(DOCS_STAMP): $(STAMP) tools/requirements-docs.txt
	$(PY) -m pip install --quiet -r tools/requirements-docs.txt
	touch $@

docs: build $(DOCS_STAMP)
	$(SPHINX) -E -b html docs $(DOCS_OUT)/html
	$(SPHINX) -b doctest docs $(DOCS_OUT)/doctest
	@tail -n 6 $(DOCS_OUT)/doctest/output.txt
	$(PY) tools/check-reference.py $(DOCS_OUT)/html/objects.inv

# The three modules together in a real raylib window (under Xvfb when there is no display): prints
# the event log and per-frame timings and saves the last frame to docs/demo-frame.png.
demo: sysdeps build
	$(PY) demo/scene.py $(DEMO_ARGS)

format:
	$(VENV)/bin/clang-format -i $$(git ls-files '*.cpp' '*.hpp' '*.c' '*.h')

format-check: $(STAMP)
	$(VENV)/bin/clang-format --dry-run -Werror $$(git ls-files '*.cpp' '*.hpp' '*.c' '*.h')

# The sanitizer build (Debug, AddressSanitizer + UBSan, fatal on the first report of either) in
# its own venv and build tree, so the development venv keeps the release build.
ASAN_VENV        := .venv-asan$(VSUFFIX)
ASAN_PY          := $(ASAN_VENV)/bin/python
ASAN_STAMP       := $(ASAN_VENV)/.deps-stamp
ASAN_BUILD_DIR   := build/asan$(VSUFFIX)
ASAN_BUILD_STAMP := $(ASAN_BUILD_DIR)/.install-stamp
# The interpreter is not instrumented, so the sanitizer runtimes are preloaded into it, and:
#   PYTHONMALLOC=malloc       every object goes through ASan's malloc, so use-after-free and
#                             overflows of Python objects are caught (pymalloc's arenas hide them);
#   detect_leaks=0            the interpreter never frees its immortal objects, interned strings
#                             and static types at exit, so LeakSanitizer's exit report would be
#                             the interpreter's own; leaks are the debug stage's job (exact
#                             reference and block counts);
#   detect_stack_use_after_return, check_initialization_order, strict_init_order: the checks
#                             ASan leaves off by default, on;
#   halt_on_error (UBSan)     with -fno-sanitize-recover=all, the first report ends the process.
SANITIZER_ENV = LD_PRELOAD="$(shell gcc -print-file-name=libasan.so) $(shell gcc -print-file-name=libubsan.so)" \
    PYTHONMALLOC=malloc \
    ASAN_OPTIONS=detect_leaks=0:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

$(ASAN_STAMP): tools/requirements-dev.txt tools/install-python.sh tools/toolchain-lib.sh tools/make-venv.sh
	bash tools/make-venv.sh $(ASAN_VENV) >/dev/null
	$(ASAN_PY) -m pip install --quiet --upgrade -r tools/requirements-dev.txt
	touch $@

$(ASAN_BUILD_STAMP): $(ASAN_STAMP) $(SOURCES)
	QM_SANITIZE=address $(ASAN_PY) -m pip install --quiet --no-build-isolation --no-deps \
	    --force-reinstall -Cbuild-dir=$(ASAN_BUILD_DIR) -Ccmake.build-type=Debug .
	@touch $@

asan-build: $(ASAN_BUILD_STAMP)

# The processor-check tests run the interpreter on processors emulated by qemu-user, which cannot
# host ASan's shadow memory; the release and installed-wheel stages run them.
ASAN_NOT_RUN := --ignore=tests/common/test_cpu_check.py

# The whole suite under the sanitizers.
asan: $(ASAN_BUILD_STAMP)
	$(SANITIZER_ENV) $(ASAN_PY) -m pytest $(ASAN_NOT_RUN) $(PYTEST_ARGS)

# The CI stage: the module suites, then the robustness run and the exhaustion sweep, under the
# sanitizers. Both use this build as it is (no release build on the way) through $(ASAN_PY),
# with $(SANITIZER_ENV) as their environment prefix.
asan-test: $(ASAN_BUILD_STAMP)
	$(SANITIZER_ENV) $(ASAN_PY) -m pytest -q $(ASAN_NOT_RUN) $(PYTEST_ARGS) $(MODULE_SUITES)
	$(MAKE) --no-print-directory robustness ROBUST_PYTHON=$(ASAN_PY) ROBUST_DEPS= ROBUST_ENV='$(SANITIZER_ENV)'
	$(MAKE) --no-print-directory oom-sweep OOM_PYTHON=$(ASAN_PY) OOM_DEPS= OOM_ENV='$(SANITIZER_ENV)'

# The debug interpreter (Py_DEBUG: reference totals, assertions inside the C API) with its own
# venv and build tree; the module suites run under -X dev with the exact leak check, which
# counts references as well as blocks and fails on any steady growth.
DEBUG_VENV        := .venv-debug$(VSUFFIX)
DEBUG_PY          := $(DEBUG_VENV)/bin/python
DEBUG_STAMP       := $(DEBUG_VENV)/.deps-stamp
DEBUG_BUILD_DIR   := build/debug$(VSUFFIX)
DEBUG_BUILD_STAMP := $(DEBUG_BUILD_DIR)/.install-stamp

debug-toolchain:
	bash tools/install-python-debug.sh

$(DEBUG_STAMP): tools/requirements-dev.txt tools/install-python-debug.sh tools/install-python.sh \
                tools/toolchain-lib.sh tools/make-venv.sh
	bash -c 'set -euo pipefail; py=$$(bash tools/install-python-debug.sh | tail -n 1); \
	    PYTHON=$$py bash tools/make-venv.sh $(DEBUG_VENV) >/dev/null'
	$(DEBUG_PY) -m pip install --quiet --upgrade -r tools/requirements-dev.txt
	touch $@

$(DEBUG_BUILD_STAMP): $(DEBUG_STAMP) $(SOURCES)
	$(DEBUG_PY) -m pip install --quiet --no-build-isolation --no-deps --force-reinstall \
	    -Cbuild-dir=$(DEBUG_BUILD_DIR) -Ccmake.build-type=Debug .
	@touch $@

debug-build: $(DEBUG_BUILD_STAMP)

debug-test: $(DEBUG_BUILD_STAMP)
	$(DEBUG_PY) -X dev -m pytest --leakcheck-exact -q $(PYTEST_ARGS) $(MODULE_SUITES)

# clang-tidy (.clang-tidy) over src/ and standins/src/, on a compile database configured for it
# in build/tidy.
tidy: $(STAMP)
	$(VENV)/bin/cmake -S . -B build/tidy$(VSUFFIX) -DPython_EXECUTABLE=$(abspath $(PY)) \
	    -DQM_BUILD_TEST_HELPERS=OFF -DQM_BUILD_STANDINS=ON >/dev/null
	git ls-files 'src/*.cpp' 'standins/src/*.cpp' | xargs -P 2 -n 4 $(VENV)/bin/clang-tidy \
	    -p build/tidy$(VSUFFIX) --quiet

# Release artefacts in dist/: the sdists of quelm-ui-fast (.) and quelm-ui-standins (standins/),
# and, for every CPython version in WHEEL_PYVERS, their wheels built from those sdists in
# isolated build environments by that version's pip, then retagged by auditwheel to the oldest
# manylinux policy their binaries meet. tools/check-dist.py checks the tags (auditwheel show) and
# what each archive holds. dist/ holds nothing else.
WHEEL_TOOLS := $(VENV)/.wheel-tools-stamp
$(WHEEL_TOOLS): $(STAMP) tools/requirements-wheel.txt
	$(PY) -m pip install --quiet -r tools/requirements-wheel.txt
	touch $@

# Shell code setting $$python to the python of a venv holding only pip, for version $(1), made
# (or reused) in build/pip-<version>.
pip_python = python=$$(QM_PYVER=$(1) bash tools/make-venv.sh build/pip-$(1) | tail -n 1); \
    test -x "$$python"

wheel: sysdeps $(WHEEL_TOOLS)
	rm -rf dist build/wheelhouse $(DIST_STAMP)
	$(PY) -m build --no-isolation --sdist --outdir dist .
	$(PY) -m build --no-isolation --sdist --outdir dist standins
	@# Each wheel from its sdist alone, in an isolated build environment.
	set -e; for version in $(WHEEL_PYVERS); do \
	    $(call pip_python,$$version); \
	    env -u QM_BUILD_STANDINS -u QM_BUILD_TEST_HELPERS $$python -m pip wheel --quiet --no-deps \
	        --wheel-dir build/wheelhouse dist/quelm_ui_fast-*.tar.gz dist/quelm_ui_standins-*.tar.gz; \
	done
	PATH="$(abspath $(VENV))/bin:$$PATH" $(VENV)/bin/auditwheel repair --wheel-dir dist \
	    build/wheelhouse/*.whl
	@# The other platforms' wheels from the same sdists (tools/emulated.mk, tools/windows.mk).
	$(foreach arch,$(filter-out $(HOST_ARCH),$(WHEEL_ARCHS)),$(MAKE) --no-print-directory \
	    ARCH=$(arch) PYVER=$(call platform_pyver,$(arch)) emulated-wheels && ) true
	$(PY) tools/check-dist.py dist $(WHEEL_PYVERS) \
	    $(foreach arch,$(WHEEL_ARCHS),$(call dist_arch,$(arch)))
	@mkdir -p build && touch $(DIST_STAMP)

# For every version in WHEEL_PYVERS, the suites against the installed wheels from dist/ (plus the
# test-only quelm-ui-testbeds wheel, built here and never published) in a fresh venv without
# compiler tools, the system installed beside the stand-ins as it would be beside the toolkit,
# and the example native consumer in examples/ built against the installed headers:
# tools/check-installed.py.
installed-check: wheel
	set -e; for version in $(WHEEL_PYVERS); do \
	    $(call pip_python,$$version); \
	    rm -rf build/testbeds-wheel-$$version; \
	    $$python -m pip wheel --quiet --no-deps --wheel-dir build/testbeds-wheel-$$version \
	        tests/native; \
	    $(PY) tools/check-installed.py --python-version $$version --dist dist \
	        --testbeds build/testbeds-wheel-$$version --venv build/installed-venv-$$version; \
	done

# Seeded random-input run over the three modules, one forked child per call (tests/robustness).
# The sanitizer stage passes its interpreter, an environment prefix (LD_PRELOAD, ASAN_OPTIONS,
# PYTHONPATH) and ROBUST_DEPS= to skip the release build.
ROBUST_PYTHON  ?= $(PY)
ROBUST_ENV     ?=
ROBUST_SECONDS ?= 60
ROBUST_SEED    ?=
ROBUST_DEPS    ?= build
robustness: $(ROBUST_DEPS)
	$(ROBUST_ENV) $(ROBUST_PYTHON) tests/robustness/run.py --seconds $(ROBUST_SECONDS) \
	    $(if $(ROBUST_SEED),--seed $(ROBUST_SEED)) $(ROBUST_ARGS)

else
# What the other platforms' targets share: the x86-64 development venv of the default version
# (cmake, ninja, auditwheel, and the pip that fetches the other platform's wheels of the
# dependencies: seconds, where pip emulated takes minutes), their Debian packages, and dist/.
HOST_VENV  := .venv
HOST_PY    := $(HOST_VENV)/bin/python
HOST_STAMP := $(HOST_VENV)/.deps-stamp

$(HOST_STAMP):
	$(MAKE) --no-print-directory ARCH=$(HOST_ARCH) PYVER=$(DEFAULT_PYVER) venv

sysdeps:
	bash tools/install-system-deps.sh --arch $(ARCH)

$(DIST_STAMP): $(SOURCES)
	$(MAKE) --no-print-directory ARCH=$(HOST_ARCH) PYVER=$(DEFAULT_PYVER) wheel

ifeq ($(ARCH),$(WINDOWS_ARCH))
include tools/windows.mk
else
include tools/emulated.mk
endif
endif

clean:
	rm -rf build

distclean: clean
	rm -rf .venv .venv-* .toolchain

# ---- Out of memory: the exhaustion sweep, and line and branch coverage ----
.PHONY: oom-sweep coverage

# Every callable of the robustness catalogue and every module import, with each allocation in
# turn failing, one forked child per failure point (tests/robustness/exhaust.py). The sanitizer
# stage passes its interpreter, environment prefix and OOM_DEPS= as for the robustness run.
OOM_PYTHON ?= $(PY)
OOM_ENV    ?=
OOM_DEPS   ?= build
oom-sweep: $(OOM_DEPS)
	$(OOM_ENV) $(OOM_PYTHON) tests/robustness/exhaust.py $(OOM_ARGS)

# A Debug build instrumented for gcov in its own venv and build tree: the module suites and the
# exhaustion sweep run on it, then tools/coverage.py prints line and branch coverage per file of
# src/quelm_ui/fast/ and fails below the floors it holds. QM_COVERAGE=1 makes the sweep's forked
# children leave through exit(), which writes the counters.
COV_VENV        := .venv-cov$(VSUFFIX)
COV_PY          := $(COV_VENV)/bin/python
COV_STAMP       := $(COV_VENV)/.deps-stamp
COV_BUILD_DIR   := build/coverage$(VSUFFIX)
COV_BUILD_STAMP := $(COV_BUILD_DIR)/.install-stamp

$(COV_STAMP): tools/requirements-dev.txt tools/requirements-coverage.txt tools/install-python.sh \
              tools/toolchain-lib.sh tools/make-venv.sh
	bash tools/make-venv.sh $(COV_VENV) >/dev/null
	$(COV_PY) -m pip install --quiet --upgrade -r tools/requirements-dev.txt \
	    -r tools/requirements-coverage.txt
	touch $@

$(COV_BUILD_STAMP): $(COV_STAMP) $(SOURCES)
	$(COV_PY) -m pip install --quiet --no-build-isolation --no-deps --force-reinstall \
	    -Cbuild-dir=$(COV_BUILD_DIR) -Ccmake.build-type=Debug -Ccmake.define.QM_COVERAGE=ON .
	@touch $@

coverage: $(COV_BUILD_STAMP)
	find $(COV_BUILD_DIR) -name '*.gcda' -delete
	QM_COVERAGE=1 $(COV_PY) -m pytest -q -p no:cacheprovider $(PYTEST_ARGS) $(MODULE_SUITES)
	QM_COVERAGE=1 $(COV_PY) tests/robustness/exhaust.py
	$(COV_PY) tools/coverage.py $(COV_BUILD_DIR)
