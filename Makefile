# Everyday commands. Each one installs what is missing, configures a build
# folder the first time (or when CMAKE_FLAGS change) and rebuilds what changed.
#   make run     build and run the built-in example (needs a display)
#   make test    build and run every test (window tests on a private Xvfb)
#   make bench   build and run the benchmarks
#   make bench-smoke  build the benchmarks and check each way's mask once
#   make test-sanitize  the tests again, built with ASan and UBSan
#   make test-assertions  the tests again, with libstdc++'s assertions
#   make test-tsan  the unit tests built with ThreadSanitizer
#   make package build the Debian package into _packages/
#   make clean   remove every build folder and the packages

BUILD_DIR ?= build
BENCH_BUILD_DIR ?= build-bench
CMAKE_FLAGS ?=
BENCH_ARGS ?=
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD_ABS := $(abspath $(BUILD_DIR))
PACKAGE_DIR ?= _packages

.PHONY: all deps configure build run test bench bench-build bench-smoke package clean

all: build

deps:
	bash scripts/install-deps.sh

# $(call configure,DIR,FLAGS): CMake's configure of DIR, only when DIR has
# none yet or had other flags; otherwise the build re-runs it as it needs.
define configure
	@if [ ! -f $(1)/CMakeCache.txt ] || [ "$$(cat $(1)/.make-flags 2>/dev/null)" != "$(strip $(2))" ]; then \
	  echo cmake -S . -B $(1) $(2) && cmake -S . -B $(1) $(2) && \
	  echo "$(strip $(2))" > $(1)/.make-flags; \
	fi
endef

configure: deps
	$(call configure,$(BUILD_DIR),$(CMAKE_FLAGS))

build: configure
	cmake --build $(BUILD_DIR) --parallel $(JOBS)

# The example reads cerven.jpg from the working directory.
run: build
	cd sample && $(BUILD_ABS)/tesmic

# Test programs side by side; each window test program has its own Xvfb.
CTEST = ctest --output-on-failure --parallel $(JOBS) --test-dir

test: build
	$(CTEST) $(BUILD_DIR)

# The sanitizers have their own build. The options travel in the environment,
# so they reach the tesmic processes the window tests start. A report exits
# with 86, which no exit code of tesmic can be mistaken for.
ASAN_BUILD_DIR ?= build-asan
SANITIZER_ENV = \
  ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:check_initialization_order=1:exitcode=86 \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:exitcode=86 \
  LSAN_OPTIONS=suppressions=$(abspath tests/sanitizers/lsan.supp):print_suppressions=0

.PHONY: test-sanitize test-assertions test-tsan
ASAN_CMAKE_FLAGS = -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESMIC_SANITIZE=ON $(CMAKE_FLAGS)
test-sanitize: deps
	$(call configure,$(ASAN_BUILD_DIR),$(ASAN_CMAKE_FLAGS))
	cmake --build $(ASAN_BUILD_DIR) --parallel $(JOBS)
	$(SANITIZER_ENV) $(CTEST) $(ASAN_BUILD_DIR)

# libstdc++'s own checks on: an index past the end of a vector, front() of
# an empty one and the like abort the test instead of reading astray.
ASSERTIONS_BUILD_DIR ?= build-assertions
ASSERTIONS_CMAKE_FLAGS = -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS=-D_GLIBCXX_ASSERTIONS \
  $(CMAKE_FLAGS)
test-assertions: deps
	$(call configure,$(ASSERTIONS_BUILD_DIR),$(ASSERTIONS_CMAKE_FLAGS))
	cmake --build $(ASSERTIONS_BUILD_DIR) --parallel $(JOBS)
	$(CTEST) $(ASSERTIONS_BUILD_DIR)

# ThreadSanitizer on the unit tests, the worker pool's among them (its
# waking, sleeping and closing) and the pass shared between threads. Only
# those: the libraries the program runs on are not built for it. The checks
# over all 16 million colours are left out (an hour under TSan). Without
# the hardening, whose fortified string functions TSan does not intercept.
TSAN_BUILD_DIR ?= build-tsan
TSAN_CMAKE_FLAGS = -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESMIC_HARDEN=OFF \
  -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread $(CMAKE_FLAGS)
test-tsan: deps
	$(call configure,$(TSAN_BUILD_DIR),$(TSAN_CMAKE_FLAGS))
	cmake --build $(TSAN_BUILD_DIR) --parallel $(JOBS) --target tesmic_unit_tests
	TSAN_OPTIONS=halt_on_error=1:exitcode=86 $(TSAN_BUILD_DIR)/tests/tesmic_unit_tests \
	  --gtest_filter=-*OverAllColours*

# Its own Release tree, so that timings never come from a debug build. Each
# way of computing the mask is checked before it is timed.
# Extra flags for the program: make bench BENCH_ARGS=--benchmark_filter=pass
BENCH_CMAKE_FLAGS = -DCMAKE_BUILD_TYPE=Release -DTESMIC_BUILD_BENCHMARKS=ON -DTESMIC_BUILD_TESTS=OFF \
  $(CMAKE_FLAGS)
bench-build: deps
	$(call configure,$(BENCH_BUILD_DIR),$(BENCH_CMAKE_FLAGS))
	cmake --build $(BENCH_BUILD_DIR) --parallel $(JOBS) --target tesmic_bench

bench: bench-build
	$(BENCH_BUILD_DIR)/bench/tesmic_bench $(BENCH_ARGS)

# Seconds, not minutes: every way's mask at one size, untimed.
bench-smoke: bench-build
	$(BENCH_BUILD_DIR)/bench/tesmic_bench --check-masks=640x480

# tesmic_<version>_<arch>.deb, its Depends read off the binary. Older
# packages go first so that $(PACKAGE_DIR)/tesmic_*.deb names just this one.
package: build
	rm -f $(PACKAGE_DIR)/tesmic_*.deb
	cd $(BUILD_DIR) && cpack -G DEB -D CPACK_OUTPUT_FILE_PREFIX=$(abspath $(PACKAGE_DIR))

clean:
	rm -rf $(BUILD_DIR) $(BENCH_BUILD_DIR) $(ASAN_BUILD_DIR) $(ASSERTIONS_BUILD_DIR) \
	  $(TSAN_BUILD_DIR) $(PACKAGE_DIR)
