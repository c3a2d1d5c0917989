#!/bin/sh
# Instructions per received byte, counted by callgrind (repeatable on a loaded machine, unlike
# processor time): the bare QSocketNotifier reader and the utility's receive path, each reading
# the virtual module's node at the line rate for N1 and then N2 lines. The difference of the two
# runs leaves start-up out. System calls per line likewise, counted by strace.
# A loaded machine (or callgrind's own slowness) lets lines pile up between wake-ups, so that
# one read takes several; "reads per line" shows how far that happened, and the figures per
# read compare the cost of one wake-up.
#
# Usage: bench/receive_instructions.sh [BINDIR [N1 [N2 [front]]]]
#   BINDIR  where bench_bare_reader, bench_receive_lines and k3316-sim are (build-release/bin)
#   front   the utility runs with the Frame Monitor open and in front
# Environment: RATE, the node's lines per second (default: 11,520 bytes/s worth); TRAFFIC_AFTER,
# milliseconds from the probe to the first line (default 12000: the utility under callgrind
# must be in its receive loop by then).
set -eu
bin=${1:-build-release/bin}
n1=${2:-300}
n2=${3:-1300}
front=${4:-}
work=$(mktemp -d)
trap 'kill $(cat "$work"/sim.pid 2>/dev/null) 2>/dev/null || true; rm -rf "$work"' EXIT INT TERM
export QT_QPA_PLATFORM=offscreen
rate=${RATE:-$("$bin"/bench_receive_lines --line-rate)}

# Starts the node for LINES lines, a few seconds after the probe so that even under callgrind
# the reader waits for them; sets $pts.
start_sim() {
    "$bin"/k3316-sim --mode operation --traffic "$rate" --traffic-count "$1" --traffic-after "${TRAFFIC_AFTER:-12000}" \
        >"$work"/sim.out 2>/dev/null &
    echo $! >"$work"/sim.pid
    for _ in $(seq 100); do
        pts=$(sed -n 's/^k3316-sim: //p' "$work"/sim.out)
        [ -n "$pts" ] && return 0
        sleep 0.1
    done
    echo "the virtual module did not start" >&2
    exit 1
}
stop_sim() {
    kill "$(cat "$work"/sim.pid)" 2>/dev/null || true
    wait "$(cat "$work"/sim.pid)" 2>/dev/null || true
}

# Runs WHO (bare or utility) over LINES lines under TOOL (callgrind or strace); prints
# "<instructions or system calls> <reads> <bytes>".
run() {
    tool=$1
    who=$2
    lines=$3
    start_sim "$lines"
    if [ "$who" = bare ]; then
        set -- "$bin"/bench_bare_reader "$pts" 1 "$lines"
    else
        set -- "$bin"/bench_receive_lines "$pts" "$lines" $front
    fi
    if [ "$tool" = callgrind ]; then
        valgrind --tool=callgrind --callgrind-out-file="$work"/cg.out "$@" >"$work"/run.out 2>"$work"/tool.err
        n=$(sed -n 's/.*Collected : //p' "$work"/tool.err)
    else
        strace -c -f -o "$work"/tool.err "$@" >"$work"/run.out 2>/dev/null
        n=$(awk '$NF == "total" {print $4}' "$work"/tool.err)
    fi
    stop_sim
    # both print "<reads> <lines> <bytes>"
    echo "  $who, $tool, $lines lines: $n; reads lines bytes: $(cat "$work"/run.out)" >&2
    echo "$n $(awk '{print $1, $3}' "$work"/run.out)"
}

for who in bare utility; do
    for tool in callgrind strace; do
        echo "$(run $tool $who "$n1") $(run $tool $who "$n2")"
    done | awk -v w="$who" -v lines=$((n2 - n1)) '
        NR == 1 {ir = $4 - $1; reads = $5 - $2; bytes = $6 - $3}
        NR == 2 {sc = $4 - $1}
        END {printf "%-8s %6.0f instructions per byte, %7.0f per read; %5.2f system calls per line; %.2f reads per line\n",
                    w, ir / bytes, ir / reads, sc / lines, reads / lines}' | tee -a "$work"/table
done
awk '{ipb[NR] = $2; ipr[NR] = $6} END {printf "utility over bare reader: %.2f x instructions per byte, %.2f x per read\n", ipb[2] / ipb[1], ipr[2] / ipr[1]}' "$work"/table
