#!/usr/bin/env bash
# Starts the utility on a virtual display with accessibility on, and lets an AT-SPI reader look
# for every control by role and name. Usage: scripts/check-accessibility.sh [BUILD_DIR]
set -euo pipefail
build=$(realpath "${1:-build}")
here=$(dirname "$(realpath "$0")")
"$here/install-deps.sh" xvfb xauth dbus-x11 at-spi2-core python3-pyatspi
export NO_AT_BRIDGE=0 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb
exec xvfb-run -a dbus-run-session -- bash -c '
  /usr/libexec/at-spi-bus-launcher --launch-immediately &
  sleep 1
  "$0/bin/k3316-utility" &
  app=$!
  /usr/bin/python3 "$1/check-accessibility.py"; rc=$?
  kill $app 2>/dev/null || true
  exit $rc' "$build" "$here"
