#!/usr/bin/env bash
# Remakes the pictures in docs/ with our own tools: the editor as the
# screenshot tool draws it, the demo's input and output on the song's grid,
# and the LV2 UI inside jalv as its test sees it (where the build makes the
# LV2 plug-in and jalv is installed).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)" --target plonkrift6v2 plonkrift-render plonkrift-plot plonkrift-shot

mkdir -p docs out
./build/tools/shot/plonkrift-shot -o docs/editor.png
./build/tools/render/plonkrift-render -o out/demo.wav --dry out/demo-dry.wav
./build/tools/plot/plonkrift-plot out/demo-dry.wav out/demo.wav --seconds 8 -o docs/demo-plot.png
if cmake --build build -j"$(nproc)" --target test_lv2_ui_jalv >/dev/null 2>&1; then
  PLONKRIFT_LV2_UI_SHOT=docs/lv2-editor.png ./build/tests/lv2/test_lv2_ui_jalv \
    --gtest_filter='JalvUi.TheEditorIsInTheHostsWindow*'
else
  echo "make-docs: no LV2 UI test in this build (lv2-dev, GoogleTest): docs/lv2-editor.png is left as it is" >&2
fi
