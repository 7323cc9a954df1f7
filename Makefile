# Everything a fresh machine needs: `make test` installs the CPython 3.14 toolchain (cached in
# .toolchain/), the development venv (.venv/), builds the extension modules and runs the suite.
VENV        ?= .venv
PY          := $(VENV)/bin/python
STAMP       := $(VENV)/.deps-stamp
PYTEST_ARGS ?=
BUILD_STAMP := build/.install-stamp
SOURCES     := $(shell find src tests/native -name '*.cpp' -o -name '*.hpp' -o -name '*.c' -o -name '*.h' -o -name '*.py' -o -name '*.pyi' -o -name 'CMakeLists.txt' 2>/dev/null) CMakeLists.txt pyproject.toml

.PHONY: all toolchain venv build develop test leakcheck bench format format-check asan clean distclean

all: test

toolchain:
	bash tools/install-python.sh

$(STAMP): tools/requirements-dev.txt tools/install-python.sh tools/make-venv.sh
	bash tools/make-venv.sh $(VENV)
	$(PY) -m pip install --quiet --upgrade -r tools/requirements-dev.txt
	touch $@

venv: $(STAMP)

# A regular (non-editable) install into the venv, built incrementally in build/<wheel tag>.
$(BUILD_STAMP): $(STAMP) $(SOURCES)
	$(PY) -m pip install --quiet --no-build-isolation --no-deps --force-reinstall .
	@mkdir -p build && touch $@

build: $(BUILD_STAMP)

# Editable install for development: modules rebuild on import after a source change.
develop: $(STAMP)
	$(PY) -m pip install --no-build-isolation --no-deps -e . \
	    -Ceditable.rebuild=true -Cbuild-dir=build/editable
	@rm -f $(BUILD_STAMP)

test: build format-check
	$(PY) -m pytest $(PYTEST_ARGS)

leakcheck: build
	$(PY) -m pytest -p tests.leakcheck --leakcheck $(PYTEST_ARGS)

bench: build
	$(PY) bench/run.py

format:
	$(VENV)/bin/clang-format -i $$(git ls-files '*.cpp' '*.hpp' '*.c' '*.h')

format-check: $(STAMP)
	$(VENV)/bin/clang-format --dry-run -Werror $$(git ls-files '*.cpp' '*.hpp' '*.c' '*.h')

# The same build with AddressSanitizer and UBSan, run against the suite.
asan: $(STAMP)
	QM_SANITIZE=address $(PY) -m pip install --quiet --no-build-isolation --no-deps \
	    --force-reinstall -Cbuild-dir=build/asan -Ccmake.build-type=Debug .
	@rm -f $(BUILD_STAMP)
	LD_PRELOAD="$$(gcc -print-file-name=libasan.so) $$(gcc -print-file-name=libubsan.so)" \
	    ASAN_OPTIONS=detect_leaks=0 $(PY) -m pytest $(PYTEST_ARGS)

clean:
	rm -rf build

distclean: clean
	rm -rf $(VENV) .toolchain
