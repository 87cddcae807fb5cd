#!/bin/bash
# Start time of glimra-render: a whole run that renders a picture of size 1,
# so that nearly all of it is starting and ending the program. Prints the
# number of shared libraries loaded at the start and by the whole run, the
# median and fastest wall time of the runs, and the median processor time
# (user + system), which other work on a shared machine disturbs less.
#   bench/start_time.sh [BUILD] [RUNS] [-- COMMAND...]
# BUILD defaults to ./build, RUNS to 20; the command defaults to
#   BUILD/glimra-render dune --size 1 -o TEMPORARY/x.png
# Compare builds by runs taken one right after the other.
set -eu
build=${1:-build}
runs=${2:-20}
shift $(($# < 2 ? $# : 2))
[ "${1:-}" = "--" ] && shift
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
if [ $# -eq 0 ]; then
    set -- "$build/glimra-render" dune --size 1 -o "$out/x.png"
fi
echo "command: $*"
# What the dynamic loader loads before main, as ldd lists it.
echo "libraries at start: $(LD_TRACE_LOADED_OBJECTS=1 "$1" 2>/dev/null | wc -l)"
# One run first, so that every timed run finds the files in memory.
"$@" >/dev/null 2>&1 || { echo "the command failed" >&2; exit 1; }
# Every library the run loads, those loaded later (modules) included.
echo "libraries loaded by the run: $(LD_DEBUG=libs "$@" 2>&1 >/dev/null | grep -c 'calling init:')"
TIMEFORMAT='%3R %3U %3S'
for ((i = 0; i < runs; ++i)); do
    { time "$@" >/dev/null 2>&1; } 2>>"$out/times"
done
median() { sort -n | awk '{ t[NR] = $1 } END { print NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2 }'; }
echo "runs: $runs"
awk '{ printf "%.1f\n", $1 * 1000 }' "$out/times" | median | awk '{ printf "median: %.1f ms\n", $1 }'
awk '{ printf "%.1f\n", $1 * 1000 }' "$out/times" | sort -n | head -1 | awk '{ printf "fastest: %.1f ms\n", $1 }'
awk '{ printf "%.1f\n", ($2 + $3) * 1000 }' "$out/times" | median | awk '{ printf "median processor time: %.1f ms\n", $1 }'
