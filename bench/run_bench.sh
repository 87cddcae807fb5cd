#!/bin/sh
# Runs the render benchmark and draws its chart.
#   usage: bench/run_bench.sh [BUILD-DIR] [RUNS]   (defaults: build, 5)
# Writes bench/results/bench.csv and bench/results/bench.svg.
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-5}
cmake --build "$build" --target glimra-bench >/dev/null
echo "load before: $(uptime)"
QT_QPA_PLATFORM=offscreen "$build/glimra-bench" "$runs" bench/results/bench.csv
echo "load after: $(uptime)"
sh bench/chart.sh bench/results/bench.csv > bench/results/bench.svg
