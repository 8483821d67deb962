# The two commands of the README, and the build they stand on.
BUILD ?= build/mingw
JOBS ?= 2

.PHONY: all setup build test demo clean

all: build

setup:
	@bash tools/setup.sh

build: setup
	@cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake \
		-DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j$(JOBS) -- --no-print-directory

test: build
	@bash tools/run-tests.sh $(BUILD)

demo: build
	@echo "make demo: not yet - the end-to-end demo lands with the installation steps."

clean:
	rm -rf $(BUILD) dist
