# The two commands of the README: `make run` and `make test`. Everything else is optional.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build run test test-asan bench fuzz deb clean

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

# One test at a time: tests that unplug a pseudo-terminal must not see its number reused by a
# neighbour. The whole suite takes well under a minute.
test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DK3316_SANITIZE=ON -DK3316_BUILD_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure

bench: deps
	cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DK3316_BUILD_TESTS=OFF
	cmake --build build-release -j $(JOBS)
	@for b in build-release/bin/bench_*; do echo "== $$b"; QT_QPA_PLATFORM=offscreen $$b; done

# Runs every fuzz target for FUZZ_SECONDS (default 60) each; see scripts/fuzz.sh.
fuzz:
	@scripts/install-deps.sh clang libclang-rt-14-dev
	@JOBS=$(JOBS) scripts/fuzz.sh

# A Debian package of the utility and the virtual module.
deb: deps
	cmake -S . -B build-deb -G Ninja -DCMAKE_BUILD_TYPE=Release -DK3316_BUILD_TESTS=OFF -DK3316_BUILD_BENCH=OFF
	cmake --build build-deb -j $(JOBS)
	cd build-deb && cpack -G DEB

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-release build-deb build-fuzz
