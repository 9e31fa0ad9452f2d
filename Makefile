# Entry points for users and CI.  Everything builds out of tree under build*/.
MAKEFLAGS += --no-print-directory
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_ARGS ?=
# A Python that sees the Debian packages (Debian's /usr/bin/python3 first); evaluated after
# `deps` has installed them.
PYTHON     ?= $(shell tools/find-python)
EXAMPLE    ?= examples/layered
PREFIX     ?= /usr/local
DESTDIR    ?=

.PHONY: all deps build install demo test sanitize fuzz bench format clean

all: build

## Debian packages the build and the tests need (installed when run as root with apt).
deps:
	@tools/ensure-deps build python

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DSTRIPWAVE_PYTHON=$(PYTHON) \
	  $(CMAKE_ARGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

## Install the simulator as PREFIX/bin/stripwave and the Python package where PYTHON finds it
## (PREFIX/lib/python3.N/dist-packages for Debian's python3), so that `stripwave` and
## `python3 -m stripwave` run from any directory; offline, with Debian's pip and setuptools.
## DESTDIR stages the files under another root.
install: build
	@DESTDIR="$(DESTDIR)" tools/install $(BUILD)/stripwave $(PREFIX) $(PYTHON)

## Build the simulator alone (not the tests or benchmarks), run the bundled example model
## in a scratch directory and draw it.
demo: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DSTRIPWAVE_PYTHON=$(PYTHON) \
	  $(CMAKE_ARGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target stripwave
	@PYTHON=$(PYTHON) tools/run_demo.sh $(BUILD)/stripwave $(EXAMPLE)

## Build and run the whole test suite (C++ and the Python package).
test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

## The test suite under AddressSanitizer and UndefinedBehaviorSanitizer, with every index
## checked (STRIPWAVE_CHECK_BOUNDS).  Without MPI (the sequential MUMPS): OpenMPI's own
## allocations, which it keeps to the end of the process, are not this program's to check.
sanitize: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTRIPWAVE_SANITIZE=ON \
	  -DSTRIPWAVE_CHECK_BOUNDS=ON -DSTRIPWAVE_BENCH=OFF -DSTRIPWAVE_MPI=OFF $(CMAKE_ARGS) >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

## libFuzzer targets (record reader, deck, tables) under AddressSanitizer and
## UndefinedBehaviorSanitizer, each for FUZZ_SECONDS (clang, build-fuzz/).
fuzz:
	@tools/ensure-deps fuzz
	@cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DSTRIPWAVE_FUZZ=ON -DSTRIPWAVE_TESTS=OFF -DSTRIPWAVE_BENCH=OFF $(CMAKE_ARGS) >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@tools/run_fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

## Benchmarks (Google Benchmark).
bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

format:
	@clang-format -i $$(git ls-files '*.cpp' '*.hpp')

clean:
	@rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
