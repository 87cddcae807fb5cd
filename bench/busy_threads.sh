#!/usr/bin/env bash
# Wall time of one render on 1, 2 and 4 threads while other processes keep
# cores busy: more threads must never be slower than one.
#   BUSY=N bench/busy_threads.sh [RENDERER ...]   (default: build/glimra-render)
# BUSY (default 1) is how many busy processes run beside it. Prints the
# median of five runs per thread count, one line per renderer.
set -euo pipefail
cd "$(dirname "$0")/.."
renderers=("$@")
[ ${#renderers[@]} -eq 0 ] && renderers=(build/glimra-render)
out="$(mktemp -d)"
busy=()
for _ in $(seq "${BUSY:-1}"); do
  yes >/dev/null &
  busy+=($!)
done
trap 'kill "${busy[@]}" 2>/dev/null; rm -rf "$out"' EXIT
median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
printf '%-40s %8s %8s %8s\n' renderer 1 2 4
for r in "${renderers[@]}"; do
  row=()
  for t in 1 2 4; do
    m=$(for _ in 1 2 3 4 5; do
          s=$(date +%s.%N)
          "$r" qwin --size 768 --zoom 0.15 --threads "$t" -o "$out/q.ppm" 2>/dev/null
          e=$(date +%s.%N)
          awk -v s="$s" -v e="$e" 'BEGIN { print e - s }'
        done | median)
    row+=("$(printf '%.3f' "$m")")
  done
  printf '%-40s %8s %8s %8s\n' "$r" "${row[@]}"
done
