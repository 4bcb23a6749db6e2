#!/usr/bin/env bash
# The main job: builds the plug-in and renders the built-in demo through it,
# loading the library exactly as a host does.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target plonkrift6v2 plonkrift-render

mkdir -p out
./build/tools/render/plonkrift-render --info
# One beat of pre-roll: playback starts in the bar before, so the gate plays
# the first downbeat as a step change.
./build/tools/render/plonkrift-render --start -1 -o out/demo.wav
echo "demo rendered to $(pwd)/out/demo.wav"
