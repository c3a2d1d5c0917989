#!/usr/bin/env bash
# Builds the Debian package from a configured and built tree (cpack, into a scratch folder) and
# checks it with lintian: any error or warning fails. Prints one summary line with the time taken.
# Usage: scripts/check-package.sh BUILD_DIR
set -uo pipefail

if [ $# -ne 1 ] || [ ! -f "$1/CMakeCache.txt" ]; then
  echo "usage: $0 BUILD_DIR (a configured and built CMake tree)" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
started=$(date +%s)

if ! command -v lintian >/dev/null; then
  echo "check-package: SKIPPED: lintian is not installed (scripts/install-deps.sh lintian)"
  exit 0
fi

out=$(mktemp -d "${TMPDIR:-/tmp}/k3316-package.XXXXXX")
trap 'rm -rf "$out"' EXIT

if ! log=$(cd "$build" && cpack -G DEB -B "$out" 2>&1); then
  echo "$log" >&2
  echo "check-package: FAILED: cpack did not build the package"
  exit 1
fi
deb=$(find "$out" -maxdepth 1 -name '*.deb' | head -n1)
if [ -z "$deb" ]; then
  echo "$log" >&2
  echo "check-package: FAILED: cpack left no .deb in $out"
  exit 1
fi

# Errors and warnings count; informational tags (I:) and notes do not. Lintian complains about
# running as root on stderr, which is not about the package.
report=$(lintian --fail-on error,warning "$deb" 2>/dev/null)
status=$?
serious=$(grep -E '^[EW]: ' <<<"$report")
if [ $status -ne 0 ] || [ -n "$serious" ]; then
  echo "${serious:-$report}" >&2
  echo "check-package: FAILED: lintian on $(basename "$deb") (exit status $status)"
  exit 1
fi
echo "check-package: OK: lintian finds no error or warning in $(basename "$deb") ($(($(date +%s) - started)) s)"
