#!/usr/bin/env bash
# Wall times of glimra-render at size 768, zoom 0.15 (1024 x 768 pixels),
# median of RUNS runs, all measured in one go so the ratios are comparable.
#   bench/render_times.sh            dune with 1 thread and with every core
#   bench/render_times.sh --patterns every pattern with every core
# Build first (scripts/run.sh or cmake --build build); RUNS=5 by default.
set -euo pipefail
cd "$(dirname "$0")/.."
tool=build/glimra-render
runs="${RUNS:-5}"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT

# median wall time in seconds of `glimra-render ARGS...`, as the tool reports it
median() {
  local times=()
  for _ in $(seq "$runs"); do
    times+=("$("$tool" "$@" -o "$out/p.ppm" 2>&1 | sed -E 's/.*threads?, ([0-9.]+) s,.*/\1/')")
  done
  printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'
}

cores="$(nproc)"
if [ "${1:-}" = "--patterns" ]; then
  printf '%-8s %10s\n' pattern "seconds"
  for name in aries blood celt dune eeee fun grin hix ice joke kraken limbo numb ooh Punk qwin rumba sizZle Tame; do
    printf '%-8s %10s\n' "$name" "$(median "$name" --size 768 --zoom 0.15 --threads "$cores")"
  done
else
  one="$(median dune --size 768 --zoom 0.15 --threads 1)"
  all="$(median dune --size 768 --zoom 0.15 --threads "$cores")"
  echo "dune 1024x768, median of $runs:"
  echo "  1 thread:   $one s"
  echo "  $cores threads: $all s"
  awk -v a="$one" -v b="$all" 'BEGIN { printf "  speed-up:   %.2fx\n", a / b }'
fi
