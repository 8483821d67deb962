# The two commands of the README, and the builds they stand on.
#
# Two builds of the same sources: build/mingw, the shipped 32-bit program (dist/), and
# build/x64, a 64-bit one for test hosts that cannot run 32-bit programs (never shipped).
# `make test`, `make demo` and `make bench` run the build the host can run
# (tools/pick-arch.sh); ARCH=x86 or ARCH=x64 forces either, and `make bench ARCH=both` measures
# every build the host runs. `make` alone builds the 32-bit one.
ARCH ?=
BUILD_ARCH := $(if $(ARCH),$(ARCH),x86)
ifeq ($(BUILD_ARCH),x64)
BUILD ?= build/x64
TOOLCHAIN := cmake/toolchain-mingw-x86_64.cmake
else
BUILD ?= build/mingw
TOOLCHAIN := cmake/toolchain-mingw-i686.cmake
endif
NATIVE_BUILD ?= build/native
JOBS ?= 2
RUNS ?= 1
FUZZ_SECONDS ?= 60

.PHONY: all setup build native test fuzz bench demo clean run-test run-demo

all: build

setup:
	@bash tools/setup.sh

build: setup dist/velmora-stamp
	@[ -f $(BUILD)/CMakeCache.txt ] || cmake -S . -B $(BUILD) \
		-DCMAKE_TOOLCHAIN_FILE=$(TOOLCHAIN) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j$(JOBS) -- --no-print-directory

# The stamping tool for the Linux machines that prepare copies; its Windows twin comes from
# the cross build above, from the same list of files (tools/stamp/sources.txt, one a line). It
# reads the PE headers with the program's own parse.
STAMP_FILES := $(shell cat tools/stamp/sources.txt)
dist/velmora-stamp: tools/stamp/sources.txt $(STAMP_FILES)
	@mkdir -p dist
	g++ -std=c++17 -Os -Wall -Wextra -I. -o $@ $(filter %.cpp,$(STAMP_FILES))

# The pure logic built for Linux with clang, for its sanitizer tests and the fuzzers.
native: setup
	@cmake -S tests/native -B $(NATIVE_BUILD) -DCMAKE_C_COMPILER=clang \
		-DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@cmake --build $(NATIVE_BUILD) -j$(JOBS) -- --no-print-directory

# Each runs again on the build the host can run (ARCH=both: on each build it runs).
test demo: setup
	@archs=$$(bash tools/pick-arch.sh "$(ARCH)") && for arch in $$archs; do \
		$(MAKE) --no-print-directory ARCH=$$arch run-$@ || exit 1; done

# The bench on the build the host runs, or with ARCH=both on every build it runs, in one table;
# RUNS=3 makes every whole run three times and judges each goal on the median of the three.
bench: setup
	@archs=$$(bash tools/pick-arch.sh "$(ARCH)") && dirs="" && \
		for arch in $$archs; do \
			$(MAKE) --no-print-directory ARCH=$$arch build || exit 1; \
			if [ $$arch = x64 ]; then dirs="$$dirs build/x64"; else dirs="$$dirs build/mingw"; fi; \
		done && \
		bash tools/bench/run.sh --runs $(RUNS) $$dirs

# The native sanitizer run first: it takes seconds and needs no Wine.
run-test: build native
	@ctest --test-dir $(NATIVE_BUILD) --output-on-failure $(CTEST_ARGS)
	@bash tools/run-tests.sh $(BUILD)

# Every libFuzzer target for FUZZ_SECONDS from the committed seeds; fails on any finding.
fuzz: native
	@cmake --build $(NATIVE_BUILD) -j$(JOBS) --target fuzzers -- --no-print-directory
	@bash tests/fuzz/run-fuzz.sh $(NATIVE_BUILD) $(FUZZ_SECONDS)

run-demo: build
	@bash tools/demo.sh $(BUILD)

clean:
	rm -rf build/mingw build/x64 $(NATIVE_BUILD) dist
