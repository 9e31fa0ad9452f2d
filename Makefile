# Entry points for users and CI.  Everything builds out of tree under build*/.
MAKEFLAGS += --no-print-directory
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_ARGS ?=
# A Python that sees the Debian packages (Debian's /usr/bin/python3 first); evaluated after
# `deps` has installed them.
PYTHON     ?= $(shell tools/find-python)
EXAMPLE    ?= examples/layered

.PHONY: all deps build demo test sanitize bench format clean

all: build

## Debian packages the build and the tests need (installed when run as root with apt).
deps:
	@tools/ensure-deps build python

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DSTRIPWAVE_PYTHON=$(PYTHON) \
	  $(CMAKE_ARGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

## Build the simulator, run the bundled example model in a scratch directory and draw it.
demo: build
	@PYTHON=$(PYTHON) tools/run_demo.sh $(BUILD)/stripwave $(EXAMPLE)

## Build and run the whole test suite (C++ and the Python package).
test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

## The test suite under AddressSanitizer and UndefinedBehaviorSanitizer, with every index
## checked (STRIPWAVE_CHECK_BOUNDS).
sanitize: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTRIPWAVE_SANITIZE=ON \
	  -DSTRIPWAVE_CHECK_BOUNDS=ON -DSTRIPWAVE_BENCH=OFF $(CMAKE_ARGS) >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

## Benchmarks (Google Benchmark).
bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

format:
	@clang-format -i $$(git ls-files '*.cpp' '*.hpp')

clean:
	@rm -rf $(BUILD) $(ASAN_BUILD)
