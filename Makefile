# Two commands do everything on a fresh Debian machine (as root): `make demo` and `make test`.
# Each step is idempotent and skipped when its inputs have not changed.

PYTHON ?= python3.10
PYVER := $(patsubst python%,%,$(notdir $(PYTHON)))
VENV := .venv/py$(PYVER)
PY := $(VENV)/bin/python
STAMPS := .stamps/py$(PYVER)
APT_PACKAGES := build-essential ninja-build libspdlog-dev libfmt-dev libgtest-dev binutils
NPROC := $(shell nproc)

SOURCES := $(shell find src -type f \( -name '*.cpp' -o -name '*.hpp' -o -name '*.py' -o -name '*.pyi' -o -name 'py.typed' \)) \
           CMakeLists.txt pyproject.toml
CPP_TEST_SOURCES := $(wildcard tests/cpp/*.cpp) $(wildcard bench/*.cpp)

.PHONY: all demo test test-cpp test-tsan test-py example-producer bench build clean
all: build

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

# --- virtual environment on the chosen CPython (PATH first, then pyenv) -----------------------
$(PY): | .stamps/apt
	@interp=$$(tools/find-python $(PYTHON)) || { echo "no working $(PYTHON) found" >&2; exit 1; }; \
	echo "creating $(VENV) with $$interp"; \
	"$$interp" -m venv $(VENV)
	$(PY) -m pip install -q --upgrade pip

$(STAMPS)/build-deps: tools/build-requirements.txt | $(PY)
	$(PY) -m pip install -q -r tools/build-requirements.txt
	@mkdir -p $(STAMPS) && touch $@

$(STAMPS)/test-deps: tests/requirements.txt | $(PY)
	$(PY) -m pip install -q -r tests/requirements.txt
	@mkdir -p $(STAMPS) && touch $@

# --- the package (persistent build tree under build/, so rebuilds are incremental) -----------
$(STAMPS)/installed: $(SOURCES) .stamps/apt $(STAMPS)/build-deps
	$(PY) -m pip install -q --no-build-isolation --no-deps .
	@touch $@

build: $(STAMPS)/installed

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

test-py: build $(STAMPS)/test-deps
	cd tests && ../$(PY) -m pytest -q -p no:cacheprovider .

# --- an outside native module built against the installed headers only ----------------------
build/producer/build.ninja: examples/producer/CMakeLists.txt | $(STAMPS)/installed
	$(VENV)/bin/cmake -S examples/producer -B build/producer -G Ninja -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV)/bin/ninja) \
	  -DPython_EXECUTABLE=$(abspath $(PY)) -DCMAKE_BUILD_TYPE=Release

example-producer: build build/producer/build.ninja
	$(VENV)/bin/ninja -C build/producer
	PYTHONPATH=build/producer $(PY) examples/producer/run.py

test: test-cpp test-tsan test-py example-producer

# --- demo and benchmarks ---------------------------------------------------------------------
demo: build
	$(PY) examples/demo.py

bench: build build/cpp/build.ninja
	-$(PY) -m pip install -q picologging  # a peer to compare with, when it installs here
	$(PY) -m pip install -q matplotlib
	$(VENV)/bin/ninja -C build/cpp ring_bench
	@mkdir -p build/bench && rm -f build/bench/results.json
	./build/cpp/ring_bench > build/bench/ring.txt && cat build/bench/ring.txt
	BENCH_RESULTS=build/bench/results.json $(PY) bench/logging_bench.py
	BENCH_RESULTS=build/bench/results.json $(PY) bench/async_queue_bench.py
	BENCH_RESULTS=build/bench/results.json $(PY) bench/dispatcher_bench.py
	$(PY) bench/chart.py build/bench docs/benchmarks.png

clean:
	rm -rf build .venv .stamps
