#!/usr/bin/env bash
# Renews the README's screenshots from the real program (offscreen, no display needed).
# Usage: scripts/screenshots.sh [BUILD_DIR] [OUTPUT_DIR]
set -euo pipefail
build=${1:-build}
out=${2:-docs/screenshots}
cmake --build "$build" --target k3316-screenshots >/dev/null
QT_QPA_PLATFORM=offscreen "$build/bin/k3316-screenshots" "$out"
