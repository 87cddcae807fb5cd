#!/bin/sh
# Draws the benchmark's three ratios per pattern as grouped bars (SVG on
# stdout) from the CSV that glimra-bench writes.
#   usage: bench/chart.sh bench/results/bench.csv > bench/results/bench.svg
set -eu
awk -F, '
/^# cores/ { cores = $2; next }
/^# cpu/   { cpu = $2; next }
/^#/ || /^pattern/ { next }
{ n++; name[n] = $1; r1[n] = $6; r2[n] = $7; r3[n] = $8 }
END {
  top = 2.0
  for (k = 1; k <= n; k++) { if (r1[k] > top) top = r1[k]; if (r2[k] > top) top = r2[k]; if (r3[k] > top) top = r3[k] }
  top = int(top * 4 + 0.999) / 4
  left = 50; w = 42; h = 300; base = 40 + h
  width = left + n * w + 20
  printf "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" font-family=\"sans-serif\" font-size=\"11\">\n", width, base + 70
  printf "<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n"
  printf "<text x=\"%d\" y=\"18\" font-size=\"13\">Render ratios per pattern, 1024 x 768, %s cores, %s</text>\n", left, cores, cpu
  for (t = 0; t <= top + 1e-9; t += 0.25) {
    y = base - t / top * h
    printf "<line x1=\"%d\" y1=\"%.1f\" x2=\"%d\" y2=\"%.1f\" stroke=\"%s\"/>\n", left, y, width - 20, y, (t == 1 ? "black" : "#ddd")
    printf "<text x=\"%d\" y=\"%.1f\" text-anchor=\"end\">%.2f</text>\n", left - 4, y + 4, t
  }
  split("#2a7ab0 #e08a1e #5aa05a", colour, " ")
  for (k = 1; k <= n; k++) {
    x = left + (k - 1) * w + 4
    v[1] = r1[k]; v[2] = r2[k]; v[3] = r3[k]
    for (s = 1; s <= 3; s++) {
      bh = v[s] / top * h
      printf "<rect x=\"%d\" y=\"%.1f\" width=\"11\" height=\"%.1f\" fill=\"%s\"/>\n", x + (s - 1) * 11, base - bh, bh, colour[s]
    }
    printf "<text x=\"%d\" y=\"%d\" text-anchor=\"middle\">%s</text>\n", x + 16, base + 16, name[k]
  }
  split("plain1 / exact1 (gain)|exactN / (exact1 / cores) (scaling)|window / exactN", label, "|")
  for (s = 1; s <= 3; s++) {
    lx = left + (s - 1) * 240
    printf "<rect x=\"%d\" y=\"%d\" width=\"10\" height=\"10\" fill=\"%s\"/>\n", lx, base + 50, colour[s]
    printf "<text x=\"%d\" y=\"%d\">%s</text>\n", lx + 14, base + 59, label[s]
  }
  print "</svg>"
}' "$1"
