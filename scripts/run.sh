#!/usr/bin/env bash
# Installs what is missing, builds, and opens the window.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"
if [ -x build/glimra ]; then
  exec build/glimra "$@"
fi
# Until the window exists, show that the core works: render dune to dune.png.
build/glimra-render dune --size 768 --zoom 0.15 -o dune.png
echo "wrote dune.png"
