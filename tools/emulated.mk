# The targets for another architecture than this machine's (ARCH=aarch64), included by the
# Makefile. The modules are cross-compiled by Debian's aarch64-linux-gnu-g++
# (cmake/aarch64-linux-gnu.cmake) and everything of that architecture (the interpreter from
# Debian's arm64 packages, pip, the build, the tests) runs under qemu-user through
# tools/emulate.sh, which registers qemu-aarch64 with binfmt_misc in a private namespace so
# that child processes of the emulated interpreter are emulated too. cmake and ninja run
# natively from the x86-64 development venv, and its pip fetches the aarch64 wheels of the
# dependencies (pip is pure Python; emulated, it takes minutes where this takes seconds).
#
#   make toolchain ARCH=aarch64        the aarch64 interpreter tree in .toolchain/python3.X-aarch64
#   make venv ARCH=aarch64             .venv-aarch64 (.venv-3.X-aarch64 for other versions)
#   make build ARCH=aarch64            the modules, stand-ins and test helpers, installed there
#   make test ARCH=aarch64             the module suites and the real-raylib suite, emulated
#   make installed-check ARCH=aarch64  the aarch64 wheels from dist/ (`make wheel` builds them)
#                                      in fresh emulated venvs, the suites run against them
#
# Emulation proves the results; speed is measured on x86-64 only (`make bench`).

EMULATE    = bash $(abspath tools/emulate.sh) --arch $(ARCH) --python
# The native cmake and ninja, and the cross toolchain file, for scikit-build-core under emulation.
CROSS_ENV := PATH="$(abspath $(HOST_VENV))/bin:$$PATH" \
    CMAKE_TOOLCHAIN_FILE="$(abspath cmake/$(ARCH)-linux-gnu.cmake)"
# Every manylinux tag the interpreter tree's glibc (Debian unstable's) satisfies.
FOREIGN_PLATFORMS := --platform manylinux2014_$(ARCH) \
    $(foreach minor,$(shell seq 17 43),--platform manylinux_2_$(minor)_$(ARCH))
# Installs binary wheels for version $(2) of this architecture into the venv $(1).
foreign_pip = $(HOST_PY) -m pip install --quiet --upgrade --only-binary=:all: \
    --target $(1)/lib/python$(2)/site-packages --python-version $(2) --implementation cp \
    --abi cp$$(echo $(2) | tr -d .) $(FOREIGN_PLATFORMS)
# Shell code setting $$python to the python of version $(1)'s build venv (build/pip-<version>-
# <arch>): pip and the build requirements of the sdists (their pyproject.toml files), installed
# by the x86-64 pip. The wheels build in it without isolation: an isolated build environment
# would be installed by the emulated pip, for each wheel.
build_python = python=$$(QM_PYVER=$(1) bash tools/make-venv.sh build/pip-$(1)$(ASUFFIX) | tail -n 1); \
    $(call foreign_pip,build/pip-$(1)$(ASUFFIX),$(1)) $$($(HOST_PY) -c 'import sys, tomllib; \
        print(*{r for f in sys.argv[1:] for r in tomllib.load(open(f, "rb"))["build-system"]["requires"]})' \
        pyproject.toml standins/pyproject.toml tests/native/pyproject.toml)
# The tests that do not depend on the processor run on x86-64 only: the typing stubs (mypy
# takes minutes emulated) and the leak check's own tests (pure Python, subprocesses).
EMULATED_NOT_RUN := --ignore=tests/qmvector2/test_stub.py --ignore=tests/raylib/test_stub.py \
    --ignore=tests/common/test_leakcheck.py \
    --deselect=tests/zsystem/test_module.py::test_typing_stubs_match_the_modules
EMULATED_SUITES  := $(MODULE_SUITES) tests/raylib_real
# The versions whose installed wheels run the suites; the others' are installed and imported.
EMULATED_SUITE_PYVERS ?= $(DEFAULT_PYVER)

.PHONY: emulated-wheels

toolchain: sysdeps
	bash tools/install-python.sh

$(STAMP): tools/requirements-emulated.txt tools/install-python.sh tools/toolchain-lib.sh \
          tools/make-venv.sh tools/emulate.sh | $(HOST_STAMP)
	$(MAKE) --no-print-directory toolchain
	bash tools/make-venv.sh $(VENV)
	$(call foreign_pip,$(VENV),$(PYVER)) -r tools/requirements-emulated.txt \
	    "scikit-build-core>=0.10"
	touch $@

venv: $(STAMP)

$(BUILD_STAMP): $(STAMP) $(SOURCES)
	$(EMULATE) $(PY) env $(CROSS_ENV) $(PY) -m pip install --quiet --no-build-isolation \
	    --no-deps --force-reinstall .
	@mkdir -p build && touch $@

build: $(BUILD_STAMP)

test: build
	$(EMULATE) $(PY) $(PY) -m pytest -q $(EMULATED_NOT_RUN) $(PYTEST_ARGS) $(EMULATED_SUITES)

# Called by `make wheel` once the sdists are in dist/: for every version, the two wheels built
# from them by that version's emulated pip (in its build venv), then retagged by auditwheel into
# dist/.
emulated-wheels: | $(HOST_STAMP)
	rm -rf build/wheelhouse$(ASUFFIX)
	set -e; for version in $(WHEEL_PYVERS); do \
	    $(call build_python,$$version); \
	    $(EMULATE) $$python env -u QM_BUILD_STANDINS -u QM_BUILD_TEST_HELPERS $(CROSS_ENV) \
	        $$python -m pip wheel --quiet --no-deps --no-build-isolation \
	        --wheel-dir build/wheelhouse$(ASUFFIX) \
	        dist/quelm_ui_fast-*.tar.gz dist/quelm_ui_standins-*.tar.gz; \
	done
	PATH="$(abspath $(HOST_VENV))/bin:$$PATH" $(HOST_VENV)/bin/auditwheel repair \
	    --wheel-dir dist build/wheelhouse$(ASUFFIX)/*.whl

# For every version in WHEEL_PYVERS, a fresh emulated venv: the dependencies, then the stand-ins'
# and the system's wheels from dist/ installed by the venv's own pip, beside each other as beside
# the toolkit. For the versions in EMULATED_SUITE_PYVERS, the test-only quelm-ui-testbeds wheel
# as well and the suites against the installed wheels (from the checkout's tests/, with
# PYTHONSAFEPATH so that nothing of the checkout is imported); for the others, every module
# imported and used once.
installed-check: $(DIST_STAMP) | $(HOST_STAMP)
	set -e; for version in $(WHEEL_PYVERS); do \
	    tag=cp$$(echo $$version | tr -d .); venv=build/installed-venv-$$version$(ASUFFIX); rm -rf $$venv; \
	    python=$$(QM_PYVER=$$version bash tools/make-venv.sh $$venv | tail -n 1); \
	    $(call foreign_pip,$$venv,$$version) -r tools/requirements-emulated.txt; \
	    $(EMULATE) $$python $$python -m pip install --quiet --no-deps --no-index \
	        dist/quelm_ui_standins-*-$$tag-$$tag-*_$(ARCH).whl; \
	    $(EMULATE) $$python $$python -m pip install --quiet --no-deps --no-index \
	        dist/quelm_ui_fast-*-$$tag-$$tag-*_$(ARCH).whl; \
	    case " $(EMULATED_SUITE_PYVERS) " in *" $$version "*) \
	        rm -rf build/testbeds-wheel-$$version$(ASUFFIX); \
	        ($(call build_python,$$version); \
	         $(EMULATE) $$python env $(CROSS_ENV) $$python -m pip wheel --quiet --no-deps \
	             --no-build-isolation --wheel-dir build/testbeds-wheel-$$version$(ASUFFIX) \
	             tests/native); \
	        $(EMULATE) $$python $$python -m pip install --quiet --no-deps --no-index \
	            build/testbeds-wheel-$$version$(ASUFFIX)/*.whl; \
	        $(EMULATE) $$python env PYTHONSAFEPATH=1 $$python -m pytest -q -p no:cacheprovider \
	            $(EMULATED_NOT_RUN) $(PYTEST_ARGS) $(EMULATED_SUITES);; \
	    *) (cd $$venv && $(EMULATE) $$python $$python -c "$$EMULATED_SMOKE");; \
	    esac; \
	done

# Each of the installed modules imported from the venv and used once.
define EMULATED_SMOKE
import numpy, sys
from quelm_ui.fast.qmvector2.qmvector2 import QmVector2
from quelm_ui.fast.zsystem.zdispatch import ZSystem
from quelm_ui.fast.raylib import quelm_raylib
assert repr(QmVector2(1, 2) + QmVector2(3, 4.5)) == "QmVector2(4.0, 6.5)"
zs = ZSystem(); zs.mark_dirty(); assert zs.is_dirty and zs.get_active_requests() == []
quelm_raylib.init_raylib_pointers({}); assert len(quelm_raylib.__pyx_capi__) == 30
print("installed wheels import and work on", sys.version.split()[0], sys.implementation._multiarch)
endef
export EMULATED_SMOKE
