#!/usr/bin/env bash
# Installs a built tree into a scratch prefix and checks the layout a desktop needs: both programs
# executable and loadable, the desktop entry valid and pointing at them, the icons and the README.
# Prints one summary line; exits non-zero on any problem.
# Usage: scripts/check-install.sh BUILD_DIR
set -uo pipefail

if [ $# -ne 1 ] || [ ! -f "$1/CMakeCache.txt" ]; then
  echo "usage: $0 BUILD_DIR (a configured and built CMake tree)" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
app=k3316-utility

prefix=$(mktemp -d "${TMPDIR:-/tmp}/k3316-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT

problems=0
checked=0
notes=()
fail() { echo "check-install: $*" >&2; problems=$((problems + 1)); }

if ! log=$(cmake --install "$build" --prefix "$prefix" 2>&1); then
  echo "$log" >&2
  echo "check-install: FAILED: cmake --install did not complete (is $build built?)"
  exit 1
fi

# A resource that appeared after the tree was configured is installed only after cmake runs again.
hint=" (in the source tree but not installed: re-run cmake on $build)"

expect_file() { # path-under-prefix [source-file-it-comes-from]
  checked=$((checked + 1))
  if [ ! -f "$prefix/$1" ]; then
    if [ -n "${2:-}" ] && [ -e "$source_dir/$2" ]; then fail "missing $1$hint"; else fail "missing $1"; fi
    return 1
  fi
  if [ ! -s "$prefix/$1" ]; then fail "empty $1"; return 1; fi
  return 0
}

expect_program() { # name
  local f="$prefix/bin/$1"
  expect_file "bin/$1" || return
  if [ ! -x "$f" ]; then fail "bin/$1 is not executable"; return; fi
  # Every shared library must resolve from the system, not from the build tree.
  if command -v ldd >/dev/null; then
    local missing
    missing=$(ldd "$f" 2>&1 | grep 'not found')
    [ -n "$missing" ] && fail "bin/$1 has unresolved libraries: $missing"
    ldd "$f" 2>/dev/null | grep -q "$build" && fail "bin/$1 loads libraries from the build tree"
  fi
  if command -v readelf >/dev/null && readelf -d "$f" 2>/dev/null | grep -E 'R(UN)?PATH' | grep -q "$build"; then
    fail "bin/$1 keeps a run path into the build tree"
  fi
}

expect_program "$app"
if [ -f "$source_dir/sim/main.cpp" ]; then
  expect_program k3316-sim
else
  notes+=("k3316-sim not in this tree yet")
fi

expect_file "share/doc/$app/README.md" README.md
expect_file "share/icons/hicolor/scalable/apps/$app.svg" "resources/icons/$app.svg"
if [ -f "$source_dir/resources/icons/app256.png" ]; then
  expect_file "share/icons/hicolor/256x256/apps/$app.png" resources/icons/app256.png
fi

desktop="share/applications/$app.desktop"
if expect_file "$desktop" "resources/$app.desktop"; then
  if command -v desktop-file-validate >/dev/null; then
    # Errors and warnings count; hints (suggested extra categories) do not.
    out=$(desktop-file-validate "$prefix/$desktop" 2>&1)
    status=$?
    serious=$(grep -vE '^[^:]*: hint:' <<<"$out")
    if [ $status -ne 0 ] || [ -n "$serious" ]; then
      fail "desktop-file-validate on $desktop: ${serious:-exit status $status}"
    fi
    hints=$(grep -E '^[^:]*: hint:' <<<"$out" | sed 's/^[^:]*: hint: //')
    if [ -n "$hints" ]; then
      sed 's/^/check-install: desktop entry hint: /' <<<"$hints" >&2
      notes+=("$(wc -l <<<"$hints") desktop entry hint(s)")
    fi
  else
    notes+=("desktop-file-validate not installed, entry not validated")
  fi
  # The entry must start a program of this package and name an icon that is installed.
  exec_line=$(sed -n 's/^Exec=//p' "$prefix/$desktop" | head -n1)
  exec_prog=$(basename "${exec_line%% *}")
  [ -x "$prefix/bin/$exec_prog" ] || fail "$desktop: Exec=$exec_line names no installed program"
  icon=$(sed -n 's/^Icon=//p' "$prefix/$desktop" | head -n1)
  if [ -z "$icon" ]; then
    fail "$desktop has no Icon entry"
  elif ! compgen -G "$prefix/share/icons/hicolor/*/apps/$icon.*" >/dev/null; then
    fail "$desktop: Icon=$icon matches no installed icon"
  fi
fi

extra=""
[ ${#notes[@]} -gt 0 ] && extra=" ($(printf '%s; ' "${notes[@]}" | sed 's/; $//'))"
if [ $problems -eq 0 ]; then
  echo "check-install: OK: $checked files installed and checked under a scratch prefix$extra"
  exit 0
fi
echo "check-install: FAILED: $problems problem(s) in $checked files$extra"
exit 1
