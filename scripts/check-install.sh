#!/usr/bin/env bash
# Installs a built tree into a scratch prefix and checks the layout a desktop needs: both programs
# executable and loadable, the desktop entry valid and pointing at them, the icons, the README and
# the manuals of docs/ (manual.md with its pictures);
# the demo database;
# every manual page of man/ shown by `man` without warnings, the copyright file and the changelog
# of the version built, and the AppStream metadata valid.
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

expect_program() { # name in bin/, or a path under the prefix
  local rel="bin/$1"
  [[ $1 == */* ]] && rel=$1
  local f="$prefix/$rel"
  expect_file "$rel" || return
  if [ ! -x "$f" ]; then fail "$rel is not executable"; return; fi
  # Every shared library must resolve from the system, not from the build tree.
  if command -v ldd >/dev/null; then
    local missing
    missing=$(ldd "$f" 2>&1 | grep 'not found')
    [ -n "$missing" ] && fail "$rel has unresolved libraries: $missing"
    ldd "$f" 2>/dev/null | grep -q "$build" && fail "$rel loads libraries from the build tree"
  fi
  if command -v readelf >/dev/null && readelf -d "$f" 2>/dev/null | grep -E 'R(UN)?PATH' | grep -q "$build"; then
    fail "$rel keeps a run path into the build tree"
  fi
}

expect_program "$app"
if [ -f "$source_dir/sim/main.cpp" ]; then
  expect_program k3316-sim
else
  notes+=("k3316-sim not in this tree yet")
fi

# Wireshark's live capture, in Wireshark's extcap folder under the prefix.
if [ -f "$source_dir/extcap/main.cpp" ]; then
  extcap_dir=$(sed -n 's/^K3316_EXTCAP_DIR:PATH=//p' "$build/CMakeCache.txt")
  expect_program "${extcap_dir:-missing-K3316_EXTCAP_DIR}/k3316-extcap"
  case "$extcap_dir" in */wireshark/extcap) ;; *) fail "k3316-extcap goes to $extcap_dir, not a wireshark/extcap folder" ;; esac
fi

expect_file "share/doc/$app/README.md" README.md
# The manuals of docs/: Help > Manual opens manual.md from here, with the pictures it shows.
if [ -d "$source_dir/docs" ]; then
  for page in "$source_dir"/docs/*.md; do
    expect_file "share/doc/$app/$(basename "$page")" "docs/$(basename "$page")"
  done
  if [ -f "$prefix/share/doc/$app/manual.md" ]; then
    for picture in $(grep -o '(screenshots/[^)]*)' "$prefix/share/doc/$app/manual.md" | tr -d '()' | sort -u); do
      expect_file "share/doc/$app/$picture" "docs/$picture"
    done
  fi
fi

# The database of the virtual module's demo traffic, as the README's first steps load it.
if expect_file "share/doc/$app/examples/demo.dbc" examples/demo.dbc; then
  cmp -s "$prefix/share/doc/$app/examples/demo.dbc" "$source_dir/examples/demo.dbc" ||
    fail "share/doc/$app/examples/demo.dbc differs from examples/demo.dbc"
  grep -q '^BO_ ' "$prefix/share/doc/$app/examples/demo.dbc" || fail "share/doc/$app/examples/demo.dbc describes no message"
fi
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

# Manual pages: every page in man/ is installed gzipped and `man` shows it without complaint.
man_dir="$prefix/share/man"
for source in "$source_dir"/man/*.[1-9]; do
  [ -e "$source" ] || continue
  page=$(basename "$source")
  section=${page##*.}
  expect_file "share/man/man$section/$page.gz" "man/$page" || continue
  gzip -t "$prefix/share/man/man$section/$page.gz" 2>/dev/null || { fail "share/man/man$section/$page.gz is not gzip data"; continue; }
  if command -v man >/dev/null; then
    name=${page%.*}
    shown=$(MANPATH="$man_dir" MANPAGER=cat MANWIDTH=80 LC_ALL=C.UTF-8 man "$section" "$name" 2>/dev/null)
    grep -q "^NAME" <<<"$shown" || fail "man $section $name shows no page from $man_dir"
    complaints=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$prefix/share/man/man$section/$page.gz" 2>&1 >/dev/null)
    [ -n "$complaints" ] && fail "man warns about $page: $complaints"
  else
    notes+=("man not installed, pages not shown")
  fi
done

# Debian's copyright file and the changelog, whose newest entry is the version built.
expect_file "share/doc/$app/copyright" packaging/copyright &&
  { head -n1 "$prefix/share/doc/$app/copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "share/doc/$app/copyright is not machine-readable (no Format line)"; }
if expect_file "share/doc/$app/changelog.gz" packaging/changelog; then
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
  if command -v dpkg-parsechangelog >/dev/null; then
    logged=$(gzip -dc "$prefix/share/doc/$app/changelog.gz" | dpkg-parsechangelog -l - -S Version 2>&1)
    [ "$logged" = "$version" ] || fail "changelog.gz: newest entry is '$logged', the project is $version"
  else
    notes+=("dpkg-parsechangelog not installed, changelog not parsed")
  fi
fi

metainfo="share/metainfo/org.example.k3316_utility.metainfo.xml"
if expect_file "$metainfo" "resources/org.example.k3316_utility.metainfo.xml"; then
  if command -v appstreamcli >/dev/null; then
    out=$(appstreamcli validate --no-net "$prefix/$metainfo" 2>&1) || fail "appstreamcli validate on $metainfo: $out"
  else
    notes+=("appstreamcli not installed, metadata not validated")
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
