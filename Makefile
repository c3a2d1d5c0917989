# The two commands of the README: `make run` and `make test`. Everything else is optional.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build run check check-accessibility test test-asan fuzz-brief package-check release bench soak fuzz deb clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# Starts the virtual module and the utility; see README.
run: build
	@scripts/run-with-sim.sh $(BUILD)

# `make test` is what CI runs: the suite, the same suite under AddressSanitizer and UBSan, and
# every fuzz target for FUZZ_TEST_SECONDS. `make check` is the suite alone, for a quick run.
# Two builds: the release-like tree, and one clang tree (ASAN_BUILD) that serves both the
# sanitizer suite and the fuzz targets (scripts/sanitize-build.sh). ccache, when installed,
# makes a second run rebuild only what changed.
# One test at a time: tests that unplug a pseudo-terminal must not see its number reused by a
# neighbour.
FUZZ_TEST_SECONDS ?= 10

check: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure

test: check check-accessibility test-asan fuzz-brief package-check

# What a screen reader finds, in all three control states (Xvfb, AT-SPI; about 20 s).
check-accessibility: build
	scripts/check-accessibility.sh $(BUILD)

test-asan: deps
	@scripts/install-deps.sh clang libclang-rt-14-dev
	@JOBS=$(JOBS) scripts/sanitize-build.sh $(ASAN_BUILD)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure

# The Debian package of the tree `make check` built (no second build), checked with lintian.
package-check: build
	@scripts/install-deps.sh lintian
	@scripts/check-package.sh $(BUILD)

fuzz-brief:
	@scripts/install-deps.sh clang libclang-rt-14-dev
	@JOBS=$(JOBS) FUZZ_BUILD=$(CURDIR)/$(ASAN_BUILD) FUZZ_SECONDS=$(FUZZ_TEST_SECONDS) FUZZ_MERGE=0 scripts/fuzz.sh

# The benchmark table, in Release, on a virtual display when Xvfb is there (the start-up figure
# is then that of a real window). BENCH_STEP_SECONDS: length of each rate step.
BENCH_STEP_SECONDS ?= 3
SOAK_MINUTES ?= 30
# Length of each of the three transmit and replay runs.
BENCH_TRANSMIT_SECONDS ?= 60

release: deps
	@scripts/install-deps.sh xvfb xauth
	cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DK3316_BUILD_TESTS=OFF
	cmake --build build-release -j $(JOBS)

bench: release
	xvfb-run -a build-release/bin/bench_table $(BENCH_STEP_SECONDS)
	build-release/bin/bench_cli
	build-release/bin/bench_transmit $(BENCH_TRANSMIT_SECONDS)
	build-release/bin/bench_dbc
	build-release/bin/bench_serve

# Line-rate traffic plus auto-send every 10 ms for SOAK_MINUTES; counts and memory at the end.
soak: release
	build-release/bin/bench_soak $(SOAK_MINUTES)

# Runs every fuzz target for FUZZ_SECONDS (default 60) each and grows the corpus; see scripts/fuzz.sh.
fuzz:
	@scripts/install-deps.sh clang libclang-rt-14-dev
	@JOBS=$(JOBS) FUZZ_BUILD=$(CURDIR)/$(ASAN_BUILD) scripts/fuzz.sh

# A Debian package of the utility and the virtual module.
deb: deps
	cmake -S . -B build-deb -G Ninja -DCMAKE_BUILD_TYPE=Release -DK3316_BUILD_TESTS=OFF -DK3316_BUILD_BENCH=OFF
	cmake --build build-deb -j $(JOBS)
	cd build-deb && cpack -G DEB

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-release build-deb build-fuzz
