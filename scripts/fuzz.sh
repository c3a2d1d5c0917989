#!/usr/bin/env bash
# Builds the libFuzzer targets in the clang sanitizer tree (build-asan/, the tree `make test-asan`
# tests; see scripts/sanitize-build.sh) and runs each one for FUZZ_SECONDS
# (default 60) on its corpus tests/fuzz/corpus/<target>/. Inputs that reach new code are merged
# into that corpus, which stays small: at most FUZZ_CORPUS_MAX (default 50) files, the
# hand-written seed-* files always among them. Crashes land in <build>/crashes/; the script then
# exits non-zero.
# Usage: scripts/fuzz.sh [target ...]      (default: every target that was built)
# Environment: FUZZ_SECONDS, FUZZ_BUILD (build dir), FUZZ_CORPUS_MAX, JOBS (build jobs),
#              FUZZ_MERGE (0: leave the corpus in the repository as it is, as the test command does),
#              FUZZ_JOBS (targets run at the same time, default 1),
#              FUZZ_NO_BUILD (1: the tree is built already; do not configure or build it again)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD:-$root/build-asan}
seconds=${FUZZ_SECONDS:-60}
corpus_max=${FUZZ_CORPUS_MAX:-50}
merge=${FUZZ_MERGE:-1}
jobs=${JOBS:-$(nproc)}
parallel=${FUZZ_JOBS:-1}

# Longest input worth mutating per target: a few lines of text, not megabytes.
max_len() {
  case $1 in
    fuzz_strtoint | fuzz_endofresponse) echo 64 ;;
    fuzz_replies) echo 128 ;;
    fuzz_simline) echo 1024 ;; # one line past the module's line limit
    fuzz_profile) echo 2048 ;;  # a whole profile with room to spare
    fuzz_framestore) echo 8192 ;; # enough lines to pass the smallest history
    fuzz_dbc) echo 4096 ;;     # 64 bytes of frame data, then a small DBC file
    fuzz_socketcand) echo 2100 ;; # a few commands and one past the command limit
    fuzz_transmit) echo 2048 ;; # a candump line, or a transmit list of a few rows
    *) echo 512 ;;
  esac
}

if [ "${FUZZ_NO_BUILD:-0}" != 1 ]; then
  JOBS=$jobs "$root/scripts/sanitize-build.sh" "$build" fuzz_all
fi

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for f in "$build"/bin/fuzz_*; do
    [ -x "$f" ] && targets+=("$(basename "$f")")
  done
fi
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz: no fuzz targets were built" >&2
  exit 1
fi

export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# Font configuration keeps memory it never frees; that is no finding of ours.
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/scripts/lsan.supp:print_suppressions=0}
mkdir -p "$build/crashes"
failed=()
summary=()

# Runs one target for the given time; its exit status goes to a file beside its log.
run_target() {
  local t=$1 len
  len=$(max_len "$t")
  local work="$build/fuzz-work/$t"
  rm -rf "$work" && mkdir -p "$work" "$root/tests/fuzz/corpus/$t"
  echo "== $t: ${seconds}s, inputs up to $len bytes"
  # New inputs go to the first directory, the scratch one; the corpus is only read here.
  local status=0
  "$build/bin/$t" "$work" "$root/tests/fuzz/corpus/$t" -max_total_time="$seconds" -max_len="$len" -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/crashes/$t-" \
    >"$build/fuzz-work/$t.log" 2>&1 || status=$?
  echo "$status" >"$build/fuzz-work/$t.status"
}

mkdir -p "$build/fuzz-work"
running=0
for t in "${targets[@]}"; do
  rm -f "$build/fuzz-work/$t.status"
  [ -x "$build/bin/$t" ] || continue
  run_target "$t" &
  running=$((running + 1))
  if [ "$running" -ge "$parallel" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait

for t in "${targets[@]}"; do
  bin="$build/bin/$t"
  corpus="$root/tests/fuzz/corpus/$t"
  work="$build/fuzz-work/$t"
  len=$(max_len "$t")
  if [ ! -x "$bin" ]; then
    echo "fuzz: $t was not built" >&2
    failed+=("$t (not built)")
    continue
  fi
  log="$build/fuzz-work/$t.log"
  status=$(cat "$build/fuzz-work/$t.status" 2>/dev/null || echo "no status")
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n1)
  if [ "$status" != 0 ]; then
    grep -E '^(==[0-9]+==ERROR|SUMMARY|fuzz check failed|.*runtime error)' "$log" | head -n 5 >&2 || true
    echo "fuzz: $t FAILED (exit $status); see $log and $build/crashes/" >&2
    failed+=("$t")
  fi

  if [ "$merge" = 0 ]; then
    summary+=("$(printf '%-20s %10s runs %8s/s  %s' "$t" "${execs:-?}" "${rate:-?}" \
      "$([ "$status" = 0 ] && echo ok || echo FAILED)")")
    continue
  fi
  # Rebuild the corpus: the seeds first, then whatever else adds coverage beyond them.
  fresh=$(mktemp -d "$build/fuzz-work/$t.merge.XXXXXX")
  others=$(mktemp -d "$build/fuzz-work/$t.others.XXXXXX")
  find "$corpus" -maxdepth 1 -type f -name 'seed-*' -exec cp {} "$fresh"/ \;
  find "$corpus" -maxdepth 1 -type f ! -name 'seed-*' -exec cp {} "$others"/ \;
  if "$bin" -merge=1 -max_len="$len" "$fresh" "$others" "$work" >"$log.merge" 2>&1; then
    # Over the cap, the largest found inputs go first; the seeds always stay.
    seeds=$(find "$fresh" -maxdepth 1 -type f -name 'seed-*' | wc -l)
    room=$((corpus_max > seeds ? corpus_max - seeds : 0))
    { ls -S "$fresh" | grep -v '^seed-' || true; } | head -n "-$room" | while read -r f; do rm -f "$fresh/$f"; done
    find "$corpus" -maxdepth 1 -type f -delete
    cp "$fresh"/* "$corpus"/ 2>/dev/null || true
  else
    echo "fuzz: merging the corpus of $t failed, corpus left as it was; see $log.merge" >&2
  fi
  rm -rf "$fresh" "$others"
  count=$(find "$corpus" -maxdepth 1 -type f | wc -l)
  summary+=("$(printf '%-20s %10s runs %8s/s  corpus %3d  %s' "$t" "${execs:-?}" "${rate:-?}" "$count" \
    "$([ "$status" = 0 ] && echo ok || echo FAILED)")")
done

echo
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: FAILED: ${failed[*]}; crashing inputs are in $build/crashes/" >&2
  exit 1
fi
echo "fuzz: no findings"
