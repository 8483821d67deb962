# The two commands of the README, and the build they stand on.
BUILD ?= build/mingw
NATIVE_BUILD ?= build/native
JOBS ?= 2
FUZZ_SECONDS ?= 60

.PHONY: all setup build native test fuzz bench demo clean

all: build

setup:
	@bash tools/setup.sh

build: setup dist/velmora-stamp
	@[ -f $(BUILD)/CMakeCache.txt ] || cmake -S . -B $(BUILD) \
		-DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j$(JOBS) -- --no-print-directory

# The stamping tool for the Linux machines that prepare copies; its Windows twin comes from
# the cross build above.
dist/velmora-stamp: tools/stamp/velmora_stamp.cpp tools/stamp/stamp_image.h
	@mkdir -p dist
	g++ -std=c++17 -Os -Wall -Wextra -o $@ tools/stamp/velmora_stamp.cpp

# The pure logic built for Linux with clang, for its sanitizer tests and the fuzzers.
native: setup
	@cmake -S tests/native -B $(NATIVE_BUILD) -DCMAKE_C_COMPILER=clang \
		-DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@cmake --build $(NATIVE_BUILD) -j$(JOBS) -- --no-print-directory

# The native sanitizer run first: it takes seconds and needs no Wine.
test: build native
	@ctest --test-dir $(NATIVE_BUILD) --output-on-failure $(CTEST_ARGS)
	@bash tools/run-tests.sh $(BUILD)

# Every libFuzzer target for FUZZ_SECONDS from the committed seeds; fails on any finding.
fuzz: native
	@cmake --build $(NATIVE_BUILD) -j$(JOBS) --target fuzzers -- --no-print-directory
	@bash tests/fuzz/run-fuzz.sh $(NATIVE_BUILD) $(FUZZ_SECONDS)

# Measurements against baselines taken in the same run; prints one table, fails on no figure.
bench: build
	@bash tools/bench/run.sh $(BUILD)

demo: build
	@bash tools/demo.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(NATIVE_BUILD) dist
