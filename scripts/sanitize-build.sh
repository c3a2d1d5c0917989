#!/usr/bin/env bash
# Configures and builds the one clang tree that serves both the sanitizer suite and the fuzz
# targets: everything under AddressSanitizer and UBSan, the libraries also instrumented for
# libFuzzer, the fuzz targets linked with -fsanitize=fuzzer. `make test-asan` runs the suite
# from it, scripts/fuzz.sh the fuzz targets.
# Usage: scripts/sanitize-build.sh BUILD_DIR [target ...]    (default: everything)
# Environment: JOBS (build jobs)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_DIR [target ...]" >&2
  exit 2
fi
build=$1
shift
jobs=${JOBS:-$(nproc)}

# A tree configured with another compiler (an older gcc sanitizer tree) cannot be switched to
# clang in place.
if [ -f "$build/CMakeCache.txt" ] && ! grep -q '^CMAKE_CXX_COMPILER:.*clang++' "$build/CMakeCache.txt"; then
  echo "sanitize-build: $build was configured with another compiler; configuring it afresh"
  rm -rf "$build"
fi
# Debug: compiling at -O0 is the quickest, and the sanitizers and libFuzzer need no more.
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DK3316_SANITIZE=ON -DK3316_FUZZ=ON -DK3316_BUILD_TESTS=ON -DK3316_BUILD_BENCH=OFF >/dev/null
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build "$build" -j "$jobs" "${targets[@]}"
