#!/usr/bin/env bash
# Remakes the pictures in docs/ with our own tools: the editor as the
# screenshot tool draws it, and the demo's input and output on the song's grid.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)" --target plonkrift6v2 plonkrift-render plonkrift-plot plonkrift-shot

mkdir -p docs out
./build/tools/shot/plonkrift-shot -o docs/editor.png
# One beat of pre-roll: playback starts in the bar before, so the first
# downbeat is a step change the gate plays.
./build/tools/render/plonkrift-render --start -1 -o out/demo.wav --dry out/demo-dry.wav
./build/tools/plot/plonkrift-plot out/demo-dry.wav out/demo.wav --start -1 --seconds 8.5 -o docs/demo-plot.png
