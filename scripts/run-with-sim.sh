#!/usr/bin/env bash
# Starts two virtual modules, then the utility; stops both when the utility exits:
#   /tmp/ttyK3316       configuration mode (the Settings page)
#   /tmp/ttyK3316-demo  operation mode with demo traffic (examples/demo.dbc describes it)
# Extra arguments go to the configuration-mode module.
# Usage: scripts/run-with-sim.sh BUILD_DIR [k3316-sim options]
set -euo pipefail
build=${1:-build}
shift || true
root=$(cd "$(dirname "$0")/.." && pwd)
config_link=/tmp/ttyK3316
demo_link=/tmp/ttyK3316-demo

sims=()
stop() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${sims[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap stop EXIT
trap 'exit 130' INT TERM HUP

# A link left by a module that was killed would be mistaken for a running one.
start() { # link, then k3316-sim options
  local link=$1
  shift
  rm -f "$link" 2>/dev/null || true
  "$build/bin/k3316-sim" --link "$link" "$@" >/dev/null &
  sims+=($!)
  for _ in $(seq 100); do
    [ -e "$link" ] && return 0
    kill -0 "${sims[-1]}" 2>/dev/null || break
    sleep 0.05
  done
  echo "run: the virtual module at $link did not start" >&2
  exit 1
}

start "$config_link" "$@"
start "$demo_link" --demo

cat <<TEXT

Two virtual K-3316 modules are running. In the Connect dialog type one of them as the COM Port,
K-3316 Baud 115200:
    $config_link        configuration mode: the Settings page
    $demo_link   operation mode with demo traffic: the Test page, the Frame Monitor;
                           its messages are described by $root/examples/demo.dbc
Both stop when the utility closes.

TEXT
"$build/bin/k3316-utility"
