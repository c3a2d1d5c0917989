#!/usr/bin/env bash
# Starts the utility on a virtual display with accessibility on, and two virtual modules (one in
# configuration mode, one in operation mode); an AT-SPI reader then checks what a screen reader
# finds in each control state. Usage: scripts/check-accessibility.sh [BUILD_DIR]
set -euo pipefail
build=$(realpath "${1:-build}")
here=$(dirname "$(realpath "$0")")
"$here/install-deps.sh" xvfb xauth dbus-x11 at-spi2-core python3-pyatspi
work=$(mktemp -d)
sims=()
cleanup() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
for mode in config operation; do
  "$build/bin/k3316-sim" --mode "$mode" --link "$work/$mode" >/dev/null &
  sims+=($!)
done
for _ in $(seq 100); do
  [ -e "$work/config" ] && [ -e "$work/operation" ] && break
  sleep 0.05
done

# A CAN database remembered from a "last run", so the Frame Monitor opens with it loaded.
mkdir -p "$work/xdg/k3316-utility"
cat >"$work/engine.dbc" <<'DBC'
VERSION ""
BU_: ECU
BO_ 291 EngineData: 8 ECU
 SG_ EngineSpeed : 0|16@1+ (0.25,0) [0|16383.75] "rpm" Vector__XXX
DBC
printf '[FrameMonitor]\nDatabaseFiles=%s\n' "$work/engine.dbc" >"$work/xdg/k3316-utility/k3316-utility.conf"
export XDG_CONFIG_HOME="$work/xdg"

export NO_AT_BRIDGE=0 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb
xvfb-run -a dbus-run-session -- bash -c '
  /usr/libexec/at-spi-bus-launcher --launch-immediately &
  sleep 1
  "$0/bin/k3316-utility" &
  app=$!
  /usr/bin/python3 "$1/check-accessibility.py" "$2" "$3"; rc=$?
  kill $app 2>/dev/null || true
  exit $rc' "$build" "$here" "$work/config" "$work/operation" 2> >(grep -v -e dbus-daemon -e XDG_RUNTIME_DIR -e SpiRegistry >&2)
