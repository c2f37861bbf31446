# Everyday commands. Each one installs what is missing, configures and builds.
#   make run     build and run the built-in example (needs a display)
#   make test    build and run every test (window tests on a private Xvfb)
#   make bench   build and run the benchmarks

BUILD_DIR ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD_ABS := $(abspath $(BUILD_DIR))

.PHONY: all deps configure build run test bench clean

all: build

deps:
	bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR) --parallel $(JOBS)

# The example reads cerven.jpg from the working directory.
run: build
	cd sample && $(BUILD_ABS)/tesmic

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure

clean:
	rm -rf $(BUILD_DIR)
