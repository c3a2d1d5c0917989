# The two commands of the README: `make run` and `make test`. Everything else is optional.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build run check check-accessibility test test-asan asan-build asan-suite side-checks fuzz-brief package-check release bench soak fuzz deb clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# Builds only what it starts (the utility, the virtual module, k3316-cli), then two virtual
# modules and the utility; see scripts/run-with-sim.sh. One line per step.
RUN_TARGETS = k3316-utility k3316-sim k3316-cli
run: deps
	@echo "run 1/3: configuring $(BUILD)/"
	@[ -f $(BUILD)/build.ninja ] || { mkdir -p $(BUILD) && cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  $(CMAKE_FLAGS) >$(BUILD)/configure.log 2>&1; } || { cat $(BUILD)/configure.log; exit 1; }
	@echo "run 2/3: building $(RUN_TARGETS)"
	@cmake --build $(BUILD) -j $(JOBS) --target $(RUN_TARGETS)
	@echo "run 3/3: starting two virtual modules and the utility"
	@scripts/run-with-sim.sh $(BUILD)

# `make test` is what CI runs: the suite, the accessibility check, the same suite under
# AddressSanitizer and UBSan, every fuzz target for FUZZ_TEST_SECONDS, and the package check.
# `make check` is the suite alone, for a quick run.
# Two builds: the release-like tree, and one clang tree (ASAN_BUILD) that serves both the
# sanitizer suite and the fuzz targets (scripts/sanitize-build.sh). ccache, when installed,
# makes a second run rebuild only what changed; from a fresh clone in another folder the first
# tree is taken from the cache too, but clang writes the folder into its precompiled headers, so
# most of the clang tree compiles again there.
#
# Scheduled for two cores: the suite mostly waits on pseudo-terminals and child programs, so the
# clang tree builds beside it (at normal priority: a lower one starves it on a machine shared
# with other builds, and the tests allow for a loaded machine); then the sanitizer suite runs beside the fuzz
# targets (two at a time) followed by the accessibility and package checks.
# Output is kept per step (make -O), so each step's lines stay together.
# Tests run two at a time, longest first (their COST, tests/CMakeLists.txt): every pseudo-terminal
# is a test's own, and no test opens a device by its path once its other side has gone.
FUZZ_TEST_SECONDS ?= 10
FUZZ_JOBS ?= 1
FUZZ_NO_BUILD ?= 0
CTEST_JOBS ?= 2
SANITIZER_ENV = ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

check: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(CTEST_JOBS)

test: build
	@$(MAKE) --no-print-directory -O -j2 check asan-build
	@$(MAKE) --no-print-directory -O -j2 asan-suite side-checks

# Beside the sanitizer suite: the fuzz targets (built with it), two at a time, then the
# accessibility and package checks of the first tree.
side-checks:
	@$(MAKE) --no-print-directory fuzz-brief FUZZ_JOBS=2 FUZZ_NO_BUILD=1
	@$(MAKE) --no-print-directory check-accessibility
	@$(MAKE) --no-print-directory package-check

# What a screen reader finds, in all three control states (Xvfb, AT-SPI; about 20 s).
check-accessibility: build
	scripts/check-accessibility.sh $(BUILD)

test-asan: asan-build
	@$(MAKE) --no-print-directory asan-suite

asan-build: deps
	@scripts/install-deps.sh clang libclang-rt-14-dev
	@JOBS=$(JOBS) scripts/sanitize-build.sh $(ASAN_BUILD)

asan-suite:
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen $(SANITIZER_ENV) ctest --output-on-failure -j $(CTEST_JOBS)

# The Debian package of the tree `make check` built (no second build), checked with lintian.
package-check: build
	@scripts/install-deps.sh lintian
	@scripts/check-package.sh $(BUILD)

fuzz-brief:
	@scripts/install-deps.sh clang libclang-rt-14-dev
	@JOBS=$(JOBS) FUZZ_BUILD=$(CURDIR)/$(ASAN_BUILD) FUZZ_SECONDS=$(FUZZ_TEST_SECONDS) FUZZ_MERGE=0 \
	  FUZZ_JOBS=$(FUZZ_JOBS) FUZZ_NO_BUILD=$(FUZZ_NO_BUILD) $(FUZZ_NICE) scripts/fuzz.sh

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
	build-release/bin/bench_logs
	build-release/bin/bench_logwindow
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
