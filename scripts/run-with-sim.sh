#!/usr/bin/env bash
# Starts the virtual module on a pseudo-terminal, then the utility; stops the module when the
# utility exits. Extra arguments go to the virtual module (for example: --mode operation --traffic 10).
# Usage: scripts/run-with-sim.sh BUILD_DIR [k3316-sim options]
set -euo pipefail
build=${1:-build}
shift || true
link=/tmp/ttyK3316

"$build/bin/k3316-sim" --link "$link" "$@" &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null || true' EXIT

for _ in $(seq 100); do
  [ -e "$link" ] && break
  sleep 0.05
done
if [ ! -e "$link" ]; then
  echo "run: the virtual module did not start" >&2
  exit 1
fi

echo
echo "The virtual K-3316 module is running. In the Connect dialog type this as the COM Port:"
echo "    $link"
echo "(K-3316 Baud 115200 for configuration mode.)"
echo
"$build/bin/k3316-utility"
