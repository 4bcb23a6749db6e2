#!/usr/bin/env bash
# Remakes the pictures in docs/ with our own tools: the editor as the
# screenshot tool draws it, and the demo's input and output on the song's grid.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)" --target plonkrift6v2 plonkrift-render plonkrift-plot plonkrift-shot

mkdir -p docs out
./build/tools/shot/plonkrift-shot -o docs/editor.png
./build/tools/render/plonkrift-render -o out/demo.wav --dry out/demo-dry.wav
./build/tools/plot/plonkrift-plot out/demo-dry.wav out/demo.wav --seconds 8 -o docs/demo-plot.png
