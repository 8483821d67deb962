# The two commands of the README, and the build they stand on.
BUILD ?= build/mingw
JOBS ?= 2

.PHONY: all setup build test demo clean

all: build

setup:
	@bash tools/setup.sh

build: setup dist/velmora-stamp
	@cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake \
		-DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j$(JOBS) -- --no-print-directory

# The stamping tool for the Linux machines that prepare copies; its Windows twin comes from
# the cross build above.
dist/velmora-stamp: tools/stamp/velmora_stamp.cpp tools/stamp/stamp_image.h
	@mkdir -p dist
	g++ -std=c++17 -Os -Wall -Wextra -o $@ tools/stamp/velmora_stamp.cpp

test: build
	@bash tools/run-tests.sh $(BUILD)

demo: build
	@bash tools/demo.sh $(BUILD)

clean:
	rm -rf $(BUILD) dist
