# Two commands do everything on a fresh Debian machine (as root): `make demo` and `make test`.
# Each step is idempotent and skipped when its inputs have not changed.

PYTHON ?= python3.10
PYVER := $(patsubst python%,%,$(notdir $(PYTHON)))
VENV := .venv/py$(PYVER)
PY := $(VENV)/bin/python
STAMPS := .stamps/py$(PYVER)
# The sanitizer build of the package: its own venv, build tree and stamps, never mixed with the normal one.
ASAN_VENV := .venv/asan-py$(PYVER)
ASAN_PY := $(ASAN_VENV)/bin/python
ASAN_STAMPS := .stamps/asan-py$(PYVER)
ASAN_SANITIZERS := address,undefined
# Every supported CPython; `make test` runs the suite on each (PYTHON first).
PY_VERSIONS := 3.10 3.11 3.12 3.13 3.14 3.15
# Those Debian's development suite provides (tools/sid-python unpacks them under .venv/sid).
SID_PY_VERSIONS := 3.14 3.15
OTHER_PY_VERSIONS := $(filter-out $(PYVER),$(PY_VERSIONS))
APT_PACKAGES := build-essential ninja-build libgtest-dev binutils util-linux mount rsyslog patchelf ccache zlib1g-dev
NPROC := $(shell nproc)
# Every build tree compiles through ccache: what does not depend on the CPython version (libscrivo,
# the C++ tests) compiles once for all the versions' trees. Paths are hashed relative to the clone.
export CMAKE_C_COMPILER_LAUNCHER := ccache
export CMAKE_CXX_COMPILER_LAUNCHER := ccache
export CCACHE_DIR := $(CURDIR)/build/ccache
export CCACHE_BASEDIR := $(CURDIR)
# One compiler name for every tree (g++ unless set): ccache tells compilers apart by name, and the
# build backend would otherwise take each interpreter's own (x86_64-linux-gnu-g++ for Debian's).
export CXX
# Extra pytest arguments, e.g. PYTEST_ARGS="-k ring".
PYTEST_ARGS ?=

SOURCES := $(shell find src -type f \( -name '*.cpp' -o -name '*.hpp' -o -name '*.py' -o -name '*.pyi' -o -name 'py.typed' \)) \
           $(shell find third_party -type f) CMakeLists.txt pyproject.toml
CPP_TEST_SOURCES := $(wildcard tests/cpp/*.cpp) $(wildcard bench/*.cpp)

.PHONY: all demo test format check-format wheel sdist wheel-one test-wheel test-wheel-one test-sdist test-cpp test-tsan test-py test-asan test-asan3.10 stubtest lsan-selfcheck example-producer bench build clean \
        $(addprefix test-py,$(PY_VERSIONS))
all: build

# Venvs and stamps reached only through pattern rules are still kept, never deleted as intermediates.
.SECONDARY:

# --- system packages ---------------------------------------------------------------------
.stamps/apt: Makefile
	@missing=""; for p in $(APT_PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi
	@mkdir -p .stamps && touch $@

# --- virtual environments on the chosen CPython (PATH first, then pyenv, then Debian sid's) ----
# .venv/py3.10 holds the normal build, .venv/asan-py3.10 the sanitizer build; both on $(PYTHON).
.venv/%/bin/python: | .stamps/apt $(if $(filter $(SID_PY_VERSIONS),$(PYVER)),.venv/sid/.done)
	tools/make-venv $(PYTHON) .venv/$*
	.venv/$*/bin/python -m pip install -q --upgrade pip

# The newest CPythons, unpacked from Debian's development suite with their own glibc; once per clone.
.venv/sid/.done: tools/sid-python | .stamps/apt
	rm -rf .venv/sid
	tools/sid-python .venv/sid $(SID_PY_VERSIONS)
	@touch $@

.stamps/%/build-deps: tools/build-requirements.txt | .venv/%/bin/python
	.venv/$*/bin/python -m pip install -q -r tools/build-requirements.txt
	@mkdir -p $(@D) && touch $@

.stamps/%/test-deps: tests/requirements.txt | .venv/%/bin/python
	.venv/$*/bin/python -m pip install -q -r tests/requirements.txt
	@mkdir -p $(@D) && touch $@

.stamps/%/wheel-deps: tools/wheel-requirements.txt | .venv/%/bin/python
	.venv/$*/bin/python -m pip install -q -r tools/wheel-requirements.txt
	@mkdir -p $(@D) && touch $@

.stamps/%/style-deps: tools/style-requirements.txt | .venv/%/bin/python
	.venv/$*/bin/python -m pip install -q -r tools/style-requirements.txt
	@mkdir -p $(@D) && touch $@

.stamps/%/stubtest-deps: tools/stubtest-requirements.txt | .venv/%/bin/python
	.venv/$*/bin/python -m pip install -q -r tools/stubtest-requirements.txt
	@mkdir -p $(@D) && touch $@

# --- the package (persistent build tree under build/, so rebuilds are incremental) -----------
# A checkout's install adds zelvar._testing (its own install component) to what a wheel holds.
WITH_TESTING := -C install.components='package;testing'
$(STAMPS)/installed: $(SOURCES) .stamps/apt $(STAMPS)/build-deps
	$(PY) -m pip install -q --no-build-isolation --no-deps $(WITH_TESTING) .
	@touch $@

build: $(STAMPS)/installed

# The same package, zelvar._testing included, built with AddressSanitizer and UBSan.
$(ASAN_STAMPS)/installed: $(SOURCES) .stamps/apt $(ASAN_STAMPS)/build-deps
	$(ASAN_PY) -m pip install -q --no-build-isolation --no-deps $(WITH_TESTING) \
	  -C build-dir='build/asan-{wheel_tag}' -C cmake.build-type=RelWithDebInfo \
	  -C cmake.define.ZELVAR_SANITIZE=$(ASAN_SANITIZERS) .
	@touch $@

# --- C++ tests: normal build and ThreadSanitizer build --------------------------------------
build/cpp/build.ninja: CMakeLists.txt | .stamps/apt $(STAMPS)/build-deps
	$(VENV)/bin/cmake -S . -B build/cpp -G Ninja -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV)/bin/ninja) \
	  -DZELVAR_MODULES=OFF -DZELVAR_TESTS=ON -DZELVAR_BENCH=ON -DCMAKE_BUILD_TYPE=Release

build/tsan/build.ninja: CMakeLists.txt | .stamps/apt $(STAMPS)/build-deps
	$(VENV)/bin/cmake -S . -B build/tsan -G Ninja -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV)/bin/ninja) \
	  -DZELVAR_MODULES=OFF -DZELVAR_TESTS=ON -DZELVAR_SANITIZE=thread -DCMAKE_BUILD_TYPE=RelWithDebInfo

test-cpp: build/cpp/build.ninja
	$(VENV)/bin/ninja -C build/cpp
	cd build/cpp && $(abspath $(VENV)/bin/ctest) --output-on-failure

test-tsan: build/tsan/build.ninja
	$(VENV)/bin/ninja -C build/tsan
	cd build/tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" $(abspath $(VENV)/bin/ctest) --output-on-failure

# --- Python tests ----------------------------------------------------------------------------
test-py: build $(STAMPS)/test-deps
	cd tests && $(abspath $(PY)) -m pytest -q -p no:cacheprovider $(PYTEST_ARGS)

# --- an outside native module built against the installed headers only ----------------------
build/producer/build.ninja: examples/producer/CMakeLists.txt | $(STAMPS)/installed
	$(VENV)/bin/cmake -S examples/producer -B build/producer -G Ninja -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV)/bin/ninja) \
	  -DPython_EXECUTABLE=$(abspath $(PY)) -DCMAKE_BUILD_TYPE=Release

example-producer: build build/producer/build.ninja
	$(VENV)/bin/ninja -C build/producer
	PYTHONPATH=build/producer $(PY) examples/producer/run.py

# test-py3.11 etc.: the stubs and the suite on that CPython, in its own venv and build tree (what
# inspect reports differs between versions, so stubtest runs on each). The slow leak runs go on
# $(PYTHON) (through test-py) and on SLOW_PY_VERSIONS only: the oldest and the newest released
# interpreter's object model, without paying them six times.
SLOW_PY_VERSIONS := 3.14
$(addprefix test-py,$(PY_VERSIONS)): test-py%:
	$(MAKE) --no-print-directory stubtest test-py PYTHON=python$* \
	  $(if $(filter $*,$(SLOW_PY_VERSIONS)),,PYTEST_ARGS="-m 'not slow' $(PYTEST_ARGS)")

# The stubs against the built modules: stubtest walks every module of the installed package, so a
# module without a stub (or a package without py.typed) fails as surely as a wrong signature.
# With the test deps: the pytest plugin's module imports pytest. The allowlist names what a stub
# declares on purpose beyond the module (stubtest fails on an entry that no longer applies).
stubtest: build $(STAMPS)/stubtest-deps $(STAMPS)/test-deps
	$(PY) -m mypy.stubtest zelvar --allowlist tools/stubtest-allowlist.txt

# The sanitizer environment: the interpreter is not instrumented, so the runtimes are preloaded;
# PYTHONMALLOC=malloc sends every object allocation through ASan. tools/lsan.supp hides leaks the
# interpreter itself leaves at exit, never ours. intercept_tls_get_addr=0: this runtime guesses the
# bounds of a dynamic TLS block from a glibc 2.19 header when the block's address happens to sit
# 16 bytes into a page, reads garbage and crashes the leak check; untracked, the blocks are plain
# heap blocks reached through the thread's DTV, so the leak check still scans them.
ASAN_ENV = LD_PRELOAD="$$(gcc -print-file-name=libasan.so) $$(gcc -print-file-name=libubsan.so)" \
  PYTHONMALLOC=malloc \
  ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:intercept_tls_get_addr=0 \
  LSAN_OPTIONS=suppressions=$(abspath tools/lsan.supp):print_suppressions=0 \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

# The suppressions must not hide a leak whose stack lies in the interpreter: a bytes object kept
# alive by one reference too many (what a reference leak in a native module leaves) has to be
# reported. A suppression of all of libpython would hide it.
lsan-selfcheck: $(ASAN_VENV)/bin/python
	@out=$$($(ASAN_ENV) $(ASAN_PY) -c 'import ctypes; ctypes.pythonapi.Py_IncRef(ctypes.py_object(bytes(4288)))' 2>&1); \
	if echo "$$out" | grep -q 'Direct leak of 4321 byte'; then echo "lsan-selfcheck: a planted leak is reported"; \
	else echo "$$out"; echo "lsan-selfcheck: the planted leak was not reported" >&2; exit 1; fi

test-asan: $(ASAN_STAMPS)/installed $(ASAN_STAMPS)/test-deps lsan-selfcheck
	cd tests && $(ASAN_ENV) $(abspath $(ASAN_PY)) -m pytest -q -p no:cacheprovider $(PYTEST_ARGS)

# `make test` runs the sanitizer suite on 3.10 whatever PYTHON is: from 3.12 the interpreter itself
# leaves thousands of blocks (its interned strings) at exit.
test-asan3.10:
	$(MAKE) --no-print-directory test-asan PYTHON=python3.10

# --- house style: clang-format for the C++, ruff (lint + format) for the Python -------------------
# third_party/ is neither formatted nor linted: it is checked to be as released (its manifest).
CXX_FILES = $(shell find src tests bench examples -name '*.cpp' -o -name '*.hpp')
format: $(STAMPS)/style-deps
	@echo "clang-format -i (every .cpp/.hpp)"; $(VENV)/bin/clang-format -i $(CXX_FILES)
	$(VENV)/bin/ruff format -q .
	$(VENV)/bin/ruff check --fix -q .
	$(VENV)/bin/ruff format -q .

check-format: $(STAMPS)/style-deps
	@echo "clang-format --dry-run --Werror (every .cpp/.hpp)"; $(VENV)/bin/clang-format --dry-run --Werror $(CXX_FILES)
	$(VENV)/bin/ruff check -q .
	$(VENV)/bin/ruff format --check -q .
	tools/refresh-third-party --check

# Cheap first: the house style, C++ tests, stubs, the suite on $(PYTHON), the outside producer, ThreadSanitizer, the other CPythons, the
# sanitizer build, then the wheels and the sdist (installed and checked with the system spdlog and fmt hidden).
test: check-format test-cpp stubtest test-py example-producer test-tsan $(addprefix test-py,$(OTHER_PY_VERSIONS)) test-asan3.10 test-wheel \
      test-sdist

# --- wheels -----------------------------------------------------------------------------------
# One wheel per CPython into dist/, plus the sdist. A wheel is that CPython's checkout build tree
# installed without zelvar._testing, so it compiles nothing anew; auditwheel checks it against the
# manylinux policies and retags it to WHEEL_PLAT, failing if a binary needs something newer. It has
# nothing to graft (libscrivo.so.0 is found inside the wheel through the modules' own search paths),
# so no binary changes: tests/package/test_linkage.py checks that.
# The policy is ours (glibc 2.34); the machine is this one's, as the wheel tag names it.
CPTAG := cp$(subst .,,$(PYVER))
MACHINE := $(shell uname -m)
WHEEL_BUILD := build/$(CPTAG)-$(CPTAG)-linux_$(MACHINE)
WHEEL_PLAT := manylinux_2_34_$(MACHINE)
wheel: $(addprefix wheel-py,$(PY_VERSIONS)) sdist

$(addprefix wheel-py,$(PY_VERSIONS)): wheel-py%:
	$(MAKE) --no-print-directory wheel-one PYTHON=python$*

wheel-one: $(STAMPS)/wheel

$(STAMPS)/wheel: $(STAMPS)/installed LICENSE $(STAMPS)/wheel-deps
	rm -rf build/wheelhouse/$(CPTAG) && mkdir -p dist
	rm -f dist/zelvar-*-$(CPTAG)-*.whl
	$(PY) -m pip wheel -q --no-deps --no-build-isolation -w build/wheelhouse/$(CPTAG) .
	$(VENV)/bin/auditwheel show build/wheelhouse/$(CPTAG)/*.whl
	PATH="$(abspath $(VENV)/bin):$$PATH" $(VENV)/bin/auditwheel repair --plat $(WHEEL_PLAT) \
	  -w dist build/wheelhouse/$(CPTAG)/*.whl
	@touch $@

# Built without isolation, so the build backend comes from the venv's build deps.
sdist: $(SOURCES) LICENSE $(STAMPS)/build-deps $(STAMPS)/wheel-deps
	rm -f dist/zelvar-*.tar.gz
	$(PY) -m build --sdist --no-isolation -o dist .

# The wheel installed into a fresh venv and checked with the system spdlog and fmt hidden
# (tools/check-wheel): on $(PYTHON) the installation tests (WHEEL_SUITE) and examples/producer, on the
# others an import.
# `make wheel` first, the README's command, so every run builds the sdist too.
test-wheel: wheel
	$(MAKE) --no-print-directory $(addprefix test-wheel-py,$(PY_VERSIONS))

$(addprefix test-wheel-py,$(PY_VERSIONS)): test-wheel-py%:
	$(MAKE) --no-print-directory test-wheel-one PYTHON=python$* \
	  WHEEL_CHECK=$(if $(filter $*,$(firstword $(PY_VERSIONS))),suite,import)

# The wheel's binaries are those the checkout's suite just ran on (one build tree), so on the wheel the
# suite takes what installation can break: the package checks, the native interfaces through
# zelvar._testing, native producers and the README.
WHEEL_CHECK ?= import
WHEEL_SUITE ?= package/test_linkage.py package/test_readme.py package/test_hostile_logging.py \
  package/test_hostile_bridge.py pyext scrivo/test_native_api.py ferrix/test_pipe.py
test-wheel-one: $(STAMPS)/wheel
	PYTEST_ARGS="$(WHEEL_SUITE)" tools/check-wheel dist/zelvar-*-$(CPTAG)-$(CPTAG)-*.whl $(PYTHON) $(WHEEL_CHECK) \
	  $(if $(filter suite,$(WHEEL_CHECK)),$(WHEEL_BUILD)/_testing.*.so $(VENV)/bin)

# The sdist built by pip in a fresh venv on $(PYTHON), with the system spdlog and fmt hidden: a whole
# build from nothing, with only what pip fetches for it.
test-sdist: sdist
	tools/check-wheel dist/zelvar-*.tar.gz $(PYTHON) import

# --- demo and benchmarks ---------------------------------------------------------------------
demo: build
	$(PY) examples/demo.py

bench: build build/cpp/build.ninja
	-$(PY) -m pip install -q picologging  # a peer to compare with, when it installs here
	$(PY) -m pip install -q matplotlib
	$(VENV)/bin/ninja -C build/cpp ring_bench pattern_bench
	@mkdir -p build/bench && rm -f build/bench/results.json
	./build/cpp/ring_bench > build/bench/ring.txt && cat build/bench/ring.txt
	./build/cpp/pattern_bench
	BENCH_RESULTS=build/bench/results.json $(PY) bench/logging_bench.py
	BENCH_RESULTS=build/bench/results.json $(PY) bench/async_queue_bench.py
	$(PY) bench/durability_bench.py
	$(PY) bench/fields_bench.py
	$(PY) bench/json_console_bench.py
	$(PY) bench/rotation_bench.py
	$(PY) bench/records_bench.py
	BENCH_RESULTS=build/bench/results.json $(PY) bench/dispatcher_bench.py
	$(PY) bench/chart.py build/bench docs/benchmarks.png

clean:
	rm -rf build .venv .stamps dist
