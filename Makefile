# The two commands of the README, and the builds they stand on.
#
# Two builds of the same sources: build/mingw, the shipped 32-bit program (dist/), and
# build/x64, a 64-bit one for test hosts that cannot run 32-bit programs (never shipped).
# `make test`, `make demo` and `make bench` run the build the host can run
# (tools/pick-arch.sh); ARCH=x86 or ARCH=x64 forces either. `make` alone builds the 32-bit one.
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
FUZZ_SECONDS ?= 60

.PHONY: all setup build native test fuzz bench demo clean run-test run-bench run-demo

all: build

setup:
	@bash tools/setup.sh

build: setup dist/velmora-stamp
	@[ -f $(BUILD)/CMakeCache.txt ] || cmake -S . -B $(BUILD) \
		-DCMAKE_TOOLCHAIN_FILE=$(TOOLCHAIN) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j$(JOBS) -- --no-print-directory

# The stamping tool for the Linux machines that prepare copies; its Windows twin comes from
# the cross build above. It reads the PE headers with the program's own parse.
STAMP_SOURCES := tools/stamp/velmora_stamp.cpp install/program_image.cpp \
	install/publisher_pins.cpp install/der_certificate.cpp install/sha256.cpp
dist/velmora-stamp: $(STAMP_SOURCES) tools/stamp/stamp_image.h tools/stamp/certificate_file.h \
	install/program_image.h install/publisher_pins.h install/der_certificate.h install/sha256.h
	@mkdir -p dist
	g++ -std=c++17 -Os -Wall -Wextra -I. -o $@ $(STAMP_SOURCES)

# The pure logic built for Linux with clang, for its sanitizer tests and the fuzzers.
native: setup
	@cmake -S tests/native -B $(NATIVE_BUILD) -DCMAKE_C_COMPILER=clang \
		-DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@cmake --build $(NATIVE_BUILD) -j$(JOBS) -- --no-print-directory

# Each runs again on the build the host can run.
test demo bench: setup
	@arch=$$(bash tools/pick-arch.sh "$(ARCH)") && \
		$(MAKE) --no-print-directory ARCH=$$arch run-$@

# The native sanitizer run first: it takes seconds and needs no Wine.
run-test: build native
	@ctest --test-dir $(NATIVE_BUILD) --output-on-failure $(CTEST_ARGS)
	@bash tools/run-tests.sh $(BUILD)

# Every libFuzzer target for FUZZ_SECONDS from the committed seeds; fails on any finding.
fuzz: native
	@cmake --build $(NATIVE_BUILD) -j$(JOBS) --target fuzzers -- --no-print-directory
	@bash tests/fuzz/run-fuzz.sh $(NATIVE_BUILD) $(FUZZ_SECONDS)

# Measurements against baselines taken in the same run; prints one table, fails on no figure.
run-bench: build
	@bash tools/bench/run.sh $(BUILD)

run-demo: build
	@bash tools/demo.sh $(BUILD)

clean:
	rm -rf build/mingw build/x64 $(NATIVE_BUILD) dist
