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
./build/tools/render/plonkrift-render -o out/demo.wav
echo "demo rendered to $(pwd)/out/demo.wav"
