#!/bin/sh
# Time from the click on pattern button 3 to the end of its render in the
# window, for dune at size 768 and zoom 0.15 (1024 x 768 pixels), offscreen and
# on an X display (a private Xvfb), beside glimra-render's own time for the same
# picture. Median of RUNS each, all in one run of this script.
#
# usage: bench/window_render_time.sh [BUILD-DIR] [RUNS]
#        BUILD-DIR defaults to build, RUNS to 5.
set -eu

build=${1:-build}
runs=${2:-5}
render="$build/glimra-render"
bench="$build/glimra-window-bench"
for tool in "$render" "$bench"; do
    [ -x "$tool" ] || { echo "missing $tool: build first (make -C $build)" >&2; exit 1; }
done

tmp=$(mktemp -d)
xvfb_pid=
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT INT TERM

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "glimra-render dune --size 768 --zoom 0.15 ($runs runs)"
: > "$tmp/render.txt"
i=0
while [ "$i" -lt "$runs" ]; do
    # stderr: "dune: 1024x768, N threads, S.SSS s, completed"
    line=$("$render" dune --size 768 --zoom 0.15 -o "$tmp/dune.ppm" 2>&1 >/dev/null)
    echo "  $line"
    echo "$line" | sed -n 's/.*, \([0-9.]*\) s,.*/\1/p' | awk '{ printf "%.1f\n", $1 * 1000 }' >> "$tmp/render.txt"
    i=$((i + 1))
done
render_median=$(median < "$tmp/render.txt")

echo "window, offscreen"
QT_QPA_PLATFORM=offscreen "$bench" "$runs" 768 0.15 3 2>&1 | tee "$tmp/offscreen.txt" | sed 's/^/  /'
offscreen_median=$(sed -n 's/.*median of [0-9]*: \([0-9.]*\) ms/\1/p' "$tmp/offscreen.txt")

xvfb_median="n/a (no Xvfb)"
if command -v Xvfb >/dev/null 2>&1; then
    display=90
    while [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
    Xvfb ":$display" -screen 0 1600x1200x24 >/dev/null 2>&1 &
    xvfb_pid=$!
    waited=0
    while [ ! -e "/tmp/.X11-unix/X$display" ] && [ "$waited" -lt 50 ]; do sleep 0.1; waited=$((waited + 1)); done
    echo "window, Xvfb :$display"
    DISPLAY=":$display" QT_QPA_PLATFORM=xcb "$bench" "$runs" 768 0.15 3 2>&1 | tee "$tmp/xvfb.txt" | sed 's/^/  /'
    xvfb_median=$(sed -n 's/.*median of [0-9]*: \([0-9.]*\) ms/\1/p' "$tmp/xvfb.txt")
fi

echo
echo "median of $runs, dune 1024 x 768 (size 768, zoom 0.15), $(nproc) cores:"
echo "  glimra-render:       $render_median ms"
echo "  window, offscreen:   $offscreen_median ms"
echo "  window, Xvfb:        $xvfb_median ms"
